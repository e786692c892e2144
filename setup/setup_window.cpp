#include "setup/setup_window.h"

#include "common/trace.h"
#include "setup/res/resource.h"
#include "setup/setup_run.h"

namespace setup {

const char CSetupWindow::kClassName[] = "SETUP";

bool CSetupWindow::Make()
{
    HICON icon = LoadIconA(m_context.instance, MAKEINTRESOURCEA(IDI_SETUP));
    RegisterClass(m_context.instance, kClassName, icon, icon);
    return Create(m_context.instance, kClassName, "", WS_OVERLAPPEDWINDOW, 0, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0,
                  nullptr) != nullptr;
}

bool CSetupWindow::ActivateRunning()
{
    HWND running = FindWindowA(kClassName, nullptr);
    if (!running)
        return false;
    // The window itself stays hidden; what the user sees is its wizard.
    HWND shown = GetLastActivePopup(running);
    if (!shown || !IsWindowVisible(shown))
        shown = running;
    if (IsIconic(shown))
        ShowWindow(shown, SW_RESTORE);
    SetForegroundWindow(shown);
    return true;
}

bool CSetupWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_CREATE:
        ShowWindow(m_hwnd, SW_HIDE);
        PostMessageA(m_hwnd, WM_SETUP_RUN, 0, 0);
        result = 0;
        return true;
    case WM_SETUP_RUN: {
        m_context.window = m_hwnd;
        CSetupRun run(m_context);
        m_exitCode = run.Run();
        Trace("[setup] exit code %d\n", m_exitCode);
        PostMessageA(m_hwnd, WM_CLOSE, 0, 0);
        result = 0;
        return true;
    }
    case WM_QUERYENDSESSION:
        // Ending the session in the middle of the work would leave half an installation.
        if (m_context.workInProgress) {
            InterlockedExchange(&m_context.rebootNeeded, 1);
            result = FALSE;
        } else {
            result = TRUE;
        }
        return true;
    case WM_DESTROY:
        PostQuitMessage(m_exitCode);
        result = 0;
        return true;
    default:
        (void)wParam;
        (void)lParam;
        return false;
    }
}

} // namespace setup
