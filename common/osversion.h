// The version language: names and texts that describe Windows versions, and their
// comparison with a running system. Pure logic; the running system is read in xutil.
//
// A version text is a platform ("Win32s", "Win9x", "WinNT"), then ".major", ".minor",
// ".build", each optional from the right, then optionally "#" and the service-pack text with
// blanks written as "_". A version name ("WinXP", "Win98SE", ...) stands for such a text.
#pragma once

#include <string>

enum tOSPlatform { OS_PLATFORM_WIN32S = 0, OS_PLATFORM_WIN9X = 1, OS_PLATFORM_WINNT = 2 };

// Comparison codes of xUtilCompareOSVersion.
enum {
    OS_COMPARE_INVALID = 0,   // the text cannot be split
    OS_COMPARE_PLATFORM = 2,  // the running system is of another platform
    OS_COMPARE_NEWER = 3,     // the running system is newer than the text
    OS_COMPARE_EQUAL = 4,
    OS_COMPARE_OLDER = 5,     // the running system is older than the text
};

struct tOSVersion {
    tOSPlatform platform = OS_PLATFORM_WINNT;
    int parts = 0; // how many of major, minor, build were given (0..3)
    unsigned long major = 0;
    unsigned long minor = 0;
    unsigned long build = 0;
    bool hasServicePack = false;
    std::string servicePack; // blanks as blanks ("_" already read back as " ")
};

// The version text a name stands for, or the text itself when it is no name.
std::string TranslateOSVersionName(const std::string& nameOrText);
// Parses a version name or text; false when it cannot be split.
bool ParseOSVersion(const std::string& nameOrText, tOSVersion& out);
// The text of a running system: "WinNT.5.1.2600#Service_Pack_2".
std::string FormatOSVersion(const tOSVersion& running);
// Compares a version name or text with a running system (the codes above).
int CompareOSVersion(const std::string& nameOrText, const tOSVersion& running);
// An expression: an operator ("not", "!", ">=", "=>", "<=", "=<", ">", "<", "=" or none)
// followed by a version name or text.
bool MatchOSVersion(const std::string& expression, const tOSVersion& running);
