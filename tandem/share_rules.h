// What makes a share acceptable: a name the settings file can hold as a key and the other
// hosts accept as a plain name, and a path to an existing local folder. Each failure is the
// string-table id of the message the user sees.
#pragma once

#include <functional>
#include <string>

enum {
    SHARE_TEXT_EMPTY = 126,       // name or path empty
    SHARE_TEXT_PATH_INVALID = 134,
    SHARE_TEXT_BACKSLASH = 1078,
    SHARE_TEXT_NAME_INVALID = 1088, // "=", "[", "]", ";" first, blanks around, other characters peers refuse
};

// 0 when the share is acceptable. isFolder is asked only when the name passed.
unsigned ValidateShare(const std::string& name, const std::string& path,
                       const std::function<bool(const std::string&)>& isFolder);

// The share a dropped folder suggests: its last path component (the whole text without "\").
std::string ShareNameForFolder(const std::string& folder);
