// Text encodings of stored and exchanged names. The programs run with UTF-8 as their ANSI code
// page; files and peers of earlier versions wrote names in the Western code page 1252. No
// windows.h here: also built natively for fuzzing.
#pragma once

#include <string>

// Well-formed UTF-8 (plain ASCII included): no stray continuation bytes, no overlong forms, no
// surrogates, nothing above U+10FFFF.
bool xUtilIsUtf8(const std::string& text);
// Code page 1252 to UTF-8. The five bytes the code page leaves undefined become U+FFFD.
std::string xUtilCp1252ToUtf8(const std::string& text);
// The text as UTF-8: unchanged when it already is, otherwise read as code page 1252.
std::string xUtilUtf8OrCp1252(const std::string& text);
