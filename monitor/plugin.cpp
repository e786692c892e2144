#include "monitor/plugin.h"

#include "common/module.h"
#include "common/trace.h"
#include "monitor/plugin_seal.h"

namespace {

// A plug-in whose GetState keeps returning at once would keep the window thread merging
// without pause; after this many quick returns in a row the worker takes a breath.
const int kQuickReturnsBeforePause = 10;
const DWORD kQuickReturnMs = 5;
const DWORD kPauseMs = 50;

} // namespace

std::string ResolvePluginFile(const std::string& name)
{
    std::string beside = xUtilPathBesideModule(nullptr, name.c_str());
    if (!beside.empty() && GetFileAttributesA(beside.c_str()) != INVALID_FILE_ATTRIBUTES)
        return beside;
    char found[MAX_PATH * 2];
    DWORD length = SearchPathA(nullptr, name.c_str(), nullptr, sizeof found, found, nullptr);
    return length > 0 && length < sizeof found ? std::string(found) : std::string();
}

CPlugin::CPlugin(const std::string& name, HWND window)
    : m_name(name), m_window(window), m_cancel(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_refresh(CreateEventA(nullptr, FALSE, FALSE, nullptr)), m_module(nullptr), m_init(nullptr),
      m_cleanup(nullptr), m_getState(nullptr), m_getOptions(nullptr), m_setOptions(nullptr),
      m_created(false), m_stopping(false)
{
}

CPlugin::~CPlugin()
{
    // The owner has called Destroy; a record still running here would leave a thread behind.
    if (m_created)
        Destroy();
}

bool CPlugin::Create()
{
    if (m_created)
        return true;
    std::string file = ResolvePluginFile(m_name);
    if (file.empty()) {
        TraceHere("Dll could not be loaded: %s\n", m_name.c_str());
        return false;
    }
    // The file stays open, closed to writers, from the check until it is loaded: what is
    // loaded is what was checked.
    CCheckedPluginFile checked;
    if (!checked.Open(file)) {
        TraceHere("plugin %s fails the integrity check, skipped\n", file.c_str());
        return false;
    }
    HMODULE module = LoadLibraryExA(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    checked.Close();
    if (!module) {
        TraceHere("Dll could not be loaded: %s\n", m_name.c_str());
        return false;
    }
    auto getState = reinterpret_cast<tPluginGetState>(GetProcAddress(module, kPluginGetState));
    if (!getState) {
        TraceHere("Dll is no plugin dll: %s\n", m_name.c_str());
        FreeLibrary(module);
        return false;
    }

    raii::CLock lock(m_optionsLock);
    m_module = module;
    m_getState = getState;
    m_init = reinterpret_cast<tPluginInit>(GetProcAddress(module, kPluginInit));
    m_cleanup = reinterpret_cast<tPluginCleanup>(GetProcAddress(module, kPluginCleanup));
    m_getOptions = reinterpret_cast<tPluginGetShareableOptions>(GetProcAddress(module, kPluginGetShareableOptions));
    m_setOptions = m_getOptions ? reinterpret_cast<tPluginSetShareableOptions>(
                                      GetProcAddress(module, kPluginSetShareableOptions))
                                : nullptr;
    if (!m_getOptions || !m_setOptions) {
        m_getOptions = nullptr;
        m_setOptions = nullptr;
    } else {
        TraceVerbose("module participates at shared options\n");
    }

    if (!m_worker.Start([this](CThread&) { Work(); })) {
        TraceHere("CreateThread failed for %s\n", m_name.c_str());
        FreeLibrary(m_module);
        m_module = nullptr;
        return false;
    }
    m_created = true;
    return true;
}

std::string CPlugin::ModuleFile() const
{
    return m_module ? xUtilGetModulePath(m_module) : std::string();
}

void CPlugin::Work()
{
    if (m_init)
        m_init();
    SetEvent(m_refresh.Get());
    int quickReturns = 0;
    while (!m_stopping) {
        DWORD start = GetTickCount();
        CState* tree = m_getState(m_cancel.Get(), m_refresh.Get());
        if (m_stopping)
            break;
        tStatusUpdate update = {tree, this, m_refresh.Get()};
        SendMessageA(m_window, WM_STATUSUPDATE, reinterpret_cast<WPARAM>(&update), 0);

        quickReturns = (GetTickCount() - start < kQuickReturnMs) ? quickReturns + 1 : 0;
        if (quickReturns >= kQuickReturnsBeforePause)
            WaitForSingleObject(m_cancel.Get(), kPauseMs);
    }
    if (m_cleanup)
        m_cleanup();
}

void CPlugin::Destroy()
{
    if (!m_created)
        return;
    m_stopping = true;
    SetEvent(m_cancel.Get());
    TraceVerbose("waiting for finish of module %s\n", m_name.c_str());

    // The worker may be inside SendMessage to our window: answer sent messages while waiting.
    m_worker.StopAnsweringSentMessages();
    ResetEvent(m_cancel.Get());

    // Sent while still stopping: the window tells a plug-in that was stopped from one that
    // reports nothing (no notice of lost devices for the former).
    tStatusUpdate update = {nullptr, this, m_refresh.Get()};
    SendMessageA(m_window, WM_STATUSUPDATE, reinterpret_cast<WPARAM>(&update), 0);
    m_stopping = false;

    raii::CLock lock(m_optionsLock);
    FreeLibrary(m_module);
    m_module = nullptr;
    m_init = nullptr;
    m_cleanup = nullptr;
    m_getState = nullptr;
    m_getOptions = nullptr;
    m_setOptions = nullptr;
    m_created = false;
}

void CPlugin::SignalChange()
{
    if (m_created)
        SetEvent(m_refresh.Get());
}

bool CPlugin::TakesPartInOptions()
{
    raii::CLock lock(m_optionsLock);
    return m_created && m_getOptions && m_setOptions;
}

std::string CPlugin::GetShareableOptions()
{
    raii::CLock lock(m_optionsLock);
    if (!m_created || !m_getOptions)
        return std::string();
    const char* text = m_getOptions();
    return text ? std::string(text) : std::string();
}

void CPlugin::SetShareableOptions(const std::string& options)
{
    raii::CLock lock(m_optionsLock);
    if (!m_created || !m_setOptions)
        return;
    std::string copy = options;
    m_setOptions(copy);
    SetEvent(m_refresh.Get());
}
