#include "monitor/monitor_dialog.h"

#include <dbt.h>
#include <windowsx.h>

#include <string.h>

#include <algorithm>
#include <exception>

#include "common/strings.h"
#include "common/trace.h"
#include "common/ui/dpi.h"
#include "common/xutil.h"
#include "monitor/about_box.h"
#include "monitor/monitor.h"
#include "monitor/options_sheet.h"
#include "monitor/plugin.h"
#include "monitor/res/resource.h"
#include "monitor/tray_icon.h"

const char CMonitorDialog::kClassName[] = "VelmoraMonitorClass";

namespace {

const int kImageCount = 21;
const int kImageSize = 16;
// Names longer than this are no plug-in names; WM_COPYDATA is read no further.
const size_t kMaxPluginName = 260;
// Room around the empty-state text, at 96 dots per inch.
const int kEmptyStateMargin = 16;

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

// The strip of status images the display calls for: 32 bits with alpha on NT 5.1 and later
// with more than 256 colours, 4 bits on 256 colours or fewer, else 8 bits; magenta is clear.
struct tStripChoice {
    UINT resource;
    COLORREF mask;
    UINT loadFlags;
};

tStripChoice ChooseStrip()
{
    HDC screen = GetDC(nullptr);
    int bits = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
    ReleaseDC(nullptr, screen);
    if (bits > 8 && xUtilIsNT51OrLater())
        return {IDB_STATUS32, CLR_NONE, LR_CREATEDIBSECTION};
    if (bits <= 8)
        return {IDB_STATUS4, RGB(255, 0, 255), 0};
    return {IDB_STATUS8, RGB(255, 0, 255), LR_CREATEDIBSECTION};
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
    wc.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_WATCHPOST), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kClassName;
    RegisterClassExA(&wc);

    m_tipTexts = {xUtilLoadString(instance, IDS_TITLE), xUtilLoadString(instance, IDS_TIP_NONE),
                  xUtilLoadString(instance, IDS_TIP_ONE), xUtilLoadString(instance, IDS_TIP_MANY)};
    m_noticeTexts = {xUtilLoadString(instance, IDS_NOTICE_FOUND), xUtilLoadString(instance, IDS_NOTICE_GONE),
                     xUtilLoadString(instance, IDS_NOTICE_MORE)};

    m_rowMenu = CreatePopupMenu();
    m_trayMenu = LoadMenuA(instance, MAKEINTRESOURCEA(IDM_TRAY));
    if (m_trayMenu)
        SetMenuDefaultItem(GetSubMenu(m_trayMenu, 0), ID_TRAY_SHOW, FALSE);
    m_mainMenu = LoadMenuA(instance, MAKEINTRESOURCEA(IDM_MAIN));
    m_accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDA_MAIN));

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
    if (m_accelerators)
        DestroyAcceleratorTable(m_accelerators);
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
    // No exception leaves the window procedure: the message counts as answered with 0.
    try {
        return self->HandleMessage(message, wParam, lParam);
    } catch (const std::exception& error) {
        TraceHere("message %#x ended by an exception: %s\n", message, error.what());
    } catch (...) {
        TraceHere("message %#x ended by an exception\n", message);
    }
    return 0;
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
    case WM_GETMINMAXINFO:
        OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && m_tree)
            SetFocus(m_tree);
        return 0;
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) == m_emptyState && m_emptyState) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
            SetBkColor(dc, GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        }
        break;
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
    // Clipped by its siblings: the empty-state text lies on top of it.
    m_tree = CreateWindowExA(WS_EX_CLIENTEDGE, WC_TREEVIEWA, "",
                             WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | TVS_HASBUTTONS |
                                 TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                             0, 0, 0, 0, m_window, reinterpret_cast<HMENU>(IDC_TREE), m_instance,
                             nullptr);
    if (m_tree)
        m_rows.reset(new CTreeRows(m_tree));
    m_images = BuildImageList();
    if (m_tree && m_images)
        TreeView_SetImageList(m_tree, m_images, TVSIL_NORMAL);

    m_emptyState = CreateWindowExA(0, "STATIC", xUtilLoadString(m_instance, IDS_EMPTY_STATE).c_str(),
                                   WS_CHILD | SS_CENTER | SS_NOPREFIX, 0, 0, 0, 0, m_window,
                                   reinterpret_cast<HMENU>(IDC_EMPTY_STATE), m_instance, nullptr);
    if (m_emptyState) {
        if (m_tree)
            SendMessageA(m_emptyState, WM_SETFONT, SendMessageA(m_tree, WM_GETFONT, 0, 0), FALSE);
        SetWindowPos(m_emptyState, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    UpdateEmptyState();
}

HIMAGELIST CMonitorDialog::BuildImageList()
{
    tStripChoice choice = ChooseStrip();
    int dpi = ui::DpiOf(m_window);
    if (dpi != 96) {
        // Pictures drawn for 96 dots per inch, scaled to the display (the manifest tells the
        // system not to stretch the window, so nobody else does).
        HBITMAP strip = static_cast<HBITMAP>(LoadImageA(m_instance, MAKEINTRESOURCEA(choice.resource), IMAGE_BITMAP,
                                                        0, 0, choice.loadFlags));
        HIMAGELIST scaled = strip ? ui::CreateScaledImageList(strip, kImageSize, kImageCount, dpi, choice.mask) : nullptr;
        if (strip)
            DeleteObject(strip);
        if (scaled)
            return scaled;
    }
    if (choice.resource == IDB_STATUS32) {
        HIMAGELIST list = ImageList_Create(kImageSize, kImageSize, ILC_COLOR32, kImageCount, 0);
        HBITMAP strip = static_cast<HBITMAP>(LoadImageA(m_instance, MAKEINTRESOURCEA(IDB_STATUS32),
                                                        IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        if (list && strip)
            ImageList_Add(list, strip, nullptr);
        if (strip)
            DeleteObject(strip);
        return list;
    }
    return ImageList_LoadImageA(m_instance, MAKEINTRESOURCEA(choice.resource), kImageSize, 0, choice.mask,
                                IMAGE_BITMAP, choice.loadFlags);
}

void CMonitorDialog::OnSize()
{
    RECT client;
    GetClientRect(m_window, &client);
    if (m_tree)
        MoveWindow(m_tree, 0, 0, client.right, client.bottom, TRUE);
    LayoutEmptyState();
}

SIZE CMonitorDialog::MinimumSize() const
{
    // The menu bar on one line: its items' texts in the menu font, each with the room the
    // system leaves around it.
    NONCLIENTMETRICSA metrics = {};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    HFONT font = CreateFontIndirectA(&metrics.lfMenuFont);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICA text = {};
    GetTextMetricsA(dc, &text);
    int menuWidth = 0;
    for (int i = 0; m_mainMenu && i < GetMenuItemCount(m_mainMenu); ++i) {
        char label[128] = "";
        GetMenuStringA(m_mainMenu, static_cast<UINT>(i), label, sizeof label, MF_BYPOSITION);
        RECT rect = {0, 0, 0, 0};
        DrawTextA(dc, label, -1, &rect, DT_CALCRECT | DT_SINGLELINE);
        menuWidth += rect.right + 2 * text.tmAveCharWidth + 2 * GetSystemMetrics(SM_CXEDGE);
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    if (font)
        DeleteObject(font);

    // And a few rows of the tree below it.
    int rowHeight = m_tree ? TreeView_GetItemHeight(m_tree) : 0;
    if (rowHeight <= 0)
        rowHeight = ui::ScaleToDpi(18, ui::DpiOf(m_window));
    RECT frame = {0, 0, menuWidth + text.tmAveCharWidth, 3 * rowHeight};
    AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, TRUE, WS_EX_CLIENTEDGE);
    return SIZE{frame.right - frame.left, frame.bottom - frame.top};
}

void CMonitorDialog::OnGetMinMaxInfo(MINMAXINFO* info) const
{
    if (!info)
        return;
    SIZE minimum = MinimumSize();
    info->ptMinTrackSize.x = minimum.cx > info->ptMinTrackSize.x ? minimum.cx : info->ptMinTrackSize.x;
    info->ptMinTrackSize.y = minimum.cy > info->ptMinTrackSize.y ? minimum.cy : info->ptMinTrackSize.y;
}

void CMonitorDialog::UpdateEmptyState()
{
    if (!m_emptyState)
        return;
    bool empty = !m_rows || m_rows->Roots().empty();
    // The style, not IsWindowVisible: the text is shown or not also while the window is hidden.
    bool shown = (GetWindowLongA(m_emptyState, GWL_STYLE) & WS_VISIBLE) != 0;
    if (empty == shown)
        return;
    if (empty)
        LayoutEmptyState();
    ShowWindow(m_emptyState, empty ? SW_SHOWNA : SW_HIDE);
}

void CMonitorDialog::LayoutEmptyState()
{
    if (!m_emptyState)
        return;
    RECT client;
    GetClientRect(m_window, &client);
    int margin = ui::ScaleToDpi(kEmptyStateMargin, ui::DpiOf(m_window));
    int width = client.right - 2 * margin;
    if (width <= 0)
        return;
    int length = GetWindowTextLengthA(m_emptyState);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    GetWindowTextA(m_emptyState, &text[0], length + 1);
    HDC dc = GetDC(m_emptyState);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(m_emptyState, WM_GETFONT, 0, 0)));
    RECT measured = {0, 0, width, 0};
    DrawTextA(dc, text.c_str(), length, &measured, DT_CALCRECT | DT_WORDBREAK | DT_CENTER | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(m_emptyState, dc);
    // In the upper third: it reads as a note, not as a dialog.
    int top = (client.bottom - measured.bottom) / 3;
    MoveWindow(m_emptyState, margin, top > margin ? top : margin, width, measured.bottom, TRUE);
}

LRESULT CMonitorDialog::OnStatusUpdate(WPARAM wParam)
{
    auto update = reinterpret_cast<const tStatusUpdate*>(wParam);
    if (!update || !update->plugin || !m_rows)
        return 0;
    // A tree from a worker that is being stopped is not shown any more.
    if (update->tree && update->plugin->IsStopping())
        return 0;
    const std::string plugin = update->plugin->GetName();
    const uint32_t now = GetTickCount();
    if (!update->tree) {
        // Rows go at once, and no kept update may bring them back: its menu entries would
        // point into a plug-in that is about to be unloaded.
        m_kept.erase(plugin);
        m_pacer.Shown(plugin, now);
        ShowTree(static_cast<const CState*>(nullptr), plugin, update->refresh, update->plugin->IsStopping());
        return 0;
    }
    if (m_pacer.Arrived(plugin, now)) {
        m_kept.erase(plugin);
        ShowTree(static_cast<const CState*>(update->tree), plugin, update->refresh, false);
        return 0;
    }
    // Too soon after the last one: keep a copy (the plug-in changes its tree as soon as this
    // message is answered) and show the latest copy when the plug-in's turn comes.
    m_kept[plugin] = tKeptUpdate{CopyTree(*update->tree), update->refresh};
    ArmPaceTimer(now);
    return 0;
}

template <class Tree>
void CMonitorDialog::ShowTree(const Tree& tree, const std::string& plugin, HANDLE refresh, bool stopped)
{
    std::vector<std::string> before = m_rows->RootNames(plugin);
    m_rows->Merge(tree, plugin, refresh);
    AfterMerge(plugin, before, stopped);
}

void CMonitorDialog::AfterMerge(const std::string& plugin, const std::vector<std::string>& before, bool stopped)
{
    UpdateEmptyState();
    if (m_tray)
        m_tray->SetTip(TipText());

    // Notices: not for a plug-in that was stopped (its next start begins anew), nor while a
    // plug-in that just started is still finding what is there.
    if (stopped) {
        m_noticeStates.erase(plugin);
        return;
    }
    const uint32_t now = GetTickCount();
    auto state = m_noticeStates.find(plugin);
    if (state == m_noticeStates.end()) {
        m_noticeStates[plugin].since = now;
        return;
    }
    if (now - state->second.since < m_noticeQuietMs || !IsTrayShown())
        return;
    std::vector<std::string> appeared, gone;
    DiffNames(before, m_rows->RootNames(plugin), appeared, gone);
    std::string text = NoticeText(m_noticeTexts, appeared, gone);
    // The switch is read only when there is news, which is seldom.
    if (!text.empty() && DeviceNoticesEnabled(m_settings))
        m_tray->ShowNotice(m_tipTexts.title, text);
}

void CMonitorDialog::ArmPaceTimer(uint32_t now)
{
    // Set once, not again with every kept update: setting a timer anew starts it anew, and
    // under a flood it would never fire.
    int64_t due = m_pacer.NextDueIn(now);
    if (due < 0 || m_paceTimerArmed)
        return;
    m_paceTimerArmed = SetTimer(m_window, kPaceTimer, static_cast<UINT>(due > USER_TIMER_MINIMUM ? due : USER_TIMER_MINIMUM),
                                nullptr) != 0;
}

void CMonitorDialog::OnPaceTimer()
{
    KillTimer(m_window, kPaceTimer);
    m_paceTimerArmed = false;
    const uint32_t now = GetTickCount();
    for (const std::string& plugin : m_pacer.Due(now)) {
        auto kept = m_kept.find(plugin);
        if (kept == m_kept.end())
            continue;
        tKeptUpdate update = std::move(kept->second);
        m_kept.erase(kept);
        ShowTree(update.tree, plugin, update.refresh, false);
    }
    ArmPaceTimer(now);
}

std::string CMonitorDialog::TipText() const
{
    return TrayTip(m_tipTexts, m_rows ? m_rows->Roots().size() : 0);
}

void CMonitorDialog::OnDeviceOrPowerEvent(const char* trace)
{
    Trace("%s", trace);
    // A burst of events signals the plug-ins once, after the last one.
    SetTimer(m_window, kChangeTimer, kChangeDelayMs, nullptr);
}

void CMonitorDialog::OnTimer(UINT_PTR id)
{
    if (id == kPaceTimer) {
        OnPaceTimer();
        return;
    }
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
    // From the keyboard both halves are -1; senders differ in whether the upper half of a
    // 64-bit parameter is filled too, so the whole parameter says nothing.
    const bool keyboard = GET_X_LPARAM(position) == -1 && GET_Y_LPARAM(position) == -1;
    POINT point = {GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    if (keyboard) {
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

bool CMonitorDialog::PreTranslateMessage(MSG* msg)
{
    if (!m_accelerators || !m_window || !msg ||
        (msg->hwnd != m_window && !IsChild(m_window, msg->hwnd)))
        return false;
    return TranslateAcceleratorA(m_window, m_accelerators, msg) != 0;
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
        OnOptions();
        break;
    case ID_TRAY_REMOVE:
        OnRemoveFromTray();
        break;
    case ID_HELP_ABOUT:
        OnAbout();
        break;
    case ID_KEY_MENUBAR:
        // What F10 does in every window with a menu bar: the bar takes the keyboard.
        SendMessageA(m_window, WM_SYSCOMMAND, SC_KEYMENU, 0);
        break;
    case ID_KEY_ROWMENU:
        OnContextMenu(m_tree, MAKELPARAM(0xFFFF, 0xFFFF));
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
    if (!header || header->hwndFrom != m_tree)
        return 0;
    if (CTreeRows::AnswerDispInfo(header))
        return 0;
    if (header->code == TVN_DELETEITEMA) {
        auto info = reinterpret_cast<const NMTREEVIEWA*>(header);
        if (info->itemOld.hItem == m_rememberedRow)
            m_rememberedRow = nullptr;
    }
    return 0;
}

void CMonitorDialog::OnOptions()
{
    tMonitorOptions options = LoadMonitorOptions(m_settings, m_monitor);
    // The pages only fill in the options; they are stored once the sheet ended with OK.
    if (RunOptionsSheet(m_window, m_instance, options))
        StoreMonitorOptions(m_settings, options);
}

void CMonitorDialog::OnAbout()
{
    if (m_about && m_about->IsWindow()) {
        SetForegroundWindow(m_about->Handle());
        return;
    }
    CAboutBox about(m_instance);
    m_about = &about;
    about.DoModal(m_window);
    m_about = nullptr;
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
    KillTimer(m_window, kPaceTimer);
    m_paceTimerArmed = false;
    m_kept.clear();
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
    m_tray.reset(new CTrayIcon(m_instance, m_window, icon, GetSubMenu(m_trayMenu, 0), TipText()));
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
    RECT work;
    xUtilGetWorkArea(m_window, &work);
    // Kept inside the work area, also where large fonts make the dialog units large.
    int width = std::min<int>(40 * LOWORD(units), work.right - work.left);
    int height = std::min<int>(30 * HIWORD(units), work.bottom - work.top);
    SetWindowPos(m_window, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    xUtilCenterWindow(m_window, nullptr);
    ShowWindow(m_window, SW_SHOWDEFAULT);
}
