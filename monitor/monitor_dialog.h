// The monitor's main window: one tree view with every plug-in's status rows, the menu bar,
// the tray icon, row context menus, the options sheet and the about box. Plug-in workers reach
// it only through the synchronous StatusUpdate message.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <map>
#include <memory>
#include <string>

#include "common/parseini.h"
#include "monitor/merge.h"
#include "monitor/monitor_interfaces.h"
#include "monitor/tray_texts.h"
#include "monitor/update_pacer.h"

class CAboutBox;
class CTrayIcon;

class CMonitorDialog {
public:
    static const char kClassName[];
    static const UINT_PTR kChangeTimer = 1;
    static const UINT kChangeDelayMs = 2000;
    // Shows the updates that waited for their turn (see CUpdatePacer).
    static const UINT_PTR kPaceTimer = 2;
    static const uint32_t kUpdateIntervalMs = 250;
    // Devices found or lost this soon after a plug-in's first report are its start, not news.
    static const uint32_t kNoticeQuietMs = 15000;

    CMonitorDialog(IMonitor* monitor, IPluginControl* plugins, HINSTANCE instance,
                   const utilcpp::CParseini& settings);
    ~CMonitorDialog();
    CMonitorDialog(const CMonitorDialog&) = delete;
    CMonitorDialog& operator=(const CMonitorDialog&) = delete;

    // Restores the placement and the tray icon, or takes the default size, and shows.
    void PrepareAndShow();
    // For the message loop: the window's keyboard shortcuts (F10, Shift+F10). True when the
    // message was taken and must not be dispatched.
    bool PreTranslateMessage(MSG* msg);

    HWND GetHandle() const { return m_window; }
    HWND GetTree() const { return m_tree; }
    HWND GetEmptyState() const { return m_emptyState; }
    bool IsTrayShown() const;
    CTrayIcon* GetTray() const { return m_tray.get(); }
    HMENU GetRowMenu() const { return m_rowMenu; }
    HMENU GetMainMenu() const { return m_mainMenu; }
    HIMAGELIST GetImages() const { return m_images; }
    // For tests and benchmarks: other pacing of updates and of notices.
    void SetUpdateInterval(uint32_t milliseconds) { m_pacer.SetInterval(milliseconds); }
    void SetNoticeQuietTime(uint32_t milliseconds) { m_noticeQuietMs = milliseconds; }
    // The smallest size the window can be given: its menu bar stays on one line.
    SIZE MinimumSize() const;

    static LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    struct tKeptUpdate {
        tTreeCopy tree;
        HANDLE refresh;
    };
    struct tNoticeState {
        uint32_t since = 0; // tick of the plug-in's first report since it started
    };

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCreate();
    void OnSize();
    void OnGetMinMaxInfo(MINMAXINFO* info) const;
    LRESULT OnStatusUpdate(WPARAM wParam);
    template <class Tree>
    void ShowTree(const Tree& tree, const std::string& plugin, HANDLE refresh, bool stopped);
    void AfterMerge(const std::string& plugin, const std::vector<std::string>& before, bool stopped);
    void ArmPaceTimer(uint32_t now);
    void OnPaceTimer();
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
    void OnOptions();
    void OnAbout();
    void ToggleTopmost();
    void ShowTray(bool show);
    void UpdateEmptyState();
    void LayoutEmptyState();
    std::string TipText() const;
    HIMAGELIST BuildImageList();

    IMonitor* m_monitor;
    IPluginControl* m_plugins;
    HWND m_window = nullptr;
    HWND m_tree = nullptr;
    HWND m_emptyState = nullptr;
    std::unique_ptr<CTreeRows> m_rows;
    HMENU m_mainMenu = nullptr;
    HMENU m_rowMenu = nullptr;
    HMENU m_trayMenu = nullptr;
    HACCEL m_accelerators = nullptr;
    HTREEITEM m_rememberedRow = nullptr;
    HIMAGELIST m_images = nullptr;
    HINSTANCE m_instance;
    std::unique_ptr<CTrayIcon> m_tray;
    const utilcpp::CParseini& m_settings;
    CAboutBox* m_about = nullptr;
    CUpdatePacer m_pacer{kUpdateIntervalMs};
    std::map<std::string, tKeptUpdate> m_kept;
    bool m_paceTimerArmed = false;
    std::map<std::string, tNoticeState> m_noticeStates;
    uint32_t m_noticeQuietMs = kNoticeQuietMs;
    tTipTexts m_tipTexts;
    tNoticeTexts m_noticeTexts;
};
