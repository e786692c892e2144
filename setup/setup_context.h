// The context of one setup run: what the command line and the script said, what the user
// chose in the wizard, and the cells the worker thread shares with the wizard.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "setup/command_line.h"
#include "setup/firewall.h"
#include "setup/inf_file.h"
#include "setup/pipeline.h"
#include "setup/script.h"
#include "setup/setup_plugins.h"

namespace setup {

// How a run ended: the program's exit code.
enum {
    SETUP_EXIT_SUCCESS = 0,
    SETUP_EXIT_FAILED = 1,
    SETUP_EXIT_CANCELLED = 2,
    SETUP_EXIT_REBOOT_PENDING = 3010, // done, but a restart completes it
};

struct tSetupContext {
    HINSTANCE instance = nullptr;
    std::string programPath; // setup.exe itself
    std::string folder;      // its folder: the medium, where the script and the files lie
    tSetupCommandLine commandLine;
    unsigned short language = 0;
    bool wizard97 = true;
    HWND window = nullptr; // the hidden "SETUP" window

    CInfFile inf;
    tChosenSections sections;
    std::vector<tProduct> products; // offered (installation) or known (removal)
    std::string targetDir;          // the chosen installation folder
    bool customInstall = false;
    std::vector<tFinishAction> finishActions;
    std::string licenseFile;
    CSetupPlugins plugins;
    IFirewall* firewall = nullptr;
    std::string title;       // string 1200
    std::string welcomeText; // string 1300 (or its removal form)

    // Shared with the worker thread.
    volatile LONG workInProgress = 0;
    volatile LONG rebootNeeded = 0;
    int successPage = -1;
    int failurePage = -1;

    // How the work went, read after the wizard ends.
    bool workDone = false;
    bool workSucceeded = false;
    DWORD workError = 0;

    bool Removal() const { return commandLine.mode == SETUP_MODE_REMOVE; }
    bool Unattended() const { return commandLine.unattended != UNATTENDED_NONE; }
    bool Silent() const { return commandLine.unattended == UNATTENDED_SILENT; }
    // The sections of the selected products, each with its product's folder.
    std::vector<tSectionEntry> SelectedSections() const;
    // The folder each selected product goes to: the chosen one unless the script names
    // another for it.
    void AssignTargets();
};

} // namespace setup
