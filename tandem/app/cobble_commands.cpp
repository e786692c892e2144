// The main window's commands, menus, the tree and file list behaviour, downloads and the
// splitters.
#include "tandem/app/cobble_dialog.h"

#include <windowsx.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <math.h>

#include <algorithm>

#include "common/module.h"
#include "common/strings.h"
#include "common/trace.h"
#include "common/ui/message_box.h"
#include "common/xutil.h"
#include "tandem/app/dialogs.h"
#include "tandem/app/folder_browser.h"
#include "tandem/app/options.h"
#include "tandem/res/resource.h"
#include "tandem/share_files.h"
#include "tandem/share_rules.h"

namespace {

const uint32_t kLocalHost = 0x0100007F;
const int kListImageShare = 6;
const int kListImageFolder = 1;
const int kListImageFile = 3;

std::string WithSeparator(std::string path)
{
    if (path.empty() || path.back() != '\\')
        path += '\\';
    return path;
}

// A text of the string table with one "%s" filled in.
std::string FormatText(HINSTANCE instance, UINT id, const std::string& value)
{
    std::string pattern = xUtilLoadString(instance, id);
    std::vector<char> text(pattern.size() + value.size() + 64);
    snprintf(text.data(), text.size(), pattern.c_str(), value.c_str());
    return text.data();
}

bool HostIsLocal(const ShareNode* node)
{
    return node && node->HostAddress() == kLocalHost;
}

} // namespace

// ------------------------------------------------------------------ commands

void CCobbleDialog::OnCommand(WORD id, WORD, HWND)
{
    switch (id) {
    case ID_ABOUT:
        OnAbout();
        break;
    case ID_OPTIONS:
        OnOptions();
        break;
    case ID_ADD_SHARE:
        OnAddShare();
        break;
    case ID_REMOVE_SHARE:
        OnRemoveShare();
        break;
    case ID_SHARE_PROPERTIES:
        OnShareProperties();
        break;
    case ID_REFRESH:
    case ID_REFRESH_KEY:
        OnRefresh();
        break;
    case ID_ADD_HOST:
        OnAddHost();
        break;
    case ID_REMOVE_HOST:
        OnRemoveHost();
        break;
    case ID_DOWNLOAD:
        OnDownload(false);
        break;
    case ID_DOWNLOAD_LAST:
        OnDownload(true);
        break;
    case ID_CANCEL_TRANSFER:
        if (m_transferBook)
            m_transferBook->Cancel(SelectedTransferRows());
        break;
    case ID_CLOSE:
        PostMessageA(m_hwnd, WM_CLOSE, 0, 0);
        break;
    case ID_HELP_TOPICS:
        OnHelpTopics();
        break;
    case ID_UP:
        OnUp();
        break;
    case ID_SELECT_ALL:
        OnSelectAll();
        break;
    case ID_NEXT_PANE:
        OnFocusPane(1);
        break;
    case ID_PREVIOUS_PANE:
        OnFocusPane(-1);
        break;
    case ID_SEND_CHAT:
        m_chat->SendTyped();
        break;
    default:
        break;
    }
}

void CCobbleDialog::OnAbout()
{
    CAboutBox about(m_instance);
    about.DoModal(m_hwnd);
}

void CCobbleDialog::OnOptions()
{
    if (RunOptionsSheet(m_hwnd, m_instance, m_settings))
        LoadHostName();
}

void CCobbleDialog::OnAddShare()
{
    if (RunShareWizard(m_hwnd, m_instance, m_settings))
        m_client->Expand(kLocalHost, "\\");
}

void CCobbleDialog::OnRemoveShare()
{
    ShareNode* node = SelectedNode();
    if (!node || !node->IsShare() || !HostIsLocal(node))
        return;
    std::string name = node->Item().name;
    m_settings.DeleteShare(name);
    // The node goes; the tree selects another item and the file list follows it.
    m_net->RemoveChild(kLocalHost, name);
    FillFileList();
}

void CCobbleDialog::OnShareProperties()
{
    ShareNode* node = SelectedNode();
    if (!node || !node->IsShare() || !HostIsLocal(node))
        return;
    CShareDialog dialog(m_instance);
    dialog.m_name = node->Item().name;
    dialog.m_path = m_settings.ShareFolder(dialog.m_name);
    std::string old = dialog.m_name;
    if (dialog.DoModal(m_hwnd) != IDOK)
        return;
    m_settings.DeleteShare(old);
    m_settings.WriteShare(dialog.m_name, dialog.m_path);
    m_client->Expand(kLocalHost, "\\");
}

void CCobbleDialog::ShareDroppedFolder(const std::string& folder)
{
    CShareDialog dialog(m_instance);
    dialog.m_path = folder;
    dialog.m_name = ShareNameForFolder(folder);
    if (dialog.DoModal(m_hwnd) != IDOK)
        return;
    m_settings.WriteShare(dialog.m_name, dialog.m_path);
    m_client->Expand(kLocalHost, "\\");
}

void CCobbleDialog::OnRefresh()
{
    ShareNode* node = SelectedNode();
    if (!node)
        return;
    node->SetRequested(true);
    m_client->Expand(node->HostAddress(), node->GetPath());
    if (node->IsHostRoot())
        m_client->GetHostInfo(node->HostAddress());
}

void CCobbleDialog::OnAddHost()
{
    CAddHostDialog dialog(m_instance, m_settings.HostMru());
    if (dialog.DoModal(m_hwnd) != IDOK)
        return;
    m_settings.SetHostMru(UpdateHostMru(m_settings.HostMru(), dialog.m_typed));
    m_discovery->HostSeen(dialog.m_address, dialog.m_typed, HOST_ADDED);
}

void CCobbleDialog::OnRemoveHost()
{
    ShareNode* node = SelectedNode();
    if (node && node->IsHostRoot())
        m_discovery->ForgetHost(node->HostAddress());
}

void CCobbleDialog::OnHelpTopics()
{
    std::string path = xUtilPathBesideModule(nullptr, xUtilLoadString(m_instance, IDS_HELP_FILE).c_str());
    typedef HWND(WINAPI * tHtmlHelp)(HWND, LPCSTR, UINT, DWORD_PTR);
    static CDllBinding help("hhctrl.ocx");
    tHtmlHelp htmlHelp = nullptr;
    const UINT kDisplayTopic = 0; // HH_DISPLAY_TOPIC
    if (help.IsLoaded() && help.Bind(htmlHelp, "HtmlHelpA") && htmlHelp(m_hwnd, path.c_str(), kDisplayTopic, 0))
        return;
    ShellExecuteA(m_hwnd, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void CCobbleDialog::OnUp()
{
    ShareNode* node = SelectedNode();
    if (node && node->Parent() && node->Parent()->TreeItem())
        TreeView_SelectItem(m_tree, reinterpret_cast<HTREEITEM>(node->Parent()->TreeItem()));
}

void CCobbleDialog::OnSelectAll()
{
    HWND focus = GetFocus();
    if (focus == m_list || focus == m_transfers) {
        ListView_SetItemState(focus, -1, LVIS_SELECTED, LVIS_SELECTED);
    } else if (m_chat && IsChild(m_chat->Handle(), focus)) {
        SendMessageA(focus, EM_SETSEL, 0, -1);
    }
}

void CCobbleDialog::OnFocusPane(int step)
{
    HWND panes[] = {m_tree, m_list, m_chat->Item(IDC_CHAT_MESSAGE), m_transfers};
    const int count = 4;
    HWND focus = GetFocus();
    int at = -1;
    for (int i = 0; i < count; ++i)
        if (focus == panes[i] || IsChild(panes[i], focus))
            at = i;
    int next = at < 0 ? 0 : (at + step + count) % count;
    SetFocus(panes[next]);
}

// ------------------------------------------------------------------ menus

void CCobbleDialog::RemoveAddonItems(HMENU menu)
{
    if (m_options.debugFeatures || m_settings.GetInt("addonfeatures", 0) != 0)
        return;
    DeleteMenu(menu, ID_ADD_HOST, MF_BYCOMMAND);
    DeleteMenu(menu, ID_REMOVE_HOST, MF_BYCOMMAND);
}

void CCobbleDialog::EnableMenuItems(HMENU menu)
{
    ShareNode* node = SelectedNode();
    bool local = HostIsLocal(node);
    bool localShare = local && node->IsShare();
    auto enable = [menu](UINT id, bool on) { EnableMenuItem(menu, id, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED)); };
    enable(ID_ADD_SHARE, local && (node->IsHostRoot() || node->IsShare()));
    enable(ID_REMOVE_SHARE, localShare);
    enable(ID_SHARE_PROPERTIES, localShare);
    enable(ID_REMOVE_HOST, node && node->IsHostRoot() && node->HostAddress() != kLocalHost);
    enable(ID_REFRESH, GetFocus() == m_tree && node);
    bool download = IsDownloadAllowed();
    enable(ID_DOWNLOAD, download);
    enable(ID_DOWNLOAD_LAST, download);
    enable(ID_CANCEL_TRANSFER, GetFocus() == m_transfers && ListView_GetSelectedCount(m_transfers) > 0);
}

void CCobbleDialog::OnInitMenuPopup(HMENU menu)
{
    RemoveAddonItems(menu);
    EnableMenuItems(menu);
}

void CCobbleDialog::OnContextMenu(HWND window, int x, int y)
{
    UINT menuId = 0;
    if (window == m_list) {
        menuId = IDM_FILELIST;
    } else if (window == m_tree) {
        menuId = IDM_TREE;
        // The item under the cursor is selected first.
        TVHITTESTINFO hit = {};
        hit.pt = {x, y};
        ScreenToClient(m_tree, &hit.pt);
        if (HTREEITEM item = TreeView_HitTest(m_tree, &hit))
            TreeView_SelectItem(m_tree, item);
        SetFocus(m_tree);
    } else if (window == m_transfers) {
        menuId = IDM_TRANSFERS;
    } else {
        return;
    }
    if (x == -1 && y == -1) {
        RECT rect;
        GetWindowRect(window, &rect);
        x = rect.left + 8;
        y = rect.top + 8;
    }
    HMENU loaded = LoadMenuA(m_instance, MAKEINTRESOURCEA(menuId));
    if (!loaded)
        return;
    HMENU popup = GetSubMenu(loaded, 0);
    if (menuId == IDM_FILELIST) {
        std::string last = m_settings.GetText("lastdownloadpath");
        if (!last.empty() && IsExistingFolder(last)) {
            char shortened[MAX_PATH];
            lstrcpynA(shortened, last.c_str(), sizeof shortened);
            PathCompactPathExA(shortened, last.c_str(), 40, 0);
            std::string item = FormatText(m_instance, IDS_DOWNLOAD_TO, shortened);
            AppendMenuA(popup, MF_STRING, ID_DOWNLOAD_LAST, item.c_str());
        }
    }
    RemoveAddonItems(popup);
    EnableMenuItems(popup);
    TrackPopupMenu(popup, TPM_RIGHTBUTTON, x, y, 0, m_hwnd, nullptr);
    DestroyMenu(loaded);
}

// ------------------------------------------------------------------ tree and file list

ShareNode* CCobbleDialog::NodeOfItem(HTREEITEM item) const
{
    if (!item)
        return nullptr;
    TVITEMA data = {};
    data.mask = TVIF_PARAM;
    data.hItem = item;
    if (!TreeView_GetItem(m_tree, &data))
        return nullptr;
    return reinterpret_cast<ShareNode*>(data.lParam);
}

ShareNode* CCobbleDialog::SelectedNode() const
{
    return m_tree ? NodeOfItem(TreeView_GetSelection(m_tree)) : nullptr;
}

LRESULT CCobbleDialog::OnNotify(NMHDR* header)
{
    if (header->hwndFrom == m_tree) {
        switch (header->code) {
        case TVN_SELCHANGEDA:
        case TVN_SELCHANGEDW:
            OnTreeSelectionChanged();
            break;
        case TVN_ITEMEXPANDINGA:
        case TVN_ITEMEXPANDINGW: {
            auto view = reinterpret_cast<NMTREEVIEWA*>(header);
            if (view->action & TVE_EXPAND)
                OnTreeExpanding(view->itemNew.hItem);
            break;
        }
        default:
            break;
        }
        return 0;
    }
    if (header->hwndFrom == m_list) {
        if (header->code == LVN_COLUMNCLICK)
            OnColumnClick(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
        else if (header->code == NM_DBLCLK)
            OnFileListDoubleClick();
        return 0;
    }
    if (header->code == TTN_GETDISPINFOA) {
        auto tip = reinterpret_cast<NMTTDISPINFOA*>(header);
        UINT text = 0;
        switch (tip->hdr.idFrom) {
        case ID_ADD_SHARE:
            text = IDS_ADD_SHARE;
            break;
        case ID_OPTIONS:
            text = IDS_OPTIONS;
            break;
        case ID_UP:
            text = IDS_UP;
            break;
        default:
            break;
        }
        if (text) {
            tip->hinst = m_instance;
            tip->lpszText = MAKEINTRESOURCEA(text);
        }
    }
    return 0;
}

void CCobbleDialog::OnTreeSelectionChanged()
{
    // Items may be going one by one just now (a listing replaces a node's children): the file
    // list follows the selection once the tree has settled.
    if (m_fillPosted)
        return;
    m_fillPosted = true;
    ui::PostTask(m_hwnd, [this] {
        m_fillPosted = false;
        ShareNode* node = SelectedNode();
        // A node that was never listed (or whose listing failed) is asked for now.
        if (node && !node->Requested() && (node->IsHostRoot() || node->Item().isFolder))
            RequestListing(node);
        FillFileList();
    });
}

void CCobbleDialog::RequestListing(ShareNode* node)
{
    node->SetRequested(true);
    m_client->Expand(node->HostAddress(), node->GetPath());
}

void CCobbleDialog::OnTreeExpanding(HTREEITEM item)
{
    if (ShareNode* node = NodeOfItem(item))
        Prefetch(node);
}

void CCobbleDialog::Prefetch(ShareNode* node)
{
    const auto& children = node->Children();
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        ShareNode* child = it->get();
        if (child->Item().isFolder && !child->Requested())
            RequestListing(child);
    }
}

void CCobbleDialog::FillFileList()
{
    SendMessageA(m_list, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(m_list);
    m_listItems.clear();
    ShareNode* node = SelectedNode();
    if (node) {
        for (const auto& child : node->Children())
            m_listItems.push_back(child->Item());
        for (size_t i = 0; i < m_listItems.size(); ++i) {
            const ShareItem& shown = m_listItems[i];
            LVITEMA item = {};
            item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
            item.iItem = static_cast<int>(i);
            item.pszText = const_cast<char*>(shown.name.c_str());
            item.iImage = shown.isFolder ? (node->IsHostRoot() ? kListImageShare : kListImageFolder) : kListImageFile;
            item.lParam = static_cast<LPARAM>(i);
            int row = ListView_InsertItem(m_list, &item);
            if (row < 0 || shown.isFolder)
                continue;
            char plain[32];
            snprintf(plain, sizeof plain, "%llu", static_cast<unsigned long long>((shown.size + 1023) / 1024));
            NUMBERFMTA format = {};
            char decimal[8] = ".", thousand[8] = ",";
            GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal, sizeof decimal);
            GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, thousand, sizeof thousand);
            format.NumDigits = 0;
            format.Grouping = 3;
            format.lpDecimalSep = decimal;
            format.lpThousandSep = thousand;
            format.NegativeOrder = 1;
            char number[64];
            std::string size = GetNumberFormatA(LOCALE_USER_DEFAULT, 0, plain, &format, number, sizeof number) > 0
                                   ? number
                                   : plain;
            size += " kB";
            ListView_SetItemText(m_list, row, 1, const_cast<char*>(size.c_str()));
        }
        SortFileList();
    }
    SendMessageA(m_list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(m_list, nullptr, TRUE);
}

void CCobbleDialog::SortFileList()
{
    struct tSort {
        const std::vector<ShareItem>* items;
        int column;
        bool ascending;
    } sort{&m_listItems, m_sortColumn, m_sortAscending};
    ListView_SortItems(
        m_list,
        [](LPARAM a, LPARAM b, LPARAM data) -> int {
            const tSort& by = *reinterpret_cast<const tSort*>(data);
            return CompareShareItems((*by.items)[static_cast<size_t>(a)], (*by.items)[static_cast<size_t>(b)],
                                     by.column, by.ascending);
        },
        reinterpret_cast<LPARAM>(&sort));
}

void CCobbleDialog::SetSortMark()
{
    HWND header = ListView_GetHeader(m_list);
    bool modern = xUtilMatchOSVersion(">=WinXP");
    if (!modern)
        Header_SetImageList(header, m_sortImages);
    for (int column = 0; column < 2; ++column) {
        HDITEMA item = {};
        item.mask = HDI_FORMAT;
        Header_GetItem(header, column, &item);
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN | HDF_IMAGE | HDF_BITMAP_ON_RIGHT);
        if (column == m_sortColumn) {
            if (modern) {
                item.fmt |= m_sortAscending ? HDF_SORTUP : HDF_SORTDOWN;
            } else {
                item.mask |= HDI_IMAGE;
                item.fmt |= HDF_IMAGE | HDF_BITMAP_ON_RIGHT;
                item.iImage = m_sortAscending ? 0 : 1;
            }
        }
        Header_SetItem(header, column, &item);
    }
}

void CCobbleDialog::OnColumnClick(int column)
{
    if (column == m_sortColumn) {
        m_sortAscending = !m_sortAscending;
    } else {
        m_sortColumn = column;
        m_sortAscending = true;
    }
    SetSortMark();
    SortFileList();
}

void CCobbleDialog::OnFileListDoubleClick()
{
    std::vector<int> selected = SelectedListItems();
    ShareNode* node = SelectedNode();
    if (selected.size() != 1 || !node)
        return;
    const ShareItem& item = m_listItems[static_cast<size_t>(selected.front())];
    if (item.isFolder) {
        for (const auto& child : node->Children())
            if (child->Item().name == item.name && child->TreeItem()) {
                TreeView_Expand(m_tree, reinterpret_cast<HTREEITEM>(node->TreeItem()), TVE_EXPAND);
                TreeView_SelectItem(m_tree, reinterpret_cast<HTREEITEM>(child->TreeItem()));
                return;
            }
        return;
    }
    OnDownload((GetKeyState(VK_MENU) & 0x8000) != 0);
}

std::vector<int> CCobbleDialog::SelectedListItems() const
{
    std::vector<int> indices;
    for (int row = ListView_GetNextItem(m_list, -1, LVNI_SELECTED); row >= 0;
         row = ListView_GetNextItem(m_list, row, LVNI_SELECTED)) {
        LVITEMA item = {};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        if (ListView_GetItem(m_list, &item) && item.lParam >= 0 &&
            static_cast<size_t>(item.lParam) < m_listItems.size())
            indices.push_back(static_cast<int>(item.lParam));
    }
    return indices;
}

std::vector<int> CCobbleDialog::SelectedTransferRows() const
{
    std::vector<int> keys;
    for (int row = ListView_GetNextItem(m_transfers, -1, LVNI_SELECTED); row >= 0;
         row = ListView_GetNextItem(m_transfers, row, LVNI_SELECTED)) {
        LVITEMA item = {};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        if (ListView_GetItem(m_transfers, &item))
            keys.push_back(static_cast<int>(item.lParam));
    }
    return keys;
}

// ------------------------------------------------------------------ downloads

bool CCobbleDialog::IsDownloadAllowed() const
{
    ShareNode* node = SelectedNode();
    if (!node || node->IsHostRoot())
        return false;
    if (node->HostAddress() == kLocalHost && !m_options.debugFeatures)
        return false;
    return GetFocus() == m_list && ListView_GetSelectedCount(m_list) > 0;
}

void CCobbleDialog::OnDownload(bool toLastFolder)
{
    if (!IsDownloadAllowed())
        return;
    ShareNode* node = SelectedNode();
    uint32_t host = node->HostAddress();
    std::string base = node->GetPath();
    std::vector<ShareItem> chosen;
    for (int index : SelectedListItems()) {
        const ShareItem& item = m_listItems[static_cast<size_t>(index)];
        if (!m_transferBook->IsDownloading(host, base + item.name))
            chosen.push_back(item);
    }
    if (chosen.empty())
        return;

    std::string target = m_settings.GetText("lastdownloadpath");
    if (!toLastFolder || target.empty() || !IsExistingFolder(target)) {
        std::string picked;
        if (!BrowseForFolder(m_hwnd, xUtilLoadString(m_instance, IDS_SELECT_TARGET), target, picked))
            return;
        target = WithSeparator(picked);
        m_settings.SetText("lastdownloadpath", target);
    }
    target = WithSeparator(target);

    std::string hostName = HostDisplayName(host);
    std::string title = xUtilLoadString(m_instance, IDS_TITLE);
    for (const ShareItem& item : chosen) {
        std::string local = target + item.name;
        if (m_transferBook->IsWritingTo(local)) {
            ui::ShowMessage(m_hwnd, FormatText(m_instance, IDS_TARGET_IN_USE, item.name), title, MB_OK | MB_ICONINFORMATION);
            continue;
        }
        uint64_t existing = 0;
        int64_t offset = 0;
        int answer = IDYES;
        switch (CheckDownloadTarget(local, item.isFolder, item.size, existing)) {
        case TARGET_FOLDER_EXISTS:
            answer = ui::ShowMessage(m_hwnd, FormatText(m_instance, IDS_OVERWRITE_FOLDER, item.name), title,
                                     MB_YESNOCANCEL | MB_ICONQUESTION);
            break;
        case TARGET_FILE_EXISTS:
            answer = ui::ShowMessage(m_hwnd, FormatText(m_instance, IDS_OVERWRITE_FILE, item.name), title,
                                     MB_YESNOCANCEL | MB_ICONQUESTION);
            break;
        case TARGET_PARTIAL_FILE: {
            std::string pattern = xUtilLoadString(m_instance, IDS_RESUME);
            char text[1024];
            snprintf(text, sizeof text, pattern.c_str(), item.name.c_str(),
                     static_cast<unsigned long long>(existing / 1024),
                     static_cast<unsigned long long>(item.size / 1024));
            answer = ui::ShowMessage(m_hwnd, text, title, MB_YESNOCANCEL | MB_ICONQUESTION);
            // Yes continues where the file stops, No fetches it whole.
            if (answer == IDYES)
                offset = static_cast<int64_t>(existing);
            else if (answer == IDNO)
                answer = IDYES;
            break;
        }
        default:
            break;
        }
        if (answer == IDCANCEL)
            return;
        if (answer != IDYES)
            continue;
        // The list shows copies: the node is looked up again, it may have been listed anew.
        ShareNode* current = SelectedNode();
        if (!current)
            return;
        for (const auto& child : current->Children()) {
            if (child->Item().name != item.name)
                continue;
            if (child->Item().isFolder)
                m_transferBook->StartFolderDownload(host, hostName, child->GetPath(), target);
            else
                m_transferBook->StartDownload(host, hostName, child->GetPath(), local, offset);
            break;
        }
    }
}

// ------------------------------------------------------------------ splitters

bool CCobbleDialog::OnSetCursor()
{
    POINT at;
    GetCursorPos(&at);
    ScreenToClient(m_hwnd, &at);
    RECT client;
    GetClientRect(m_hwnd, &client);
    tMainLayout layout = ComputeLayout(client.right, client.bottom, m_left, m_bottom);
    if (m_dragging == 2 || layout.horizontalSplitter.Contains(at.x, at.y)) {
        SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_SIZENS)));
        return true;
    }
    if (m_dragging == 1 || layout.verticalSplitter.Contains(at.x, at.y)) {
        SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_SIZEWE)));
        return true;
    }
    return false;
}

void CCobbleDialog::OnLButtonDown(int x, int y)
{
    RECT client;
    GetClientRect(m_hwnd, &client);
    tMainLayout layout = ComputeLayout(client.right, client.bottom, m_left, m_bottom);
    if (layout.horizontalSplitter.Contains(x, y)) {
        m_dragging = 2;
        m_dragPosition = y;
    } else if (layout.verticalSplitter.Contains(x, y)) {
        m_dragging = 1;
        m_dragPosition = x;
    } else {
        return;
    }
    SetCapture(m_hwnd);
    RECT screen = client;
    MapWindowPoints(m_hwnd, nullptr, reinterpret_cast<POINT*>(&screen), 2);
    ClipCursor(&screen);
    DrawTracker();
}

void CCobbleDialog::OnMouseMove(int x, int y)
{
    if (!m_dragging)
        return;
    DrawTracker();
    m_dragPosition = m_dragging == 1 ? x : y;
    DrawTracker();
}

void CCobbleDialog::OnLButtonUp(int x, int y)
{
    if (!m_dragging)
        return;
    DrawTracker();
    int which = m_dragging;
    m_dragging = 0;
    ReleaseCapture();
    ClipCursor(nullptr);
    RECT client;
    GetClientRect(m_hwnd, &client);
    if (which == 1)
        m_left = x - 9;
    else
        m_bottom = client.bottom - y - 9;
    ClampPanels(client.right, client.bottom, m_left, m_bottom);
    LayoutPanes();
    InvalidateRect(m_hwnd, nullptr, TRUE);
}

void CCobbleDialog::DrawTracker()
{
    if (!m_dragging)
        return;
    RECT client;
    GetClientRect(m_hwnd, &client);
    RECT bar;
    if (m_dragging == 1)
        bar = {m_dragPosition - 2, 36, m_dragPosition + 3, client.bottom - 7};
    else
        bar = {7, m_dragPosition - 2, client.right - 7, m_dragPosition + 3};
    HDC dc = GetDCEx(m_hwnd, nullptr, DCX_CACHE | DCX_PARENTCLIP);
    if (!dc)
        return;
    PatBlt(dc, bar.left, bar.top, bar.right - bar.left, bar.bottom - bar.top, DSTINVERT);
    ReleaseDC(m_hwnd, dc);
}
