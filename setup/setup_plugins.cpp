#include "setup/setup_plugins.h"

#include <strings.h>

#include <algorithm>

#include "common/trace.h"
#include "setup/script.h"

namespace setup {

CSetupPlugins::tDll* CSetupPlugins::Load(const std::string& file, const std::string& folder)
{
    for (auto& dll : m_dlls)
        if (strcasecmp(dll->file.c_str(), file.c_str()) == 0)
            return dll->binding.IsLoaded() ? dll.get() : nullptr;
    std::unique_ptr<tDll> dll(new tDll);
    dll->file = file;
    tGetVersionNumber version = nullptr;
    if (!IsBareFileName(file) || !dll->binding.Load(PathBeside(folder, file).c_str()) ||
        !dll->binding.Bind(version, "GetVersionNumber") || version() >= 2) {
        TraceHere("setup plug-in %s cannot be used, skipped\n", file.c_str());
        dll->binding.Unload();
    }
    m_dlls.push_back(std::move(dll));
    return m_dlls.back()->binding.IsLoaded() ? m_dlls.back().get() : nullptr;
}

void CSetupPlugins::Register(const CInfFile& inf, const std::string& section, const std::string& folder, HWND window)
{
    for (const CInfLine& line : inf.Lines(section, "Plugins")) {
        DWORD count = line.FieldCount();
        for (DWORD index = 1; index <= count; ++index) {
            std::string entry = line.Field(index);
            if (!entry.empty())
                RegisterEntry(line, static_cast<int>(index), entry, folder, window);
        }
    }
}

void CSetupPlugins::RegisterEntry(const CInfLine& line, int fieldIndex, const std::string& entry,
                                  const std::string& folder, HWND window)
{
    tPluginEntry split = SplitPluginEntry(entry);
    std::string known = LowerCase(split.file) + ":" + split.parameter;
    if (std::find(m_entries.begin(), m_entries.end(), known) != m_entries.end())
        return;
    m_entries.push_back(known);
    tDll* dll = Load(split.file, folder);
    if (!dll)
        return;
    const char* parameter = split.parameter.c_str();
    tQueryPlugin query = nullptr;
    if (dll->binding.Bind(query, "QueryPlugin"))
        query(window, parameter);

    tQueryPluginSteps querySteps = nullptr;
    tGetPluginStep getStep = nullptr;
    if (dll->binding.Bind(querySteps, "QueryPluginSteps") && dll->binding.Bind(getStep, "GetPluginStep")) {
        int steps = std::min(querySteps(parameter), kMaxSteps);
        for (int index = 0; index < steps; ++index) {
            tStepRecord record;
            record.step = tSetupPluginStep();
            if (!getStep(&record.step, index, parameter))
                continue;
            record.step.function[sizeof record.step.function - 1] = '\0';
            record.step.text[sizeof record.step.text - 1] = '\0';
            if (record.step.level < 0 || record.step.level > 5) {
                TraceHere("%s: step %d has level %d, skipped\n", split.file.c_str(), index, record.step.level);
                continue;
            }
            record.module = dll->binding.Get();
            record.context = line.Context();
            record.fieldIndex = fieldIndex;
            record.file = split.file;
            record.parameter = split.parameter;
            m_steps.push_back(record);
        }
    }

    tQueryPluginPages queryPages = nullptr;
    if (dll->binding.Bind(queryPages, "QueryPluginPages")) {
        for (int level = 0; level < PLUGIN_PAGE_LEVELS; ++level) {
            int pages = std::min(queryPages(level, parameter), kMaxPagesPerLevel);
            if (pages <= 0)
                continue;
            tPageRecord record;
            record.level = level;
            record.count = pages;
            record.module = dll->binding.Get();
            record.owner = window;
            record.context = line.Context();
            record.fieldIndex = fieldIndex;
            record.parameter = split.parameter;
            m_pages.push_back(record);
        }
    }
}

void CSetupPlugins::PageCounts(int (&counts)[PLUGIN_PAGE_LEVELS]) const
{
    std::fill(counts, counts + PLUGIN_PAGE_LEVELS, 0);
    for (const tPageRecord& record : m_pages)
        counts[record.level] += record.count;
}

std::vector<PROPSHEETPAGEA> CSetupPlugins::Pages(int level, bool wizard97) const
{
    std::vector<PROPSHEETPAGEA> pages;
    for (const tPageRecord& record : m_pages) {
        if (record.level != level)
            continue;
        tGetPluginPages getPages =
            reinterpret_cast<tGetPluginPages>(GetProcAddress(record.module, "GetPluginPages"));
        std::vector<PROPSHEETPAGEA> described(static_cast<size_t>(record.count), PROPSHEETPAGEA());
        if (!getPages || !getPages(level, described.data(), wizard97 ? TRUE : FALSE, record.parameter.c_str())) {
            // It adds none; the wizard plans its pages from what it was given.
            TraceHere("a plug-in gave no pages for level %d\n", level);
            continue;
        }
        for (PROPSHEETPAGEA& page : described) {
            if (page.dwSize == 0)
                page.dwSize = sizeof page;
            pages.push_back(page);
        }
    }
    return pages;
}

} // namespace setup
