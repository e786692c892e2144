// Security descriptors from the script ("FileSecurity", "RegSecurity") applied to files,
// folders and registry keys.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "setup/inf_file.h"

namespace setup {

// Used where a security line gives no descriptor: administrators and the system may do
// everything, users may read and run.
extern const char kDefaultDescriptor[];

struct tFileSecurity {
    std::string path;
    std::string descriptor;
};
struct tRegSecurity {
    std::string root; // "HKCR", "HKCU", "HKLM", "HKU"
    std::string key;
    std::string descriptor;
};

std::vector<tFileSecurity> ReadFileSecurity(const CInfFile& inf, const std::string& section);
std::vector<tRegSecurity> ReadRegSecurity(const CInfFile& inf, const std::string& section);
// The object name of a key for the security functions ("MACHINE\Software\..."); empty for
// an unknown root.
std::string RegistryObjectName(const std::string& root, const std::string& key);

bool ApplyFileSecurity(const tFileSecurity& entry, DWORD& error);
bool ApplyRegSecurity(const tRegSecurity& entry, DWORD& error);

} // namespace setup
