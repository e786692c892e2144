#include "setup/registry_parts.h"

#include <string.h>
#include <strings.h>

#include <vector>

#include "common/registry.h"
#include "common/trace.h"

namespace setup {

HKEY RegistryRoot(const std::string& root)
{
    static const struct {
        const char* shortName;
        const char* longName;
        HKEY key;
    } kRoots[] = {{"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                  {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                  {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                  {"HKU", "HKEY_USERS", HKEY_USERS}};
    for (const auto& entry : kRoots)
        if (strcasecmp(root.c_str(), entry.shortName) == 0 || strcasecmp(root.c_str(), entry.longName) == 0)
            return entry.key;
    return nullptr;
}

std::vector<tIniToRegistry> ReadIniToRegistry(const CInfFile& inf, const std::string& section)
{
    std::vector<tIniToRegistry> lines;
    for (const std::string& list : inf.KeyValues(section, "Ini2Reg"))
        for (const CInfLine& line : inf.Lines(list)) {
            tIniToRegistry entry{line.Field(1), line.Field(2), line.Field(3), line.Field(4), line.Field(5)};
            if (!entry.file.empty() && !entry.section.empty())
                lines.push_back(entry);
        }
    return lines;
}

bool ApplyIniToRegistry(const tIniToRegistry& line, DWORD& error)
{
    HKEY root = RegistryRoot(line.root);
    if (!root) {
        error = ERROR_INVALID_PARAMETER;
        TraceHere("Ini2Reg: unknown registry root %s\n", line.root.c_str());
        return false;
    }
    // The section's "key=value" lines, the buffer grown until they fit.
    std::vector<char> buffer(4096);
    DWORD count = 0;
    for (;;) {
        count = GetPrivateProfileSectionA(line.section.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                          line.file.c_str());
        if (count < buffer.size() - 2 || buffer.size() >= 1024 * 1024)
            break;
        buffer.resize(buffer.size() * 2);
    }
    CRegistryKey key;
    if (!key.Create(root, line.subkey.c_str())) {
        error = ERROR_ACCESS_DENIED;
        TraceHere("Ini2Reg: cannot create %s\\%s\n", line.root.c_str(), line.subkey.c_str());
        return false;
    }
    for (const char* entry = buffer.data(); *entry && entry < buffer.data() + count; entry += strlen(entry) + 1) {
        std::string text = entry;
        std::string::size_type equals = text.find('=');
        if (equals == std::string::npos)
            continue;
        std::string name = text.substr(0, equals), value = text.substr(equals + 1);
        if (!line.key.empty() && strcasecmp(name.c_str(), line.key.c_str()) != 0)
            continue;
        if (!key.SetString(name.c_str(), value)) {
            error = ERROR_WRITE_FAULT;
            return false;
        }
    }
    return true;
}

std::vector<tRegistryKeyName> ReadEmptyKeyRemovals(const CInfFile& inf, const std::string& section)
{
    std::vector<tRegistryKeyName> keys;
    for (const std::string& list : inf.KeyValues(section, "DelEmptyKeys"))
        for (const CInfLine& line : inf.Lines(list))
            if (!line.Field(2).empty())
                keys.push_back({line.Field(1), line.Field(2)});
    return keys;
}

bool RemoveKeyIfEmpty(const tRegistryKeyName& name)
{
    HKEY root = RegistryRoot(name.root);
    CRegistryKey key;
    if (!root || !key.Open(root, name.key.c_str()))
        return true;
    std::vector<std::string> children, values;
    if (!key.EnumSubKeys(children) || !key.EnumValueNames(values) || !children.empty() || !values.empty())
        return true;
    key.Close();
    return RegDeleteKeyA(root, name.key.c_str()) == ERROR_SUCCESS;
}

bool InstallRegistryAndIni(const CInfFile& inf, const std::string& section, HWND owner, DWORD& error)
{
    if (!SetupInstallFromInfSectionA(owner, inf.Get(), section.c_str(), SPINST_REGISTRY | SPINST_INIFILES, nullptr,
                                     nullptr, 0, nullptr, nullptr, nullptr, nullptr)) {
        error = GetLastError();
        TraceHere("SetupInstallFromInfSection(%s) failed\n", section.c_str());
        TraceError(error);
        return false;
    }
    return true;
}

} // namespace setup
