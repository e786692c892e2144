// The registry and INI parts of a section: SetupAPI's AddReg, DelReg and UpdateInis, and
// the INI-to-registry lines ("Ini2Reg") and empty-key removals ("DelEmptyKeys") done here,
// the same way on every system (Wine's SetupAPI leaves Ini2Reg undone).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "setup/inf_file.h"

namespace setup {

// "HKCR", "HKCU", "HKLM", "HKU" (and the long names); none for anything else.
HKEY RegistryRoot(const std::string& root);

// An "Ini2Reg" line: INI file, section, key (empty: every key), registry root and key.
struct tIniToRegistry {
    std::string file;
    std::string section;
    std::string key;
    std::string root;
    std::string subkey;
};
std::vector<tIniToRegistry> ReadIniToRegistry(const CInfFile& inf, const std::string& section);
// Copies the INI values to string values of the key; a missing INI file or section copies
// nothing.
bool ApplyIniToRegistry(const tIniToRegistry& line, DWORD& error);

// A "DelEmptyKeys" line: a key removed only when nothing is left in it (a key several
// products share, such as the maker's key, goes with the last of them).
struct tRegistryKeyName {
    std::string root;
    std::string key;
};
std::vector<tRegistryKeyName> ReadEmptyKeyRemovals(const CInfFile& inf, const std::string& section);
bool RemoveKeyIfEmpty(const tRegistryKeyName& key);

// AddReg, DelReg and UpdateInis of the section, through SetupAPI.
bool InstallRegistryAndIni(const CInfFile& inf, const std::string& section, HWND owner, DWORD& error);

} // namespace setup
