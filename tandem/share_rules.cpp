#include "tandem/share_rules.h"

#include <string.h>

#include "tandem/protocol.h"

namespace {

// A key of a settings file: no "=" (it would end the key), no "[" or "]" (a line starting with
// "[" is a section), no ";" first (a comment), no blanks around (they are trimmed away).
bool IsKeyName(const std::string& name)
{
    if (name.find_first_of("=[]") != std::string::npos || name[0] == ';')
        return false;
    return name.front() != ' ' && name.back() != ' ' && name.front() != '\t' && name.back() != '\t';
}

// A share is served by its full path: a relative one would change with the working folder.
bool IsAbsoluteFolder(const std::string& path)
{
    if (path.size() >= 3 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')))
        return path[1] == ':' && path[2] == '\\';
    return path.size() > 2 && path[0] == '\\' && path[1] == '\\';
}

} // namespace

unsigned ValidateShare(const std::string& name, const std::string& path,
                       const std::function<bool(const std::string&)>& isFolder)
{
    if (name.empty() || path.empty())
        return SHARE_TEXT_EMPTY;
    if (name.find('\\') != std::string::npos)
        return SHARE_TEXT_BACKSLASH;
    if (!IsKeyName(name) || !IsSafeEntryName(name))
        return SHARE_TEXT_NAME_INVALID;
    if (!IsAbsoluteFolder(path) || !isFolder(path))
        return SHARE_TEXT_PATH_INVALID;
    return 0;
}

std::string ShareNameForFolder(const std::string& folder)
{
    std::string path = folder;
    while (path.size() > 1 && path.back() == '\\')
        path.pop_back();
    size_t last = path.rfind('\\');
    return last == std::string::npos ? path : path.substr(last + 1);
}
