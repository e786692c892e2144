// The monitor's record of one status plug-in DLL: loads it, binds its exports, runs its
// worker thread (Init, one refresh, then GetState in a loop, each tree handed to the window
// with the synchronous StatusUpdate message), and stops and unloads it again.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "common/raii.h"
#include "common/thread.h"
#include "monitor/source.win/global/plugin_contract.h"

class CPlugin;

// StatusUpdate: sent by a worker thread to the monitor window; wParam points at this record.
// Answered only after the window has merged the tree, so the worker never has more than one
// tree in flight and the plug-in's tree stays frozen while the window reads it.
const UINT WM_STATUSUPDATE = WM_APP + 1;
struct tStatusUpdate {
    CState* tree; // none: remove the plug-in's rows
    CPlugin* plugin;
    HANDLE refresh;
};

// The file a plug-in of the list is loaded from: beside the program, where the suite installs
// its plug-ins, else where the system's search order finds it; empty when there is none.
std::string ResolvePluginFile(const std::string& name);

class CPlugin {
public:
    // window: the monitor window that receives the plug-in's trees.
    CPlugin(const std::string& name, HWND window);
    ~CPlugin();
    CPlugin(const CPlugin&) = delete;
    CPlugin& operator=(const CPlugin&) = delete;

    // Loads the DLL from the file ResolvePluginFile names, after its seal was checked on that
    // very file (see monitor/plugin_seal.h), binds its exports and starts its worker.
    bool Create();
    // Stops the worker and unloads the DLL. Called on the window thread: while it waits, it
    // keeps answering the StatusUpdate the worker may be sending at that moment.
    void Destroy();
    void SignalChange();
    std::string GetShareableOptions();
    void SetShareableOptions(const std::string& options);
    std::string GetName() const { return m_name; }
    // The file the loaded DLL came from; empty while the record is idle.
    std::string ModuleFile() const;

    bool IsCreated() const { return m_created; }
    bool IsStopping() const { return m_stopping; }
    bool TakesPartInOptions();

private:
    void Work();

    std::string m_name;
    HWND m_window;
    raii::CHandle m_cancel;
    raii::CHandle m_refresh;
    HMODULE m_module;
    tPluginInit m_init;
    tPluginCleanup m_cleanup;
    tPluginGetState m_getState;
    tPluginGetShareableOptions m_getOptions;
    tPluginSetShareableOptions m_setOptions;
    CThread m_worker;
    std::atomic<bool> m_created;
    std::atomic<bool> m_stopping;
    // The options thread calls into the DLL while the window thread may unload it.
    raii::CCriticalSection m_optionsLock;
};
