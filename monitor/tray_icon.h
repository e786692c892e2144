// The monitor's icon in the notification area, with a hidden window of its own that receives
// the icon's notifications and tracks the tray menu.
#pragma once

#include <windows.h>

#include <string>

class CTrayIcon {
public:
    // menu: the drop-down to track; chosen commands are posted to mainWindow as WM_COMMAND.
    CTrayIcon(HINSTANCE instance, HWND mainWindow, HICON icon, HMENU menu, const std::string& tip);
    ~CTrayIcon();
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    bool IsShown() const { return m_shown; }
    HWND GetMessageWindow() const { return m_window; }

    // Replaces the tool tip (cut to what the notification area holds).
    void SetTip(const std::string& tip);
    const std::string& Tip() const { return m_tip; }
    // A balloon beside the icon; false when the notification area refused it.
    bool ShowNotice(const std::string& title, const std::string& text);
    const std::string& LastNotice() const { return m_lastNotice; }

    static const UINT WM_TRAYNOTIFY = WM_USER + 1;
    static const char kClassName[];

private:
    static LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnNotify(LPARAM lParam);
    void OnContextMenu();

    HWND m_mainWindow;
    HWND m_window = nullptr;
    HICON m_icon;
    HMENU m_menu;
    bool m_shown = false;
    std::string m_tip;
    std::string m_lastNotice;
};
