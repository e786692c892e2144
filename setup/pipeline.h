// The install and remove pipeline: from the sections of the chosen products to files,
// registry and INI entries, services, shortcuts, firewall and security entries, programs
// and plug-in steps, in a fixed order. Runs on the setup's worker thread.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "setup/firewall.h"
#include "setup/inf_file.h"
#include "setup/pipeline_sink.h"
#include "setup/services.h"
#include "setup/setup_plugins.h"

namespace setup {

enum {
    PIPELINE_INSTALL = 1,          // clear for a removal
    PIPELINE_UNATTENDED = 2,
    PIPELINE_NO_FILE_QUEUE = 4,
    PIPELINE_NO_SERVICES = 8,
    PIPELINE_NO_PLUGIN_STEPS = 16,
    PIPELINE_ALTERNATIVE_EXEC = 32, // "Exec" programs started through the shell
};

// The script's folder id of the chosen installation folder.
enum { DIRID_TARGET = 32768 };

// One section of the run, with the product it belongs to and that product's folder (which
// the folder id above stands for while the section is worked on).
struct tSectionEntry {
    std::string section;
    std::string product;
    std::string targetDir;
};

class CFileQueue;

class CPipeline {
public:
    CPipeline(const CInfFile& inf, IPipelineSink& sink, IFirewall& firewall, const CSetupPlugins* plugins);
    ~CPipeline();
    CPipeline(const CPipeline&) = delete;
    CPipeline& operator=(const CPipeline&) = delete;

    // False when a step failed; Error() tells why. `rebootNeeded` (may be none) is set when
    // the run needs a restart; without it the pipeline does no file, service or plug-in work.
    bool Run(const std::vector<tSectionEntry>& sections, DWORD flags, const std::string& sourceRoot, HWND window,
             volatile LONG* rebootNeeded);
    DWORD Error() const { return m_error; }

private:
    bool Fail(DWORD error);
    void MarkReboot();
    void UseTarget(size_t index) const;
    tServicePlan ServicePlan() const;
    bool Install() const { return (m_flags & PIPELINE_INSTALL) != 0; }
    bool BuildQueue();
    bool CommitQueue();
    bool RunExec(int phase);
    bool RunSteps(int level);
    bool StopServices();
    bool ChangeServices();
    bool StartServices();
    bool RegistryAndIni();
    bool Shortcuts();

    const CInfFile& m_inf;
    IPipelineSink& m_sink;
    IFirewall& m_firewall;
    const CSetupPlugins* m_plugins;

    std::vector<tSectionEntry> m_sections;
    DWORD m_flags = 0;
    std::string m_sourceRoot;
    HWND m_window = nullptr;
    volatile LONG* m_reboot = nullptr;
    std::unique_ptr<CFileQueue> m_queue;
    DWORD m_error = 0;
};

} // namespace setup
