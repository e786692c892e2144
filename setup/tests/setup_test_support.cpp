#include "setup/tests/setup_test_support.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include "common/registry.h"
#include "common/strings.h"
#include "setup/command_line.h"
#include "setup/setup_run.h"
#include "setup/uninstall_entry.h"

namespace setuptest {

CMedium::CMedium(std::vector<std::string> products) : m_products(std::move(products))
{
    for (const std::string& product : m_products)
        setup::DeleteUninstallEntry(product);
}

CMedium::~CMedium()
{
    for (const std::string& product : m_products)
        setup::DeleteUninstallEntry(product);
}

std::string CMedium::Expand(std::string text) const
{
    for (const auto& token : {std::make_pair(std::string("@TARGET@"), Target()),
                              std::make_pair(std::string("@MEDIUM@"), Folder())}) {
        for (std::string::size_type at = text.find(token.first); at != std::string::npos;
             at = text.find(token.first, at + token.second.size()))
            text.replace(at, token.first.size(), token.second);
    }
    return text;
}

void CMedium::WriteScript(const std::string& text) const
{
    WriteFile("setup.inf", Expand(text));
}

void CMedium::WriteFile(const std::string& name, const std::string& text) const
{
    testsupport::WriteFileText(Folder() + "\\" + name, text);
}

void CMedium::CopyProgram(const std::string& program, const std::string& name) const
{
    std::string target = Folder() + "\\" + name;
    std::string folder = target.substr(0, target.rfind('\\'));
    CreateDirectoryA(folder.c_str(), nullptr);
    CopyFileA((testsupport::ProgramFolder() + "\\" + program).c_str(), target.c_str(), FALSE);
}

void FillContext(setup::tSetupContext& context, const CMedium& medium, const char* commandLine,
                 setup::IFirewall& firewall)
{
    context.instance = GetModuleHandleA(nullptr);
    context.folder = medium.Folder();
    context.programPath = medium.Folder() + "\\setup.exe";
    context.commandLine = ParseSetupCommandLine(commandLine);
    context.firewall = &firewall;
}

bool PrepareRun(setup::tSetupContext& context, const CMedium& medium, const char* commandLine,
                setup::IFirewall& firewall, bool administrator)
{
    FillContext(context, medium, commandLine, firewall);
    setup::CSetupRun run(context);
    run.isAdministrator = [administrator] { return administrator; };
    return run.Prepare();
}

bool KeyExists(HKEY root, const std::string& path)
{
    return CRegistryKey::Exists(root, path.c_str());
}

std::string RegString(HKEY root, const std::string& path, const char* name)
{
    CRegistryKey key;
    std::string value;
    if (key.Open(root, path.c_str()))
        key.GetString(name, value);
    return value;
}

bool ReadLink(const std::string& path, tLink& out)
{
    raii::CComInit com;
    raii::CComPtr<IShellLinkA> link;
    raii::CComPtr<IPersistFile> file;
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.ReceiveVoid())) ||
        FAILED(link.QueryInterface(IID_IPersistFile, file)) || FAILED(file->Load(wide, STGM_READ)))
        return false;
    char text[MAX_PATH * 2] = "";
    link->GetPath(text, sizeof text, nullptr, SLGP_RAWPATH);
    out.target = text;
    text[0] = '\0';
    link->GetArguments(text, sizeof text);
    out.arguments = text;
    text[0] = '\0';
    link->GetWorkingDirectory(text, sizeof text);
    out.directory = text;
    return true;
}

namespace {

std::string Dacl(const std::string& object, SE_OBJECT_TYPE type)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::string name = object;
    if (GetNamedSecurityInfoA(&name[0], type, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                              &descriptor) != ERROR_SUCCESS)
        return std::string();
    char* text = nullptr;
    std::string result;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                             &text, nullptr)) {
        result = text;
        LocalFree(text);
    }
    LocalFree(descriptor);
    return result;
}

} // namespace

std::string FileDacl(const std::string& path)
{
    return Dacl(path, SE_FILE_OBJECT);
}

std::string KeyDacl(const std::string& objectName)
{
    return Dacl(objectName, SE_REGISTRY_KEY);
}

} // namespace setuptest
