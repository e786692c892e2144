// Texts from string-table resources, in the language the system picks or the one the program
// chose.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

std::string xUtilLoadString(HINSTANCE instance, UINT id);

// The language in which xUtilLoadString and the dialog layer look for texts and dialog
// templates first. 0 (the default) leaves the choice to the system. A program that lets the
// user choose its language sets it once at start; the system's own choice cannot be relied on
// for that (newer systems ignore the thread locale when they pick resources).
void xUtilSetResourceLanguage(LANGID language);
LANGID xUtilGetResourceLanguage(void);

// The languages a resource of the module exists in.
std::vector<LANGID> xUtilResourceLanguages(HMODULE module, LPCSTR type, LPCSTR name);
// Of the languages offered, the one that serves `wanted` best: the same language, else the
// first of the same primary language; 0 when none fits.
LANGID xUtilMatchLanguage(LANGID wanted, const std::vector<LANGID>& offered);
// A resource of the module in the resource language (or the best match of it); without a
// resource language, or when the resource has no such language, the one the system picks.
HRSRC xUtilFindResource(HMODULE module, LPCSTR type, LPCSTR name);

// The longest start of `text` that fits in `maxBytes` bytes without splitting a character of
// the code page (a UTF-8 sequence, a double-byte character): for fixed-size fields such as a
// tray icon's tool tip. The code page defaults to the program's ANSI code page.
std::string xUtilTruncateText(const std::string& text, size_t maxBytes, UINT codePage = CP_ACP);
