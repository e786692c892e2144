// A stand-in for the monitor in the tests of the wizard's monitor control: a window of the
// monitor's class that logs what it is sent (to the file FAKE_MONITOR_LOG) and acknowledges
// plug-in stops when FAKE_MONITOR_ANSWER is 1. WM_CLOSE with 1 ends it.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "monitor/source.win/global/plugin_contract.h"

namespace {

void Log(const std::string& line)
{
    const char* path = getenv("FAKE_MONITOR_LOG");
    if (FILE* file = path ? fopen(path, "ab") : nullptr) {
        fprintf(file, "%s\n", line.c_str());
        fclose(file);
    }
}

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COPYDATA) {
        const COPYDATASTRUCT* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        std::string name(static_cast<const char*>(data->lpData), data->cbData ? data->cbData - 1 : 0);
        Log("copydata " + std::to_string(data->dwData) + " " + name);
        const char* answer = getenv("FAKE_MONITOR_ANSWER");
        return answer && answer[0] == '1' ? TRUE : FALSE;
    }
    if (message == WM_CLOSE && wParam == kCloseEndsMonitor) {
        Log("close");
        DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kMonitorWindowClass;
    RegisterClassA(&windowClass);
    if (!CreateWindowA(kMonitorWindowClass, "monitor", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, instance, nullptr))
        return 1;
    Log("started");
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}
