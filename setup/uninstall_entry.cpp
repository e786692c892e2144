#include "setup/uninstall_entry.h"

#include <windows.h>

#include "common/registry.h"
#include "common/trace.h"

namespace setup {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

namespace {

std::string KeyOf(const std::string& product)
{
    return std::string(kUninstallKey) + "\\" + product;
}

} // namespace

bool IsValidProductKey(const std::string& product)
{
    return !product.empty() && product.size() < 200 && product.find_first_of("\\/") == std::string::npos &&
           product != "." && product != "..";
}

bool ReadUninstallEntry(const std::string& product, tUninstallEntry& out)
{
    CRegistryKey key;
    if (!IsValidProductKey(product) || !key.Open(HKEY_LOCAL_MACHINE, KeyOf(product).c_str()))
        return false;
    out = tUninstallEntry();
    key.GetString("DisplayName", out.displayName);
    key.GetString("UninstallString", out.uninstallString);
    key.GetString("Publisher", out.publisher);
    key.GetString("HelpLink", out.helpLink);
    key.GetString("ProductVersion", out.productVersion);
    key.GetString("DisplayVersion", out.displayVersion);
    key.GetString("UserTargetDir", out.userTargetDir);
    return true;
}

bool WriteUninstallEntry(const std::string& product, const tUninstallEntry& entry)
{
    CRegistryKey key;
    if (!IsValidProductKey(product) || !key.Create(HKEY_LOCAL_MACHINE, KeyOf(product).c_str())) {
        TraceHere("cannot create the uninstall entry of %s\n", product.c_str());
        return false;
    }
    bool ok = key.SetString("DisplayName", entry.displayName) &&
              key.SetString("UninstallString", entry.uninstallString) &&
              key.SetString("Publisher", entry.publisher) && key.SetString("HelpLink", entry.helpLink) &&
              key.SetString("ProductVersion", entry.productVersion) &&
              key.SetString("DisplayVersion", entry.displayVersion) &&
              key.SetString("UserTargetDir", entry.userTargetDir);
    if (!ok)
        TraceHere("cannot write the uninstall entry of %s\n", product.c_str());
    return ok;
}

bool DeleteUninstallEntry(const std::string& product)
{
    return IsValidProductKey(product) && CRegistryKey::DeleteTree(HKEY_LOCAL_MACHINE, KeyOf(product).c_str());
}

std::string UninstallCommand(const std::string& setupPath, const std::string& product)
{
    std::string program = setupPath.find(' ') != std::string::npos ? "\"" + setupPath + "\"" : setupPath;
    return program + " /remove:" + product;
}

} // namespace setup
