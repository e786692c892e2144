// The setup program's command line: unattended modes, reboot policy, wizard style, the
// products to install or remove, the language, and the plan of changes.
// Pure logic, tested without a desktop.
#pragma once

#include <string>
#include <vector>

enum tUnattended {
    UNATTENDED_NONE = 0,
    // "/quiet": the wizard shows and advances by itself; only failures are shown.
    UNATTENDED_QUIET = 1,
    // "/silent": nothing is shown at all; failures go to the trace and the exit code, questions
    // take their safe answer.
    UNATTENDED_SILENT = 2,
};

// What happens after a run that needs a reboot.
enum tRebootPolicy {
    REBOOT_NEVER = 0, // only reported (exit code 3010); for scripted installs
    REBOOT_ASK = 1,   // the standard SetupAPI prompt
    REBOOT_NOW = 2,   // rebooted without asking
};

enum tSetupMode { SETUP_MODE_INSTALL = 0, SETUP_MODE_REMOVE = 1 };

struct tSetupCommandLine {
    tUnattended unattended = UNATTENDED_NONE;
    // The text after "/quiet:" or "/silent:": the installation folder of an unattended run.
    std::string unattendedText;
    tRebootPolicy reboot = REBOOT_ASK;
    // -1: not given (the program decides by the common controls); 0 classic; 1 Wizard97.
    int style = -1;
    tSetupMode mode = SETUP_MODE_INSTALL;
    // The products named by "/install:" or "/remove:" (the later one wins), empty for all.
    std::vector<std::string> products;
    // 0 when "/lang:" was not given or named no known language.
    unsigned short language = 0;
    // "/plan" or "/plan:FILE": print every change and change nothing.
    bool plan = false;
    std::string planFile;
};

// Parses a whole command line (the program path first, as the system gives it). Switches are
// case-sensitive; later ones override earlier ones; unknown tokens are ignored.
tSetupCommandLine ParseSetupCommandLine(const char* commandLine);

// The language of a "/lang:" code ("eng", "ger", ...), 0 for an unknown code.
unsigned short LanguageOfCode(const std::string& code);
