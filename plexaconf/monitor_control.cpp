#include "plexaconf/monitor_control.h"

#include "common/raii.h"
#include "common/trace.h"
#include "common/xutil.h"
#include "monitor/source.win/global/plugin_contract.h"

bool CMonitorControl::SendCopyData(HWND window, ULONG_PTR kind, const std::string& pluginName)
{
    COPYDATASTRUCT data = {};
    data.dwData = kind;
    data.cbData = static_cast<DWORD>(pluginName.size() + 1);
    data.lpData = const_cast<char*>(pluginName.c_str());
    DWORD_PTR answer = 0;
    // A hung monitor must not hang the wizard: it counts as not acknowledging.
    if (!SendMessageTimeoutA(window, WM_COPYDATA, reinterpret_cast<WPARAM>(m_sender), reinterpret_cast<LPARAM>(&data),
                             SMTO_ABORTIFHUNG | SMTO_BLOCK, kMonitorAnswerMs, &answer))
        return false;
    return answer != 0;
}

void CMonitorControl::StopPlugin(const char* pluginName)
{
    if (m_closed)
        return;
    HWND window = FindWindowA(kMonitorWindowClass, nullptr);
    if (!window)
        return;
    m_window = window;
    if (SendCopyData(window, kCopyDataStopPlugin, pluginName)) {
        TraceHere("plugin %s stopped in the monitor\n", pluginName);
        m_stopped.push_back(pluginName);
        return;
    }
    CloseMonitor(window);
}

void CMonitorControl::CloseMonitor(HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    raii::CHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) {
        TraceHere("the monitor (process %lu) cannot be opened\n", processId);
        return;
    }
    char path[MAX_PATH * 2] = "";
    DWORD size = sizeof path;
    if (QueryFullProcessImageNameA(process.Get(), 0, path, &size))
        m_programPath = path;
    TraceHere("the monitor does not stop its plugin: closing %s\n", m_programPath.c_str());
    PostMessageA(window, WM_CLOSE, kCloseEndsMonitor, 0);
    if (WaitForSingleObject(process.Get(), kMonitorEndMs) != WAIT_OBJECT_0)
        TraceHere("the monitor did not end within %lu ms\n", kMonitorEndMs);
    m_closed = true;
}

void CMonitorControl::Restore()
{
    if (m_closed) {
        m_closed = false;
        if (!m_programPath.empty()) {
            TraceHere("starting the monitor again: %s\n", m_programPath.c_str());
            xUtilStartProgram(m_programPath.c_str(), "", nullptr, 0, nullptr);
        }
        return;
    }
    HWND window = FindWindowA(kMonitorWindowClass, nullptr);
    for (const std::string& plugin : m_stopped)
        if (!window || !SendCopyData(window, kCopyDataStartPlugin, plugin))
            TraceHere("plugin %s could not be started again\n", plugin.c_str());
    m_stopped.clear();
}
