// Helpers for the monitor's tests: a window that receives StatusUpdate, message pumping, and
// the test plug-in's call log.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "monitor/plugin.h"

namespace monitortest {

// Pumps messages until the condition holds or the time is up; returns the condition. A
// message that `take` takes (a window's keyboard shortcut) is not dispatched.
inline bool PumpUntil(const std::function<bool()>& condition, DWORD milliseconds = 5000,
                      const std::function<bool(MSG*)>& take = nullptr)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (take && take(&msg))
                continue;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (condition())
            return true;
        if (GetTickCount() - start > milliseconds)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

// The text a tree view shows for a row, asked for as a painting would.
inline std::string TreeItemText(HWND tree, HTREEITEM item)
{
    char buffer[512] = "";
    TVITEMA tvi = {};
    tvi.mask = TVIF_HANDLE | TVIF_TEXT;
    tvi.hItem = item;
    tvi.pszText = buffer;
    tvi.cchTextMax = sizeof buffer;
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tvi));
    return buffer;
}

// Receives StatusUpdate like the monitor window, and counts what arrives.
class CReceiver {
public:
    CReceiver()
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "VelmoraTestReceiver";
        RegisterClassA(&wc);
        m_window = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                   wc.hInstance, this);
    }
    ~CReceiver() { DestroyWindow(m_window); }
    HWND Get() const { return m_window; }

    int trees = 0;
    int nones = 0;
    int lastCount = -1;
    DWORD delayMs = 0; // how long each update is held, to widen races
    std::vector<DWORD> senders;

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE)
            SetWindowLongPtrA(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
        auto self = reinterpret_cast<CReceiver*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self && message == WM_STATUSUPDATE) {
            auto update = reinterpret_cast<const tStatusUpdate*>(wParam);
            if (update->tree) {
                ++self->trees;
                self->lastCount = update->tree->GetCount();
            } else {
                ++self->nones;
            }
            if (self->delayMs)
                Sleep(self->delayMs);
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }
    HWND m_window;
};

// The test plug-in's call log: lines "<module> <event> <thread> [detail]".
struct tLogLine {
    std::string module, event;
    unsigned long thread = 0;
    std::string detail;
};

std::vector<tLogLine> ReadPluginLog(const std::string& path);
int CountEvents(const std::vector<tLogLine>& lines, const std::string& event);

} // namespace monitortest
