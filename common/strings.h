// Texts from string-table resources, in the language the system picks.
#pragma once

#include <windows.h>

#include <string>

std::string xUtilLoadString(HINSTANCE instance, UINT id);

// The longest start of `text` that fits in `maxBytes` bytes without splitting a character of
// the code page (a UTF-8 sequence, a double-byte character): for fixed-size fields such as a
// tray icon's tool tip. The code page defaults to the program's ANSI code page.
std::string xUtilTruncateText(const std::string& text, size_t maxBytes, UINT codePage = CP_ACP);
