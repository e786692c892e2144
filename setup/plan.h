// The plan of a run: every change the chosen products would make, read from the script
// without changing anything ("setup.exe /plan"). One change per line, fields separated by
// tabs, so that an administrator reads it and a script can check it.
#pragma once

#include <string>
#include <vector>

#include "setup/inf_file.h"
#include "setup/pipeline.h"
#include "setup/script.h"
#include "setup/setup_plugins.h"

namespace setup {

struct tPlanRun {
    bool install = true;
    std::string sourceRoot;
    std::string setupPath;             // for the uninstall entries
    std::vector<tProduct> products;    // the chosen ones, with their folders
    std::vector<tSectionEntry> sections;
    const CSetupPlugins* plugins = nullptr;
};

// The lines of the plan (without line ends). Folder ids are pointed at each section's
// folder while it is read, as the pipeline does.
std::vector<std::string> BuildPlan(const CInfFile& inf, const tPlanRun& run);

// The registry value type an AddReg flags word stands for ("REG_SZ", ...).
std::string AddRegTypeName(unsigned long flags);

} // namespace setup
