// What the setup script says: the sections chosen for the running Windows version, the
// products with their flags and versions, the conditions, the default folders and the
// finish actions. All read through SetupAPI (setup/inf_file.h).
#pragma once

#include <string>
#include <vector>

#include "common/osversion.h"
#include "setup/inf_file.h"

namespace setup {

struct tChosenSections {
    std::string install;
    std::string remove;
    std::string products; // empty when the script has no products section
};

// The first existing section of each family for the running version.
tChosenSections ChooseSections(const CInfFile& inf, const tOSVersion& running);

struct tProduct {
    std::string key;            // field 0; empty for the script without products
    std::string name;           // field 1 (the key when empty)
    std::string installSection; // field 2
    std::string removeSection;  // field 3
    int flags = 0;              // field 4
    bool selected = false;
    // Where the product goes or is: the chosen folder unless "ProductDestinationDirs" names
    // another; for a removal, the folder its uninstall entry names.
    std::string targetDir;
    // What the script's "ProductVer" line says this setup brings ("" when unknown).
    std::string version;
};

// Every product line of the products section, in order. Without a products section the
// install and remove sections count as one product without a key.
std::vector<tProduct> ReadProducts(const CInfFile& inf, const tChosenSections& sections);

// A "ProductVer" line: the product and the version this setup brings (a dotted version, or a
// file beside the setup program whose version counts).
struct tProductVersion {
    std::string product;
    std::string version;
};
std::vector<tProductVersion> ReadProductVersions(const CInfFile& inf, const std::string& section,
                                                 const std::string& folder);
// A file's version from its fixed version information, "%d.%d.%d.%d"; empty without one.
std::string FileVersionText(const std::string& path);

// The folder a product goes to when "ProductDestinationDirs" names one; empty otherwise.
std::string ProductDestination(const CInfFile& inf, const std::string& product);
// The default installation folder: the "DefaultDestDir" of "DestinationDirs".
std::string DefaultTargetDir(const CInfFile& inf);

// A "FinishAction" of the install section: a check box on the finish page.
struct tFinishAction {
    std::string text;
    bool ticked = false;
    std::string program;
    std::string parameters;
};
std::vector<tFinishAction> ReadFinishActions(const CInfFile& inf, const std::string& section);

// The result of a section's "Conditions".
struct tConditionOutcome {
    bool holds = true;
    std::string message; // of the first condition that does not hold
};
// Every condition section named by the section's "Conditions" key must hold: its "Dll"
// (a condition DLL beside the program and the function to ask), "OS" (a version
// expression), "File" (a file that must exist; relative names beside the program). The
// "Message" line is shown when one does not hold; a condition DLL's own message wins.
tConditionOutcome CheckConditions(const CInfFile& inf, const std::string& section, const std::string& folder);

// A file name relative to the program's folder, or the path as it is when absolute.
std::string PathBeside(const std::string& folder, const std::string& name);

} // namespace setup
