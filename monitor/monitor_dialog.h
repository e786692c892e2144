// The monitor's main window: one tree view with every plug-in's status rows, the menu bar,
// the tray icon, row context menus, the options sheet and the about box. Plug-in workers reach
// it only through the synchronous StatusUpdate message.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>

#include "common/parseini.h"
#include "monitor/monitor_interfaces.h"

class CTrayIcon;
class CTreeRows;
struct tTreeRow;

class CMonitorDialog {
public:
    static const char kClassName[];
    static const UINT_PTR kChangeTimer = 1;
    static const UINT kChangeDelayMs = 2000;

    CMonitorDialog(IMonitor* monitor, IPluginControl* plugins, HINSTANCE instance,
                   const utilcpp::CParseini& settings);
    ~CMonitorDialog();
    CMonitorDialog(const CMonitorDialog&) = delete;
    CMonitorDialog& operator=(const CMonitorDialog&) = delete;

    // Restores the placement and the tray icon, or takes the default size, and shows.
    void PrepareAndShow();
    HWND GetHandle() const { return m_window; }
    HWND GetTree() const { return m_tree; }
    bool IsTrayShown() const;
    HMENU GetRowMenu() const { return m_rowMenu; }
    HMENU GetMainMenu() const { return m_mainMenu; }

    static LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCreate();
    void OnSize();
    LRESULT OnStatusUpdate(WPARAM wParam);
    void OnDeviceOrPowerEvent(const char* trace);
    void OnTimer(UINT_PTR id);
    LRESULT OnCopyData(const COPYDATASTRUCT* data);
    void OnContextMenu(HWND from, LPARAM position);
    void OnInitMenuPopup(HMENU popup);
    void OnCommand(UINT id);
    void OnRowAction(UINT position);
    LRESULT OnNotify(const NMHDR* header);
    void OnClose(bool forGood);
    void OnDestroy();
    void OnShowCommand();
    void OnRemoveFromTray();
    void ToggleTopmost();
    void ShowTray(bool show);
    HIMAGELIST BuildImageList();

    IMonitor* m_monitor;
    IPluginControl* m_plugins;
    HWND m_window = nullptr;
    HWND m_tree = nullptr;
    std::unique_ptr<CTreeRows> m_rows;
    HMENU m_mainMenu = nullptr;
    HMENU m_rowMenu = nullptr;
    HMENU m_trayMenu = nullptr;
    HTREEITEM m_rememberedRow = nullptr;
    HIMAGELIST m_images = nullptr;
    HINSTANCE m_instance;
    std::unique_ptr<CTrayIcon> m_tray;
    const utilcpp::CParseini& m_settings;
    HWND m_about = nullptr;
};
