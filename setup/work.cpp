#include "setup/work.h"

#include "common/raii.h"
#include "common/strings.h"
#include "common/trace.h"
#include "common/xutil.h"
#include "setup/res/resource.h"
#include "setup/uninstall_entry.h"

namespace setup {

namespace {

DWORD PipelineFlags(const tSetupContext& context, bool install)
{
    return (install ? PIPELINE_INSTALL : 0) | (context.Unattended() ? PIPELINE_UNATTENDED : 0);
}

bool RegisterProducts(const tSetupContext& context, DWORD& error)
{
    for (const tProduct& product : context.products) {
        if (!product.selected || product.key.empty())
            continue;
        tUninstallEntry entry;
        entry.displayName = product.name;
        entry.uninstallString = UninstallCommand(context.programPath, product.key);
        entry.publisher = xUtilLoadString(context.instance, IDS_PUBLISHER);
        entry.helpLink = xUtilLoadString(context.instance, IDS_HELP_LINK);
        entry.productVersion = product.version;
        entry.displayVersion = product.version;
        entry.userTargetDir = product.targetDir;
        if (!WriteUninstallEntry(product.key, entry)) {
            error = ERROR_ACCESS_DENIED;
            return false;
        }
    }
    return true;
}

// The "Reboot" key of a section: a non-zero value asks for a restart after the work.
bool SectionWantsReboot(const CInfFile& inf, const std::string& section)
{
    for (const CInfLine& line : inf.Lines(section, "Reboot")) {
        int value = 0;
        if (line.IntField(1, value) && value != 0)
            return true;
    }
    return false;
}

bool RunPipeline(tSetupContext& context, IPipelineSink& sink, HWND window, bool install, DWORD& error)
{
    std::vector<tSectionEntry> sections = context.SelectedSections();
    CPipeline pipeline(context.inf, sink, *context.firewall, &context.plugins);
    if (!pipeline.Run(sections, PipelineFlags(context, install), context.folder, window, &context.rebootNeeded)) {
        error = pipeline.Error();
        return false;
    }
    for (const tSectionEntry& entry : sections)
        if (SectionWantsReboot(context.inf, entry.section))
            InterlockedExchange(&context.rebootNeeded, 1);
    return true;
}

} // namespace

void UseRunLanguage(unsigned short language)
{
    if (!language || (GetVersion() & 0x80000000))
        return;
    SetThreadLocale(MAKELCID(language, SORT_DEFAULT));
    SetThreadUILanguage(language);
}

bool RunInstallation(tSetupContext& context, IPipelineSink& sink, HWND window, DWORD& error)
{
    UseRunLanguage(context.language);
    raii::CComInit com;
    InterlockedExchange(&context.workInProgress, 1);
    error = 0;
    bool done = RegisterProducts(context, error);
    if (done && !context.targetDir.empty())
        context.inf.SetDirectoryId(DIRID_TARGET, context.targetDir);
    done = done && RunPipeline(context, sink, window, true, error);
    InterlockedExchange(&context.workInProgress, 0);
    Trace("[setup] installation %s\n", done ? "done" : "failed");
    return done;
}

bool RunRemoval(tSetupContext& context, IPipelineSink& sink, HWND window, DWORD& error)
{
    UseRunLanguage(context.language);
    raii::CComInit com;
    InterlockedExchange(&context.workInProgress, 1);
    error = 0;
    bool done = RunPipeline(context, sink, window, false, error);
    if (done)
        for (const tProduct& product : context.products)
            if (product.selected && !product.key.empty())
                DeleteUninstallEntry(product.key);
    InterlockedExchange(&context.workInProgress, 0);
    Trace("[setup] removal %s\n", done ? "done" : "failed");
    return done;
}

} // namespace setup
