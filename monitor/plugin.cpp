#include "monitor/plugin.h"

#include "common/trace.h"

namespace {

// A plug-in whose GetState keeps returning at once would keep the window thread merging
// without pause; after this many quick returns in a row the worker takes a breath.
const int kQuickReturnsBeforePause = 10;
const DWORD kQuickReturnMs = 5;
const DWORD kPauseMs = 50;

} // namespace

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
    HMODULE module = LoadLibraryA(m_name.c_str());
    if (!module) {
        TraceHere("Dll could not be loaded: %s\n", m_name.c_str());
        return false;
    }
    auto getState = reinterpret_cast<tPluginGetState>(GetProcAddress(module, "GetState"));
    if (!getState) {
        TraceHere("Dll is no plugin dll: %s\n", m_name.c_str());
        FreeLibrary(module);
        return false;
    }

    raii::CLock lock(m_optionsLock);
    m_module = module;
    m_getState = getState;
    m_init = reinterpret_cast<tPluginInit>(GetProcAddress(module, "Init"));
    m_cleanup = reinterpret_cast<tPluginCleanup>(GetProcAddress(module, "Cleanup"));
    m_getOptions = reinterpret_cast<tPluginGetShareableOptions>(
        GetProcAddress(module, "GetShareableOptions"));
    m_setOptions = m_getOptions ? reinterpret_cast<tPluginSetShareableOptions>(
                                      GetProcAddress(module, "SetShareableOptions"))
                                : nullptr;
    if (!m_getOptions || !m_setOptions) {
        m_getOptions = nullptr;
        m_setOptions = nullptr;
    } else {
        TraceVerbose("module participates at shared options\n");
    }

    m_worker.Attach(CreateThread(nullptr, 0, WorkerThread, this, 0, nullptr));
    if (!m_worker) {
        TraceHere("CreateThread failed for %s\n", m_name.c_str());
        TraceLastError();
        FreeLibrary(m_module);
        m_module = nullptr;
        return false;
    }
    m_created = true;
    return true;
}

DWORD WINAPI CPlugin::WorkerThread(void* parameter)
{
    static_cast<CPlugin*>(parameter)->Work();
    return 0;
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
    HANDLE worker = m_worker.Get();
    for (;;) {
        DWORD result = MsgWaitForMultipleObjects(1, &worker, FALSE, INFINITE, QS_SENDMESSAGE);
        if (result != WAIT_OBJECT_0 + 1)
            break;
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    m_worker.Close();
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
