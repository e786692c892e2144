// Setup plug-in DLLs named by the script's "Plugins" keys: loaded once from the program's
// folder, asked for their steps and their wizard pages by level (setup/setup_plugin.h).
#pragma once

#include <windows.h>
#include <prsht.h>

#include <memory>
#include <string>
#include <vector>

#include "common/module.h"
#include "setup/inf_file.h"
#include "setup/script_rules.h"
#include "setup/setup_plugin.h"

namespace setup {

struct tStepRecord {
    tSetupPluginStep step;
    HMODULE module = nullptr;
    INFCONTEXT context; // the "Plugins" line the entry came from
    int fieldIndex = 0;
    std::string file;
    std::string parameter;
};

struct tPageRecord {
    int level = 0;
    int count = 0;
    HMODULE module = nullptr;
    HWND owner = nullptr;
    INFCONTEXT context;
    int fieldIndex = 0;
    std::string parameter;
};

class CSetupPlugins {
public:
    // A plug-in adds at most this many steps and pages per level: a DLL that answers more
    // is taken at its word only that far.
    static const int kMaxSteps = 32;
    static const int kMaxPagesPerLevel = 8;

    // Registers the entries of the section's "Plugins" key (each DLL once, each entry once).
    void Register(const CInfFile& inf, const std::string& section, const std::string& folder, HWND window);
    const std::vector<tStepRecord>& Steps() const { return m_steps; }
    void PageCounts(int (&counts)[PLUGIN_PAGE_LEVELS]) const;
    // The pages of one level, as the plug-ins describe them.
    std::vector<PROPSHEETPAGEA> Pages(int level, bool wizard97) const;
    size_t DllCount() const { return m_dlls.size(); }

private:
    struct tDll {
        std::string file;
        CDllBinding binding;
    };
    tDll* Load(const std::string& file, const std::string& folder);
    void RegisterEntry(const CInfLine& line, int fieldIndex, const std::string& entry, const std::string& folder,
                       HWND window);

    std::vector<std::unique_ptr<tDll>> m_dlls;
    std::vector<std::string> m_entries; // file ":" parameter, lower case
    std::vector<tStepRecord> m_steps;
    std::vector<tPageRecord> m_pages;
};

} // namespace setup
