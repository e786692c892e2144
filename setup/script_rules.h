// The rules by which the setup script is read, apart from SetupAPI so that they are tested
// without a desktop: section variants by Windows version, product flags, plug-in entries,
// "Exec" parameters, shortcut folder codes, product versions and the order of wizard pages.
#pragma once

#include <string>
#include <vector>

#include "common/osversion.h"

// The section names to try for a base name ("Install", "Remove", "Products"), best first;
// the first that exists in the script is taken.
std::vector<std::string> SectionCandidates(const std::string& base, const tOSVersion& running);

// Product flags (field 4 of a product line).
enum {
    PRODUCT_CONDITIONAL = 1,  // offered only when the Conditions of its install section hold
    PRODUCT_PRESELECTED = 2,  // ticked when the wizard offers the products
};

// A "Plugins" entry: a DLL file name, optionally ":" and a parameter text.
struct tPluginEntry {
    std::string file;
    std::string parameter;
};
tPluginEntry SplitPluginEntry(const std::string& entry);
// A DLL named by a script is loaded from the program's folder only: a bare file name.
bool IsBareFileName(const std::string& file);

// Every "%hwnd%" in "Exec" parameters becomes the setup window's handle as "0x%08x".
std::string ExpandWindowHandle(const std::string& parameters, unsigned long long window);

// Dotted versions ("2.1.412.0") compared number by number from the left; a missing number
// counts as 0. Negative, 0 or positive as a is older, equal or newer than b.
int CompareDottedVersions(const std::string& a, const std::string& b);
// True when the text is a dotted version (digits and dots, starting with a digit).
bool IsDottedVersion(const std::string& text);

// Shortcut folder codes ("CPRG" ...): the value under "Shell Folders" and whether it is one of
// all users (under the local machine) rather than the current user's.
struct tShellFolder {
    const char* code;
    const char* valueName;
    bool common;
    int csidl; // where the value is missing, the folder asked of the shell
};
const tShellFolder* FindShellFolder(const std::string& code);
// A target that is a web address gets an internet shortcut.
bool IsWebAddress(const std::string& target);

// Lower case, for names the system compares without regard to case.
std::string LowerCase(std::string text);

// The order of wizard pages. Built-in pages by their template ids; plug-in pages by level.
enum {
    PAGE_WELCOME = 1000,
    PAGE_LICENSE = 1001,
    PAGE_TYPE = 1002,
    PAGE_COMPONENTS = 1003,
    PAGE_DIRECTORY = 1004,
    PAGE_CARRY_OUT = 1006,
    PAGE_FINISH = 1007,
    PAGE_REMOVAL = 1008,
    PAGE_REMOVAL_FINISH = 1009,
};
enum { PLUGIN_PAGE_LEVELS = 8 };

struct tPageSlot {
    int builtIn;   // a template id above, or 0 for a plug-in page
    int level;     // of a plug-in page
    int index;     // of a plug-in page within its level
};

struct tPagePlan {
    std::vector<tPageSlot> pages;
    int workIndex = -1;    // the carry-out or removal page
    int successIndex = -1; // where the work page goes when the work succeeded
    int failureIndex = -1; // where it stays when the work failed
};

// The pages of an installation or a removal, given how many pages plug-ins add per level.
// Level 0 pages replace the welcome page and level 7 pages the finish page of an
// installation; the others come before the built-in page of their level.
tPagePlan PlanPages(bool removal, const int (&counts)[PLUGIN_PAGE_LEVELS]);
