#include "monitor/monitor_dialog.h"

#include <dbt.h>
#include <windowsx.h>

#include <string.h>

#include "common/strings.h"
#include "common/trace.h"
#include "common/xutil.h"
#include "monitor/about_box.h"
#include "monitor/merge.h"
#include "monitor/monitor.h"
#include "monitor/options_sheet.h"
#include "monitor/plugin.h"
#include "monitor/res/resource.h"
#include "monitor/tray_icon.h"

const char CMonitorDialog::kClassName[] = "VelmoraMonitorClass";

namespace {

const int kImageCount = 21;
// Names longer than this are no plug-in names; WM_COPYDATA is read no further.
const size_t kMaxPluginName = 260;

// Bring a plug-in's row entries (ids 2000 and up, a separator after them) out of a menu.
void RemoveRowEntries(HMENU menu)
{
    for (;;) {
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_FTYPE;
        if (!GetMenuItemInfoA(menu, 0, TRUE, &info) || info.wID < ID_ROW_ACTION_FIRST)
            break;
        DeleteMenu(menu, 0, MF_BYPOSITION);
    }
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE;
    if (GetMenuItemInfoA(menu, 0, TRUE, &info) && (info.fType & MFT_SEPARATOR))
        DeleteMenu(menu, 0, MF_BYPOSITION);
}

} // namespace

CMonitorDialog::CMonitorDialog(IMonitor* monitor, IPluginControl* plugins, HINSTANCE instance,
                               const utilcpp::CParseini& settings)
    : m_monitor(monitor), m_plugins(plugins), m_instance(instance), m_settings(settings)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWndProc;
    wc.cbWndExtra = 20;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_WATCHPOST));
    wc.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_WATCHPOST),
                                               IMAGE_ICON, 16, 16, 0));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kClassName;
    RegisterClassExA(&wc);

    m_rowMenu = CreatePopupMenu();
    m_trayMenu = LoadMenuA(instance, MAKEINTRESOURCEA(IDM_TRAY));
    if (m_trayMenu)
        SetMenuDefaultItem(GetSubMenu(m_trayMenu, 0), ID_TRAY_SHOW, FALSE);
    m_mainMenu = LoadMenuA(instance, MAKEINTRESOURCEA(IDM_MAIN));

    std::string title = xUtilLoadString(instance, IDS_TITLE);
    m_window = CreateWindowExA(0, kClassName, title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 0, 0,
                               nullptr, m_mainMenu, instance, this);
    if (!m_window) {
        TraceHere("cannot create the main window\n");
        TraceLastError();
    }
}

CMonitorDialog::~CMonitorDialog()
{
    m_tray.reset();
    if (m_window && IsWindow(m_window))
        DestroyWindow(m_window);
    if (m_rowMenu)
        DestroyMenu(m_rowMenu);
    if (m_trayMenu)
        DestroyMenu(m_trayMenu);
}

LRESULT CALLBACK CMonitorDialog::MainWndProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        auto self = static_cast<CMonitorDialog*>(create->lpCreateParams);
        self->m_window = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto self = reinterpret_cast<CMonitorDialog*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcA(window, message, wParam, lParam);
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT CMonitorDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate();
        return 0;
    case WM_SIZE:
        OnSize();
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && m_tree)
            SetFocus(m_tree);
        return 0;
    case WM_STATUSUPDATE:
        return OnStatusUpdate(wParam);
    case WM_DEVICECHANGE:
        if (wParam == DBT_DEVNODES_CHANGED) {
            OnDeviceOrPowerEvent("WM_DEVICECHANGE -> DBT_DEVNODES_CHANGED\n");
            return TRUE;
        }
        break;
    case WM_POWERBROADCAST:
        if (wParam == PBT_APMRESUMESUSPEND || wParam == PBT_APMRESUMECRITICAL) {
            OnDeviceOrPowerEvent("WM_POWERBROADCAST -> PBT_APMRESUME*\n");
            return TRUE;
        }
        break;
    case WM_TIMER:
        OnTimer(wParam);
        return 0;
    case WM_COPYDATA:
        return OnCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_CONTEXTMENU:
        OnContextMenu(reinterpret_cast<HWND>(wParam), lParam);
        return 0;
    case WM_INITMENUPOPUP:
        OnInitMenuPopup(reinterpret_cast<HMENU>(wParam));
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return 0;
    case WM_NOTIFY:
        return OnNotify(reinterpret_cast<const NMHDR*>(lParam));
    case WM_CLOSE:
        OnClose(wParam != 0);
        return 0;
    case WM_ENDSESSION:
        if (wParam) {
            xUtilRegisterRunOnce(m_window, nullptr);
            SendMessageA(m_window, WM_CLOSE, 1, 0);
        }
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    }
    return DefWindowProcA(m_window, message, wParam, lParam);
}

void CMonitorDialog::OnCreate()
{
    m_tree = CreateWindowExA(WS_EX_CLIENTEDGE, WC_TREEVIEWA, "",
                             WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES |
                                 TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                             0, 0, 0, 0, m_window, reinterpret_cast<HMENU>(IDC_TREE), m_instance,
                             nullptr);
    if (m_tree)
        m_rows.reset(new CTreeRows(m_tree));
    m_images = BuildImageList();
    if (m_tree && m_images)
        TreeView_SetImageList(m_tree, m_images, TVSIL_NORMAL);
}

HIMAGELIST CMonitorDialog::BuildImageList()
{
    HDC screen = GetDC(nullptr);
    int bits = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
    ReleaseDC(nullptr, screen);

    if (bits > 8 && xUtilIsNT51OrLater()) {
        HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR32, kImageCount, 0);
        HBITMAP strip = static_cast<HBITMAP>(LoadImageA(m_instance, MAKEINTRESOURCEA(IDB_STATUS32),
                                                        IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        if (list && strip)
            ImageList_Add(list, strip, nullptr);
        if (strip)
            DeleteObject(strip);
        return list;
    }
    if (bits <= 8)
        return ImageList_LoadImageA(m_instance, MAKEINTRESOURCEA(IDB_STATUS4), 16, 0,
                                    RGB(255, 0, 255), IMAGE_BITMAP, 0);
    return ImageList_LoadImageA(m_instance, MAKEINTRESOURCEA(IDB_STATUS8), 16, 0,
                                RGB(255, 0, 255), IMAGE_BITMAP, LR_CREATEDIBSECTION);
}

void CMonitorDialog::OnSize()
{
    RECT client;
    GetClientRect(m_window, &client);
    if (m_tree)
        MoveWindow(m_tree, 0, 0, client.right, client.bottom, TRUE);
}

LRESULT CMonitorDialog::OnStatusUpdate(WPARAM wParam)
{
    auto update = reinterpret_cast<const tStatusUpdate*>(wParam);
    if (!update || !update->plugin || !m_rows)
        return 0;
    // A tree from a worker that is being stopped is not shown any more.
    if (update->tree && update->plugin->IsStopping())
        return 0;
    m_rows->Merge(update->tree, update->plugin->GetName(), update->refresh);
    return 0;
}

void CMonitorDialog::OnDeviceOrPowerEvent(const char* trace)
{
    Trace("%s", trace);
    // A burst of events signals the plug-ins once, after the last one.
    SetTimer(m_window, kChangeTimer, kChangeDelayMs, nullptr);
}

void CMonitorDialog::OnTimer(UINT_PTR id)
{
    if (id != kChangeTimer)
        return;
    KillTimer(m_window, kChangeTimer);
    Trace("signal change to plugins\n");
    if (m_monitor)
        m_monitor->SignalChange();
}

LRESULT CMonitorDialog::OnCopyData(const COPYDATASTRUCT* data)
{
    if (!data || (data->dwData != 1 && data->dwData != 2))
        return FALSE;
    // The data comes from another program: take a name only when it ends inside the data.
    std::string name;
    if (data->lpData && data->cbData > 0) {
        size_t limit = data->cbData < kMaxPluginName + 1 ? data->cbData : kMaxPluginName + 1;
        const char* text = static_cast<const char*>(data->lpData);
        const void* end = memchr(text, '\0', limit);
        if (end)
            name.assign(text, static_cast<const char*>(end) - text);
    }
    if (m_plugins && !name.empty()) {
        if (data->dwData == 1)
            m_plugins->DisablePlugin(name);
        else
            m_plugins->EnablePlugin(name);
    }
    return TRUE;
}

void CMonitorDialog::OnContextMenu(HWND from, LPARAM position)
{
    if (from != m_tree)
        return;
    POINT point = {GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    if (position == -1) {
        point = {0, 0};
        if (HTREEITEM selected = TreeView_GetSelection(m_tree)) {
            RECT rect;
            if (TreeView_GetItemRect(m_tree, selected, &rect, TRUE)) {
                point.x = (rect.left + rect.right) / 2;
                point.y = (rect.top + rect.bottom) / 2;
            }
        }
        ClientToScreen(m_tree, &point);
    } else {
        TVHITTESTINFO hit = {};
        hit.pt = point;
        ScreenToClient(m_tree, &hit.pt);
        if (HTREEITEM item = TreeView_HitTest(m_tree, &hit))
            TreeView_SelectItem(m_tree, item);
    }
    TrackPopupMenu(m_rowMenu, TPM_RIGHTBUTTON, point.x, point.y, 0, m_window, nullptr);
}

void CMonitorDialog::OnInitMenuPopup(HMENU popup)
{
    CheckMenuItem(m_mainMenu, ID_VIEW_TOPMOST,
                  (GetWindowLongA(m_window, GWL_EXSTYLE) & WS_EX_TOPMOST) ? MF_CHECKED : MF_UNCHECKED);
    CheckMenuItem(m_mainMenu, ID_VIEW_TRAY, IsTrayShown() ? MF_CHECKED : MF_UNCHECKED);

    HMENU deviceMenu = GetSubMenu(m_mainMenu, 0);
    if (popup != deviceMenu && popup != m_rowMenu)
        return;
    RemoveRowEntries(popup);
    m_rememberedRow = m_tree ? TreeView_GetSelection(m_tree) : nullptr;
    const tTreeRow* row = m_rememberedRow ? GetTreeRow(m_tree, m_rememberedRow) : nullptr;
    if (!row)
        return;
    UINT position = 0;
    for (const tItemAction& action : row->actions) {
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING;
        info.wID = ID_ROW_ACTION_FIRST + position;
        if (action.text.empty()) {
            info.fType = MFT_SEPARATOR;
            info.fMask &= ~MIIM_STRING;
        } else {
            info.fType = MFT_STRING;
            info.dwTypeData = const_cast<char*>(action.text.c_str());
        }
        InsertMenuItemA(popup, position, TRUE, &info);
        ++position;
    }
    if (popup == deviceMenu && position > 0) {
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE;
        info.fType = MFT_SEPARATOR;
        InsertMenuItemA(popup, position, TRUE, &info);
    }
}

void CMonitorDialog::OnCommand(UINT id)
{
    if (id >= ID_ROW_ACTION_FIRST) {
        OnRowAction(id - ID_ROW_ACTION_FIRST);
        return;
    }
    switch (id) {
    case ID_DEVICE_CLOSE:
        SendMessageA(m_window, WM_CLOSE, 0, 0);
        break;
    case ID_TRAY_SHOW:
        OnShowCommand();
        break;
    case ID_VIEW_TOPMOST:
        ToggleTopmost();
        break;
    case ID_VIEW_TRAY:
        ShowTray(!IsTrayShown());
        break;
    case ID_VIEW_OPTIONS:
        ShowOptionsSheet(m_window, m_instance, m_settings, m_monitor);
        break;
    case ID_TRAY_REMOVE:
        OnRemoveFromTray();
        break;
    case ID_HELP_ABOUT:
        if (m_about && IsWindow(m_about))
            SetForegroundWindow(m_about);
        else
            ShowAboutBox(m_window, m_instance, &m_about);
        break;
    }
}

void CMonitorDialog::OnRowAction(UINT position)
{
    const tTreeRow* row = m_rememberedRow ? GetTreeRow(m_tree, m_rememberedRow) : nullptr;
    if (!row || position >= row->actions.size() || !row->actions[position].proc)
        return;
    // The callback may show modal windows while trees keep arriving: take what it needs now.
    ItemActionProc proc = row->actions[position].proc;
    int32_t id = row->id;
    bool optionsChanged = false;
    proc(m_window, id, &optionsChanged);
    if (optionsChanged && m_monitor)
        m_monitor->KickstartBroadcast();
}

LRESULT CMonitorDialog::OnNotify(const NMHDR* header)
{
    if (header && header->hwndFrom == m_tree && header->code == TVN_DELETEITEMA) {
        auto info = reinterpret_cast<const NMTREEVIEWA*>(header);
        if (info->itemOld.hItem == m_rememberedRow)
            m_rememberedRow = nullptr;
    }
    return 0;
}

void CMonitorDialog::OnClose(bool forGood)
{
    if (!forGood && IsTrayShown()) {
        ShowWindow(m_window, SW_HIDE);
        return;
    }
    if (IsInstallationRegistered()) {
        xUtilSaveWindowPlacement(m_window, m_settings.GetFileName().c_str(), kDialogSettings,
                                 nullptr, XUTIL_PLACEMENT_MINIMIZED | XUTIL_PLACEMENT_MAXIMIZED |
                                              XUTIL_PLACEMENT_HIDDEN | XUTIL_PLACEMENT_TOPMOST);
        m_settings.WriteInt(kDialogSettings, "ShowTrayStatus", IsTrayShown() ? 1 : 0);
    }
    m_tray.reset();
    DestroyWindow(m_window);
}

void CMonitorDialog::OnDestroy()
{
    if (m_rows)
        m_rows->Clear();
    if (m_images) {
        if (m_tree)
            TreeView_SetImageList(m_tree, nullptr, TVSIL_NORMAL);
        ImageList_Destroy(m_images);
        m_images = nullptr;
    }
    m_tray.reset();
    PostQuitMessage(0);
}

void CMonitorDialog::OnShowCommand()
{
    if (IsIconic(m_window)) {
        ShowWindow(m_window, SW_RESTORE);
    } else if (!IsWindowVisible(m_window)) {
        ShowWindow(m_window, SW_SHOW);
    }
    SetForegroundWindow(m_window);
}

void CMonitorDialog::OnRemoveFromTray()
{
    if (IsWindowVisible(m_window))
        ShowTray(false);
    else
        PostMessageA(m_window, WM_CLOSE, 1, 0);
}

void CMonitorDialog::ToggleTopmost()
{
    bool topmost = (GetWindowLongA(m_window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    SetWindowPos(m_window, topmost ? HWND_NOTOPMOST : HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
}

bool CMonitorDialog::IsTrayShown() const
{
    return m_tray && m_tray->IsShown();
}

void CMonitorDialog::ShowTray(bool show)
{
    if (!show) {
        m_tray.reset();
        return;
    }
    if (m_tray)
        return;
    HICON icon = m_images ? ImageList_GetIcon(m_images, 0, ILD_NORMAL) : nullptr;
    m_tray.reset(new CTrayIcon(m_instance, m_window, icon, GetSubMenu(m_trayMenu, 0),
                               xUtilLoadString(m_instance, IDS_TITLE)));
}

void CMonitorDialog::PrepareAndShow()
{
    MigrateSettings(m_settings);
    int tray = 0;
    m_settings.GetInt(kDialogSettings, "ShowTrayStatus", tray, 0);
    if (tray)
        ShowTray(true);

    const DWORD all = XUTIL_PLACEMENT_MINIMIZED | XUTIL_PLACEMENT_MAXIMIZED |
                      XUTIL_PLACEMENT_HIDDEN | XUTIL_PLACEMENT_TOPMOST | XUTIL_PLACEMENT_SHOW;
    if (xUtilRestoreWindowPlacement(m_window, m_settings.GetFileName().c_str(), kDialogSettings,
                                    nullptr, all))
        return;
    LONG units = GetDialogBaseUnits();
    int width = 40 * LOWORD(units);
    int height = 30 * HIWORD(units);
    SetWindowPos(m_window, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    xUtilCenterWindow(m_window, nullptr);
    ShowWindow(m_window, SW_SHOWDEFAULT);
}
