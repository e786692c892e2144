#include "setup/security.h"

#include <aclapi.h>
#include <sddl.h>
#include <strings.h>

#include <memory>

#include "common/trace.h"

namespace setup {

const char kDefaultDescriptor[] = "D:(A;OICI;GA;;;BA)(A;OICI;GA;;;SY)(A;OICI;GRGX;;;BU)";

namespace {

struct tLocalFree {
    void operator()(void* memory) const { LocalFree(memory); }
};

bool Apply(const std::string& object, SE_OBJECT_TYPE type, const std::string& descriptor, DWORD& error)
{
    PSECURITY_DESCRIPTOR converted = nullptr;
    const std::string& text = descriptor.empty() ? std::string(kDefaultDescriptor) : descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(text.c_str(), SDDL_REVISION_1, &converted, nullptr)) {
        error = GetLastError();
        TraceHere("the descriptor %s for %s is not valid\n", text.c_str(), object.c_str());
        TraceError(error);
        return false;
    }
    std::unique_ptr<void, tLocalFree> owned(converted);
    SECURITY_INFORMATION parts = 0;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    PSID owner = nullptr, group = nullptr;
    if (GetSecurityDescriptorDacl(converted, &present, &dacl, &defaulted) && present)
        parts |= DACL_SECURITY_INFORMATION;
    if (GetSecurityDescriptorOwner(converted, &owner, &defaulted) && owner)
        parts |= OWNER_SECURITY_INFORMATION;
    if (GetSecurityDescriptorGroup(converted, &group, &defaulted) && group)
        parts |= GROUP_SECURITY_INFORMATION;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (GetSecurityDescriptorControl(converted, &control, &revision) && (control & SE_DACL_PROTECTED))
        parts |= PROTECTED_DACL_SECURITY_INFORMATION;
    std::string name = object;
    error = SetNamedSecurityInfoA(&name[0], type, parts, owner, group, dacl, nullptr);
    if (error != ERROR_SUCCESS) {
        TraceHere("cannot set the security of %s\n", object.c_str());
        TraceError(error);
        return false;
    }
    return true;
}

} // namespace

std::vector<tFileSecurity> ReadFileSecurity(const CInfFile& inf, const std::string& section)
{
    std::vector<tFileSecurity> entries;
    for (const std::string& list : inf.KeyValues(section, "FileSecurity"))
        for (const CInfLine& line : inf.Lines(list))
            if (!line.Field(1).empty())
                entries.push_back({line.Field(1), line.Field(2)});
    return entries;
}

std::vector<tRegSecurity> ReadRegSecurity(const CInfFile& inf, const std::string& section)
{
    std::vector<tRegSecurity> entries;
    for (const std::string& list : inf.KeyValues(section, "RegSecurity"))
        for (const CInfLine& line : inf.Lines(list))
            if (!line.Field(1).empty())
                entries.push_back({line.Field(1), line.Field(2), line.Field(3)});
    return entries;
}

std::string RegistryObjectName(const std::string& root, const std::string& key)
{
    static const struct {
        const char* root;
        const char* prefix;
    } kRoots[] = {{"HKCR", "CLASSES_ROOT\\"}, {"HKCU", "CURRENT_USER\\"}, {"HKLM", "MACHINE\\"}, {"HKU", "USERS\\"}};
    for (const auto& entry : kRoots)
        if (strcasecmp(root.c_str(), entry.root) == 0)
            return entry.prefix + key;
    return std::string();
}

bool ApplyFileSecurity(const tFileSecurity& entry, DWORD& error)
{
    return Apply(entry.path, SE_FILE_OBJECT, entry.descriptor, error);
}

bool ApplyRegSecurity(const tRegSecurity& entry, DWORD& error)
{
    std::string object = RegistryObjectName(entry.root, entry.key);
    if (object.empty()) {
        error = ERROR_INVALID_PARAMETER;
        TraceHere("unknown registry root %s\n", entry.root.c_str());
        return false;
    }
    return Apply(object, SE_REGISTRY_KEY, entry.descriptor, error);
}

} // namespace setup
