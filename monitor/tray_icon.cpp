#include "monitor/tray_icon.h"

#include <shellapi.h>
#include <string.h>

#include "common/strings.h"
#include "common/trace.h"
#include "monitor/res/resource.h"

const char CTrayIcon::kClassName[] = "VelmoraTrayMessageWindow";

CTrayIcon::CTrayIcon(HINSTANCE instance, HWND mainWindow, HICON icon, HMENU menu,
                     const std::string& tip)
    : m_mainWindow(mainWindow), m_icon(icon), m_menu(menu)
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = WndProc;
        wc.hInstance = instance;
        wc.lpszClassName = kClassName;
        registered = RegisterClassA(&wc) != 0;
    }
    m_window = CreateWindowExA(0, kClassName, "", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                               instance, this);
    if (!m_window) {
        TraceHere("cannot create the tray message window\n");
        TraceLastError();
        return;
    }
    NOTIFYICONDATAA data = {};
    data.cbSize = sizeof data;
    data.hWnd = m_window;
    data.uID = 1;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_TRAYNOTIFY;
    data.hIcon = m_icon;
    m_tip = xUtilTruncateText(tip, sizeof data.szTip - 1);
    strncpy(data.szTip, m_tip.c_str(), sizeof data.szTip - 1);
    m_shown = Shell_NotifyIconA(NIM_ADD, &data) != FALSE;
    if (!m_shown)
        TraceHere("Shell_NotifyIcon(NIM_ADD) failed\n");
}

CTrayIcon::~CTrayIcon()
{
    if (m_window) {
        NOTIFYICONDATAA data = {};
        data.cbSize = sizeof data;
        data.hWnd = m_window;
        data.uID = 1;
        Shell_NotifyIconA(NIM_DELETE, &data);
        DestroyWindow(m_window);
    }
    if (m_icon)
        DestroyIcon(m_icon);
}

void CTrayIcon::SetTip(const std::string& tip)
{
    NOTIFYICONDATAA data = {};
    data.cbSize = sizeof data;
    std::string fitted = xUtilTruncateText(tip, sizeof data.szTip - 1);
    if (!m_shown || fitted == m_tip)
        return;
    data.hWnd = m_window;
    data.uID = 1;
    data.uFlags = NIF_TIP;
    strncpy(data.szTip, fitted.c_str(), sizeof data.szTip - 1);
    if (Shell_NotifyIconA(NIM_MODIFY, &data))
        m_tip = fitted;
}

bool CTrayIcon::ShowNotice(const std::string& title, const std::string& text)
{
    if (!m_shown)
        return false;
    NOTIFYICONDATAA data = {};
    data.cbSize = sizeof data;
    data.hWnd = m_window;
    data.uID = 1;
    data.uFlags = NIF_INFO;
    data.dwInfoFlags = NIIF_INFO;
    data.uTimeout = 10000;
    strncpy(data.szInfoTitle, xUtilTruncateText(title, sizeof data.szInfoTitle - 1).c_str(), sizeof data.szInfoTitle - 1);
    strncpy(data.szInfo, xUtilTruncateText(text, sizeof data.szInfo - 1).c_str(), sizeof data.szInfo - 1);
    if (!Shell_NotifyIconA(NIM_MODIFY, &data)) {
        TraceHere("Shell_NotifyIcon(NIM_MODIFY) refused the notice\n");
        return false;
    }
    m_lastNotice = text;
    return true;
}

LRESULT CALLBACK CTrayIcon::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    CTrayIcon* self = reinterpret_cast<CTrayIcon*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self) {
        if (message == WM_TRAYNOTIFY)
            return self->OnNotify(lParam);
        if (message == WM_CONTEXTMENU) {
            self->OnContextMenu();
            return 0;
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CTrayIcon::OnNotify(LPARAM lParam)
{
    switch (LOWORD(lParam)) {
    case WM_LBUTTONDBLCLK:
        SetForegroundWindow(m_window);
        SendMessageA(m_mainWindow, WM_COMMAND, ID_TRAY_SHOW, 0);
        break;
    case WM_RBUTTONUP:
        // Posted again to ourselves: its default handling raises WM_CONTEXTMENU, once the
        // hidden window is in the foreground, so the menu closes when the user clicks away.
        SetForegroundWindow(m_window);
        PostMessageA(m_window, WM_RBUTTONUP, 0, 0);
        break;
    }
    return 0;
}

void CTrayIcon::OnContextMenu()
{
    POINT cursor;
    GetCursorPos(&cursor);
    UINT command = static_cast<UINT>(TrackPopupMenu(m_menu, TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY,
                                                    cursor.x, cursor.y, 0, m_window, nullptr));
    PostMessageA(m_window, WM_NULL, 0, 0);
    if (command)
        PostMessageA(m_mainWindow, WM_COMMAND, command, 0);
}
