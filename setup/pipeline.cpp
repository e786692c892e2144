#include "setup/pipeline.h"

#include "common/trace.h"
#include "setup/exec_entries.h"
#include "setup/file_queue.h"
#include "setup/registry_parts.h"
#include "setup/security.h"
#include "setup/services.h"
#include "setup/shortcuts.h"

namespace setup {

namespace {

// The queue the plug-in steps of this thread may add to; plug-ins get plain C callbacks.
thread_local CFileQueue* t_stepQueue = nullptr;

BOOL WINAPI QueueCopyFromPlugin(const char* source, const char* destination)
{
    if (t_stepQueue && source && destination && t_stepQueue->QueueCopy(source, destination))
        return TRUE;
    Trace("error: failed to queue copy action from plugin (pSrc: %s, pDst: %s)\n", source ? source : "",
          destination ? destination : "");
    return FALSE;
}

BOOL WINAPI QueueDeleteFromPlugin(const char* path)
{
    if (t_stepQueue && path && t_stepQueue->QueueDelete(path))
        return TRUE;
    Trace("error: failed to queue delete action from plugin (pSrc: %s)\n", path ? path : "");
    return FALSE;
}

// Sets the step queue for the time of one step.
class CStepQueueScope {
public:
    explicit CStepQueueScope(CFileQueue* queue) { t_stepQueue = queue; }
    ~CStepQueueScope() { t_stepQueue = nullptr; }
};

} // namespace

CPipeline::CPipeline(const CInfFile& inf, IPipelineSink& sink, IFirewall& firewall, const CSetupPlugins* plugins)
    : m_inf(inf), m_sink(sink), m_firewall(firewall), m_plugins(plugins)
{
}

CPipeline::~CPipeline() = default;

bool CPipeline::Fail(DWORD error)
{
    m_error = error ? error : ERROR_GEN_FAILURE;
    return false;
}

void CPipeline::MarkReboot()
{
    if (m_reboot)
        InterlockedExchange(m_reboot, 1);
}

void CPipeline::UseTarget(size_t index) const
{
    const std::string& folder = m_sections[index].targetDir;
    if (!folder.empty())
        m_inf.SetDirectoryId(DIRID_TARGET, folder);
}

bool CPipeline::Run(const std::vector<tSectionEntry>& sections, DWORD flags, const std::string& sourceRoot,
                    HWND window, volatile LONG* rebootNeeded)
{
    m_sections = sections;
    m_flags = flags;
    if (!rebootNeeded)
        m_flags |= PIPELINE_NO_FILE_QUEUE | PIPELINE_NO_SERVICES | PIPELINE_NO_PLUGIN_STEPS;
    if (!m_plugins)
        m_flags |= PIPELINE_NO_PLUGIN_STEPS;
    m_sourceRoot = sourceRoot;
    m_window = window;
    m_reboot = rebootNeeded;
    m_error = 0;
    TraceHere("%s %u section(s), flags 0x%lx\n", Install() ? "installing" : "removing",
              static_cast<unsigned>(sections.size()), static_cast<unsigned long>(m_flags));

    if (!BuildQueue() || !RunExec(1) || !RunSteps(0))
        return false;
    m_sink.Phase(PHASE_SERVICES_STOPPED);
    if (!(m_flags & PIPELINE_NO_SERVICES) && !StopServices())
        MarkReboot();
    if (!RunSteps(1))
        return false;
    m_sink.Phase(PHASE_FILES);
    if (!CommitQueue() || !RunSteps(2))
        return false;
    m_sink.Phase(PHASE_REGISTRY);
    if (!RegistryAndIni() || !RunSteps(4))
        return false;
    if (!(m_flags & PIPELINE_NO_SERVICES) && !ChangeServices())
        return false;
    if (!RunSteps(3))
        return false;
    m_sink.Phase(PHASE_SHORTCUTS);
    if (!Shortcuts() || !RunSteps(5))
        return false;
    m_sink.Phase(PHASE_SERVICES_STARTED);
    if (!(m_flags & PIPELINE_NO_SERVICES) && !StartServices())
        MarkReboot();
    m_sink.Phase(PHASE_DONE);
    return RunExec(2);
}

bool CPipeline::BuildQueue()
{
    if (m_flags & PIPELINE_NO_FILE_QUEUE)
        return true;
    std::vector<std::string> folders;
    for (const tSectionEntry& entry : m_sections)
        folders.push_back(entry.targetDir);
    m_queue.reset(new CFileQueue(m_sink, folders));
    if (!m_queue->Open())
        return Fail(GetLastError());
    for (size_t index = 0; index < m_sections.size(); ++index) {
        UseTarget(index);
        if (!m_queue->AddSection(m_inf, m_sections[index].section, m_sourceRoot)) {
            DWORD error = GetLastError();
            m_queue.reset();
            return Fail(error);
        }
    }
    return true;
}

bool CPipeline::CommitQueue()
{
    if (!m_queue)
        return true;
    DWORD error = 0;
    bool committed = m_queue->Commit(m_window, error);
    if (m_queue->RebootNeeded())
        MarkReboot();
    m_queue->Close();
    if (!committed)
        return Fail(error);
    return true;
}

bool CPipeline::RunExec(int phase)
{
    bool alternative = (m_flags & PIPELINE_ALTERNATIVE_EXEC) != 0;
    for (size_t index = 0; index < m_sections.size(); ++index) {
        UseTarget(index);
        for (const tExecEntry& entry : ReadExecEntries(m_inf, m_sections[index].section, phase, Install())) {
            DWORD error = 0;
            // A removal goes on without a helper program that is gone already.
            if (!RunExecEntry(entry, m_window, alternative, error) && Install())
                return Fail(error);
        }
    }
    return true;
}

bool CPipeline::RunSteps(int level)
{
    if (m_flags & PIPELINE_NO_PLUGIN_STEPS)
        return true;
    bool queueOpen = m_queue && m_queue->IsOpen();
    for (const tStepRecord& record : m_plugins->Steps()) {
        if (record.step.level != level)
            continue;
        tSetupStepFunction step = reinterpret_cast<tSetupStepFunction>(GetProcAddress(record.module, record.step.function));
        if (!step) {
            TraceHere("%s has no step function %s\n", record.file.c_str(), record.step.function);
            return Fail(ERROR_PROC_NOT_FOUND);
        }
        m_sink.StepText(record.step.text, record.step.showProgress != FALSE);
        BOOL reboot = FALSE;
        CStepQueueScope scope(queueOpen ? m_queue.get() : nullptr);
        SetLastError(0);
        if (!step(QueueCopyFromPlugin, QueueDeleteFromPlugin, m_window, m_flags & PIPELINE_INSTALL, &reboot,
                  record.parameter.c_str(), record.fieldIndex)) {
            DWORD error = GetLastError();
            TraceHere("step %s of %s failed\n", record.step.function, record.file.c_str());
            return Fail(error);
        }
        if (reboot)
            MarkReboot();
    }
    return true;
}

tServicePlan CPipeline::ServicePlan() const
{
    std::vector<std::string> sections;
    for (const tSectionEntry& entry : m_sections)
        sections.push_back(entry.section);
    return ReadServicePlan(m_inf, sections, [this](size_t index) { UseTarget(index); });
}

bool CPipeline::StopServices()
{
    DWORD error = 0;
    return setup::StopServices(ServicePlan().stop, error);
}

bool CPipeline::ChangeServices()
{
    tServicePlan plan = ServicePlan();
    DWORD error = 0;
    if (!DeleteServices(plan.remove, error) || !AddServices(plan.add, error))
        return Fail(error);
    for (const auto& order : plan.groupOrder)
        if (!InsertServiceGroup(order.first, order.second, error))
            return Fail(error);
    return true;
}

bool CPipeline::StartServices()
{
    DWORD error = 0;
    return setup::StartServices(ServicePlan().start, error);
}

bool CPipeline::RegistryAndIni()
{
    std::vector<tRegistryKeyName> emptyKeys;
    for (size_t index = 0; index < m_sections.size(); ++index) {
        UseTarget(index);
        const std::string& section = m_sections[index].section;
        DWORD error = 0;
        if (!InstallRegistryAndIni(m_inf, section, m_window, error))
            return Fail(error);
        for (const tIniToRegistry& line : ReadIniToRegistry(m_inf, section))
            if (!ApplyIniToRegistry(line, error))
                return Fail(error);
        for (const tRegistryKeyName& key : ReadEmptyKeyRemovals(m_inf, section))
            emptyKeys.push_back(key);
        for (const std::string& list : m_inf.KeyValues(section, "MakeFirewallEntries"))
            for (const CInfLine& line : m_inf.Lines(list)) {
                HRESULT result = m_firewall.Authorize(line.Field(1), line.Field(2));
                if (FAILED(result))
                    return Fail(static_cast<DWORD>(result));
            }
        for (const std::string& list : m_inf.KeyValues(section, "DelFirewallEntries"))
            for (const CInfLine& line : m_inf.Lines(list)) {
                HRESULT result = m_firewall.Remove(line.Field(2));
                if (FAILED(result) && Install())
                    return Fail(static_cast<DWORD>(result));
            }
        for (const tFileSecurity& entry : ReadFileSecurity(m_inf, section))
            if (!ApplyFileSecurity(entry, error))
                return Fail(error);
        for (const tRegSecurity& entry : ReadRegSecurity(m_inf, section))
            if (!ApplyRegSecurity(entry, error))
                return Fail(error);
    }
    // After every section: a shared key is empty only when all of them are done with it.
    for (const tRegistryKeyName& key : emptyKeys)
        RemoveKeyIfEmpty(key);
    return true;
}

bool CPipeline::Shortcuts()
{
    bool ask = !(m_flags & PIPELINE_UNATTENDED);
    for (size_t index = 0; index < m_sections.size(); ++index) {
        UseTarget(index);
        const std::string& section = m_sections[index].section;
        for (const tShortcut& shortcut : ReadShortcuts(m_inf, section, "MakeIcons")) {
            if (ask && (shortcut.flags & SHORTCUT_ASK) && !m_sink.AskShortcut(shortcut.name))
                continue;
            if (!MakeShortcut(shortcut)) {
                TraceHere("cannot make the shortcut %s\n", shortcut.name.c_str());
                return Fail(ERROR_CANNOT_MAKE);
            }
        }
        for (const tShortcut& shortcut : ReadShortcuts(m_inf, section, "DelIcons"))
            DeleteShortcut(shortcut);
    }
    return true;
}

} // namespace setup
