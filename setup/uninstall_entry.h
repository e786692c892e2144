// A product's entry under "Software\Microsoft\Windows\CurrentVersion\Uninstall": what the
// system lists as installed, and where the programs of the suite find each other.
#pragma once

#include <string>

namespace setup {

extern const char kUninstallKey[];

struct tUninstallEntry {
    std::string displayName;
    std::string uninstallString;
    std::string publisher;
    std::string helpLink;
    std::string productVersion;
    std::string displayVersion;
    std::string userTargetDir;
};

// Product keys become registry key names: one name, no path.
bool IsValidProductKey(const std::string& product);
bool ReadUninstallEntry(const std::string& product, tUninstallEntry& out);
bool WriteUninstallEntry(const std::string& product, const tUninstallEntry& entry);
bool DeleteUninstallEntry(const std::string& product);
// The command that removes the product: the setup program (quoted), " /remove:" and the key.
std::string UninstallCommand(const std::string& setupPath, const std::string& product);

} // namespace setup
