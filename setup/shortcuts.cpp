#include "setup/shortcuts.h"

#include <shlobj.h>

#include "common/registry.h"
#include "common/trace.h"
#include "common/xutil.h"
#include "setup/script_rules.h"

namespace setup {

namespace {

const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::string WithoutExtension(const tShortcut& shortcut)
{
    std::string folder = ShellFolderPath(shortcut.folderCode);
    if (folder.empty() || shortcut.name.empty())
        return std::string();
    return folder + "\\" + shortcut.name;
}

} // namespace

std::vector<tShortcut> ReadShortcuts(const CInfFile& inf, const std::string& section, const char* key)
{
    std::vector<tShortcut> shortcuts;
    for (const std::string& list : inf.KeyValues(section, key))
        for (const CInfLine& line : inf.Lines(list)) {
            tShortcut shortcut;
            shortcut.folderCode = line.Field(1);
            shortcut.name = line.Field(2);
            shortcut.target = line.Field(3);
            shortcut.arguments = line.Field(4);
            shortcut.directory = line.Field(5);
            line.IntField(6, shortcut.iconIndex);
            line.IntField(7, shortcut.flags);
            if (!shortcut.folderCode.empty() && !shortcut.name.empty())
                shortcuts.push_back(shortcut);
        }
    return shortcuts;
}

std::string ShellFolderPath(const std::string& code)
{
    const tShellFolder* folder = FindShellFolder(code);
    if (!folder)
        return std::string();
    CRegistryKey key;
    std::string path;
    if (key.Open(folder->common ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, kShellFolders) &&
        key.GetString(folder->valueName, path) && !path.empty())
        return path;
    char found[MAX_PATH] = "";
    if (SUCCEEDED(SHGetFolderPathA(nullptr, folder->csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, found)))
        return found;
    return std::string();
}

std::string ShortcutFile(const tShortcut& shortcut)
{
    std::string path = WithoutExtension(shortcut);
    if (path.empty())
        return path;
    return path + (IsWebAddress(shortcut.target) ? ".url" : ".lnk");
}

bool MakeShortcut(const tShortcut& shortcut)
{
    std::string path = WithoutExtension(shortcut);
    if (path.empty()) {
        TraceHere("no folder for shortcut %s (%s)\n", shortcut.name.c_str(), shortcut.folderCode.c_str());
        return false;
    }
    if (IsWebAddress(shortcut.target))
        return xUtilCreateInternetShortcut(path.c_str(), shortcut.target.c_str());
    auto given = [](const std::string& text) { return text.empty() ? nullptr : text.c_str(); };
    return xUtilCreateShortcut(path.c_str(), shortcut.target.c_str(), given(shortcut.arguments),
                               given(shortcut.directory), given(shortcut.target), shortcut.iconIndex);
}

bool DeleteShortcut(const tShortcut& shortcut)
{
    std::string path = WithoutExtension(shortcut);
    if (path.empty())
        return false;
    for (const char* extension : {".lnk", ".url"}) {
        std::string file = path + extension;
        if (DeleteFileA(file.c_str()))
            SHChangeNotify(SHCNE_DELETE, SHCNF_PATHA, file.c_str(), nullptr);
    }
    // The program group of the name goes with its last shortcut.
    std::string top = ShellFolderPath(shortcut.folderCode);
    std::string folder = path.substr(0, path.find_last_of('\\'));
    while (folder.size() > top.size() && RemoveDirectoryA(folder.c_str())) {
        SHChangeNotify(SHCNE_RMDIR, SHCNF_PATHA, folder.c_str(), nullptr);
        folder = folder.substr(0, folder.find_last_of('\\'));
    }
    return true;
}

} // namespace setup
