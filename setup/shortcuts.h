// Shortcuts of the script ("MakeIcons", "DelIcons") in the shell's folders.
#pragma once

#include <string>
#include <vector>

#include "setup/inf_file.h"

namespace setup {

// Shortcut flags (field 7).
enum { SHORTCUT_ASK = 1 }; // an interactive run asks before making it

struct tShortcut {
    std::string folderCode; // "CPRG", "UDSK", ...
    std::string name;       // may hold subfolders ("Velmora\Watchpost")
    std::string target;
    std::string arguments;
    std::string directory;
    int iconIndex = 0;
    int flags = 0;
};

// The lines of the sections the key ("MakeIcons" or "DelIcons") lists.
std::vector<tShortcut> ReadShortcuts(const CInfFile& inf, const std::string& section, const char* key);
// The folder of a code: the "Shell Folders" value, or the shell's answer where it is missing.
std::string ShellFolderPath(const std::string& code);
// The file of the shortcut with its extension (".url" for web addresses, else ".lnk").
std::string ShortcutFile(const tShortcut& shortcut);
bool MakeShortcut(const tShortcut& shortcut);
// Deletes the shortcut (either kind) and the folders of its name that it leaves empty.
bool DeleteShortcut(const tShortcut& shortcut);

} // namespace setup
