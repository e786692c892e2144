// Keeps the monitor's powerline plug-in away from the adapters while the wizard runs: the
// plug-in is stopped in the running monitor by WM_COPYDATA and started again at the end. A
// monitor that does not acknowledge the stop is closed instead and started again afterwards
// from the program file it ran from.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CMonitorControl {
public:
    // `sender` goes along with WM_COPYDATA as the window that sends it.
    explicit CMonitorControl(HWND sender = nullptr) : m_sender(sender) {}
    CMonitorControl(const CMonitorControl&) = delete;
    CMonitorControl& operator=(const CMonitorControl&) = delete;

    // Nothing when no monitor runs.
    void StopPlugin(const char* pluginName);
    // Starts again what StopPlugin stopped, or the monitor it closed. Once.
    void Restore();

    bool ClosedMonitor() const { return m_closed; }
    const std::string& MonitorPath() const { return m_programPath; }

private:
    bool SendCopyData(HWND window, ULONG_PTR kind, const std::string& pluginName);
    void CloseMonitor(HWND window);

    HWND m_sender;
    HWND m_window = nullptr;
    bool m_closed = false;
    std::string m_programPath;
    std::vector<std::string> m_stopped;
};

// How long the monitor may take to answer a message, and to end when closed.
const DWORD kMonitorAnswerMs = 5000;
const DWORD kMonitorEndMs = 10000;
