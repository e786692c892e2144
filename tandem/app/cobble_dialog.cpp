#include "tandem/app/cobble_dialog.h"

#include <windowsx.h>
#include <mmsystem.h>
#include <ole2.h>

#include <algorithm>

#include "common/strings.h"
#include "common/trace.h"
#include "common/ui/message_box.h"
#include "common/xutil.h"
#include "tandem/app/drop_target.h"
#include "tandem/app/options.h"
#include "tandem/res/resource.h"

const char CCobbleDialog::kClassName[] = "VelmoraCobbleClass";

namespace {

const uint32_t kLocalHost = 0x0100007F; // 127.0.0.1, network byte order
const UINT_PTR kTransferTimer = 1;
// Many small files make many row texts a second; each change costs the window a repaint, which
// under load kept the window thread (and with it every transfer waiting on it) busy.
const UINT_PTR kStatusTimer = 2;
const UINT kStatusPaceMs = 200;
const int kTreeImageCount = 10;

struct tProgressArgs {
    int64_t percent;
    double rate;
    bool success;
};

struct tHostArgs {
    uint32_t address;
    const std::string* name;
    HostKind kind;
};

struct tChatArgs {
    uint32_t sender;
    const std::string* text;
};

} // namespace

// The request client's and the server's progress, marshalled to the window.
class CCobbleDialog::CDownloadEvents : public CProgressListener {
public:
    CDownloadEvents(CCobbleDialog& owner, UINT first) : m_owner(owner), m_first(first) {}
    void Started(int id) override { Send(0, id, tProgressArgs{0, 0.0, false}); }
    void Progress(int id, int64_t percent, double rate) override { Send(1, id, tProgressArgs{percent, rate, false}); }
    void Finished(int id, bool success) override { Send(2, id, tProgressArgs{0, 0.0, success}); }

private:
    void Send(UINT offset, int id, tProgressArgs args)
    {
        if (HWND hwnd = m_owner.Handle())
            SendMessageA(hwnd, m_first + offset, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&args));
    }

    CCobbleDialog& m_owner;
    UINT m_first;
};

class CCobbleDialog::CUploadEvents : public CDownloadEvents {
public:
    explicit CUploadEvents(CCobbleDialog& owner) : CDownloadEvents(owner, WM_TANDEM_UPLOAD_STARTED) {}
};

CCobbleDialog::CCobbleDialog(HINSTANCE instance, const tCobbleOptions& options)
    : m_instance(instance), m_options(options), m_settings(options.settingsPath), m_rows(kStatusTimer, kStatusPaceMs)
{
}

CCobbleDialog::~CCobbleDialog()
{
    Destroy();
}

bool CCobbleDialog::CreateMain()
{
    HICON icon = LoadIconA(m_instance, MAKEINTRESOURCEA(IDI_TANDEM));
    HICON small = static_cast<HICON>(LoadImageA(m_instance, MAKEINTRESOURCEA(IDI_TANDEM), IMAGE_ICON,
                                                GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    if (!RegisterClass(m_instance, kClassName, icon, small, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                       MAKEINTRESOURCEA(IDM_MAIN)))
        return false;
    m_accelerators = LoadAcceleratorsA(m_instance, MAKEINTRESOURCEA(IDA_MAIN));
    return Create(m_instance, kClassName, xUtilLoadString(m_instance, IDS_TITLE).c_str(),
                  WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, CW_USEDEFAULT, CW_USEDEFAULT, 620, 450, nullptr) != nullptr;
}

void CCobbleDialog::ShowMain(int showCommand)
{
    if (!xUtilRestoreWindowPlacement(m_hwnd, m_settings.Path().c_str(), kPlacementSection, nullptr,
                                     XUTIL_PLACEMENT_MAXIMIZED | XUTIL_PLACEMENT_SHOW))
        ShowWindow(m_hwnd, showCommand);
    RestoreLayout();
    UpdateWindow(m_hwnd);
}

bool CCobbleDialog::PreTranslate(MSG& msg)
{
    if (!m_hwnd)
        return false;
    // Tab moves between the panes, except inside the chat box, where it moves between its controls.
    bool inChat = m_chat && m_chat->Handle() && (msg.hwnd == m_chat->Handle() || IsChild(m_chat->Handle(), msg.hwnd));
    bool tab = msg.message == WM_KEYDOWN && msg.wParam == VK_TAB;
    if (!(inChat && tab) && m_accelerators && TranslateAcceleratorA(m_hwnd, m_accelerators, &msg))
        return true;
    return inChat && IsDialogMessageA(m_chat->Handle(), &msg);
}

// ------------------------------------------------------------------ window life

bool CCobbleDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    result = 0;
    switch (message) {
    case WM_CREATE:
        result = OnCreate() ? 0 : -1;
        return true;
    case WM_DESTROY:
        OnDestroy();
        return true;
    case WM_CLOSE:
        if (OnClose())
            DestroyWindow(m_hwnd);
        return true;
    case WM_QUERYENDSESSION:
        result = TRUE;
        return true;
    case WM_ENDSESSION:
        OnEndSession(wParam != FALSE);
        return true;
    case WM_SIZE:
        OnSize();
        return true;
    case WM_ERASEBKGND: {
        RECT client;
        GetClientRect(m_hwnd, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(COLOR_BTNFACE));
        result = 1;
        return true;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        // The group box takes the window's own face colour.
        SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
        result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        return true;
    case WM_GETMINMAXINFO:
        OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
        return true;
    case WM_TIMER:
        if (wParam == kTransferTimer)
            OnTimer();
        else if (wParam == kStatusTimer)
            m_rows.Flush();
        return true;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return true;
    case WM_NOTIFY:
        result = OnNotify(reinterpret_cast<NMHDR*>(lParam));
        return true;
    case WM_INITMENUPOPUP:
        OnInitMenuPopup(reinterpret_cast<HMENU>(wParam));
        return true;
    case WM_CONTEXTMENU:
        OnContextMenu(reinterpret_cast<HWND>(wParam), GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return true;
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wParam) == m_hwnd && LOWORD(lParam) == HTCLIENT && OnSetCursor()) {
            result = TRUE;
            return true;
        }
        return false;
    case WM_LBUTTONDOWN:
        OnLButtonDown(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return true;
    case WM_MOUSEMOVE:
        OnMouseMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return true;
    case WM_LBUTTONUP:
        OnLButtonUp(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return true;
    case WM_CAPTURECHANGED:
        if (m_dragging && reinterpret_cast<HWND>(lParam) != m_hwnd) {
            DrawTracker();
            m_dragging = 0;
            ClipCursor(nullptr);
        }
        return true;

    // The workers' events, each sent and so handled while the worker waits.
    case WM_TANDEM_EXPANDED:
        OnExpanded(static_cast<int>(wParam), *reinterpret_cast<const std::vector<ShareItem>*>(lParam));
        return true;
    case WM_TANDEM_EXPAND_FAILED:
        OnExpandFailed(static_cast<int>(wParam));
        return true;
    case WM_TANDEM_HOST_INFO:
        OnHostInfo(static_cast<int>(wParam), *reinterpret_cast<const HostInfo*>(lParam));
        return true;
    case WM_TANDEM_DOWNLOAD_STARTED:
    case WM_TANDEM_DOWNLOAD_PROGRESS:
    case WM_TANDEM_DOWNLOAD_FINISHED:
    case WM_TANDEM_UPLOAD_STARTED:
    case WM_TANDEM_UPLOAD_PROGRESS:
    case WM_TANDEM_UPLOAD_FINISHED: {
        const tProgressArgs& args = *reinterpret_cast<const tProgressArgs*>(lParam);
        int id = static_cast<int>(wParam);
        if (!m_transferBook || m_shuttingDown.load())
            return true;
        switch (message) {
        case WM_TANDEM_DOWNLOAD_STARTED:
            m_transferBook->DownloadStarted(id);
            break;
        case WM_TANDEM_DOWNLOAD_PROGRESS:
            m_transferBook->DownloadProgress(id, args.percent, args.rate);
            break;
        case WM_TANDEM_DOWNLOAD_FINISHED:
            m_transferBook->DownloadFinished(id, args.success);
            break;
        case WM_TANDEM_UPLOAD_STARTED:
            m_transferBook->UploadStarted(id);
            break;
        case WM_TANDEM_UPLOAD_PROGRESS:
            m_transferBook->UploadProgress(id, args.percent, args.rate);
            break;
        default:
            m_transferBook->UploadFinished(id, args.success);
            break;
        }
        return true;
    }
    case WM_TANDEM_UPLOAD_NOTICE:
        *reinterpret_cast<tCancelHandle*>(lParam) = OnUploadNotice(static_cast<int>(wParam));
        return true;
    case WM_TANDEM_ADMISSION:
        result = OnAdmission(static_cast<uint32_t>(wParam)) ? 1 : 0;
        return true;
    case WM_TANDEM_CHAT: {
        const tChatArgs& args = *reinterpret_cast<const tChatArgs*>(lParam);
        OnChatMessage(args.sender, *args.text);
        return true;
    }
    case WM_TANDEM_HOST_APPEARED: {
        const tHostArgs& args = *reinterpret_cast<const tHostArgs*>(lParam);
        OnHostAppeared(args.address, *args.name, args.kind);
        return true;
    }
    case WM_TANDEM_HOST_DISAPPEARED:
        OnHostDisappeared(static_cast<uint32_t>(wParam));
        return true;
    default:
        return false;
    }
}

bool CCobbleDialog::OnCreate()
{
    TraceVerbose("entering\n");
    CreateImageLists();
    CreatePanes();

    std::vector<tInterfaceEntry> interfaces;
    if (m_options.discovery)
        EnumerateInterfaces(interfaces, false, false);
    m_net.reset(new CNetStructure(m_shuttingDown, this));
    tTransferTexts texts;
    texts.load = [this](unsigned id) { return xUtilLoadString(m_instance, id); };
    texts.formatRate = [](double rate) {
        char plain[64];
        snprintf(plain, sizeof plain, "%f", rate);
        char formatted[16];
        if (GetNumberFormatA(LOCALE_USER_DEFAULT, 0, plain, nullptr, formatted, sizeof formatted) > 0)
            return std::string(formatted);
        return std::string(plain);
    };
    m_transferBook.reset(new CTransfers(*this, *this, texts));
    m_downloadEvents.reset(new CDownloadEvents(*this, WM_TANDEM_DOWNLOAD_STARTED));
    m_uploadEvents.reset(new CUploadEvents(*this));

    std::string hostName = m_settings.HostName();
    tModuleVersion version = {};
    xUtilGetModuleVersion(nullptr, &version);
    const SYSTEMTIME& t = version.linkDate;
    std::string versionText =
        FormatVersionText(version.major, version.minor, t.wHour, t.wMinute, t.wSecond, t.wDay, t.wMonth, t.wYear);
    m_server.reset(new CServerThread(m_uploadEvents.get(), this, this, hostName, versionText, m_shuttingDown,
                                     m_settings.Path(), m_options.serverLimits));
    // Every host serves on the port this one serves on.
    tClientLimits clientLimits = m_options.clientLimits;
    clientLimits.port = m_options.serverLimits.port;
    m_client.reset(new RequestClient(this, m_downloadEvents.get(), m_options.debugFeatures, m_shuttingDown,
                                     clientLimits));
    tDiscoveryOptions discovery = m_options.discoveryOptions;
    discovery.requestPort = m_options.serverLimits.port;
    m_discovery.reset(new CHostThread(this, interfaces, m_shuttingDown, discovery));
    m_chatChannel.reset(new ChatChannel(this, m_shuttingDown, m_options.chatOptions));

    // The share dialog is modal: it runs once the drag has ended, so that the drag's source is
    // not left waiting for it.
    m_dropTarget = RegisterFolderDropTarget(m_tree, [this](const std::string& folder) {
        HWND window = m_hwnd;
        ui::PostTask(window, [this, folder] { ShareDroppedFolder(folder); });
    });
    LoadHostName();
    m_discovery->HostSeen(kLocalHost, hostName, HOST_LOCAL);
    SetTimer(m_hwnd, kTransferTimer, 1000, nullptr);
    RestoreLayout();
    m_sortColumn = 0;
    m_sortAscending = true;
    SetSortMark();
    return true;
}

void CCobbleDialog::CreateImageLists()
{
    m_treeImages = ImageList_LoadImageA(m_instance, MAKEINTRESOURCEA(IDB_TREE_IMAGES), 16, 0, RGB(255, 0, 255),
                                        IMAGE_BITMAP, LR_CREATEDIBSECTION);
    m_toolbarImages = ImageList_LoadImageA(m_instance, MAKEINTRESOURCEA(IDB_TOOLBAR), 24, 0, RGB(255, 0, 255),
                                           IMAGE_BITMAP, LR_CREATEDIBSECTION);
    m_sortImages = ImageList_LoadImageA(m_instance, MAKEINTRESOURCEA(IDB_SORT_ARROWS), 8, 0, RGB(255, 0, 255),
                                        IMAGE_BITMAP, LR_CREATEDIBSECTION);
    if (!m_treeImages || ImageList_GetImageCount(m_treeImages) < kTreeImageCount)
        TraceHere("the tree images are missing\n");
}

void CCobbleDialog::CreateToolbar()
{
    m_toolbar = CreateWindowExA(0, TOOLBARCLASSNAMEA, "",
                                WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NODIVIDER, 0, 0, 0, 0,
                                m_hwnd, reinterpret_cast<HMENU>(IDC_TOOLBAR), m_instance, nullptr);
    SendMessageA(m_toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageA(m_toolbar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(m_toolbarImages));
    TBBUTTON buttons[3] = {};
    const int commands[] = {ID_ADD_SHARE, ID_OPTIONS, ID_UP};
    for (int i = 0; i < 3; ++i) {
        buttons[i].iBitmap = i;
        buttons[i].idCommand = commands[i];
        buttons[i].fsState = TBSTATE_ENABLED;
        buttons[i].fsStyle = BTNS_BUTTON;
    }
    SendMessageA(m_toolbar, TB_ADDBUTTONSA, 3, reinterpret_cast<LPARAM>(buttons));
    SendMessageA(m_toolbar, TB_AUTOSIZE, 0, 0);
}

void CCobbleDialog::CreatePanes()
{
    NONCLIENTMETRICSA metrics = {};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        m_font.Attach(CreateFontIndirectA(&metrics.lfMessageFont));
    auto setFont = [this](HWND control) {
        if (m_font)
            SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.Get()), FALSE);
    };

    CreateToolbar();
    m_tree = CreateWindowExA(WS_EX_CLIENTEDGE, WC_TREEVIEWA, "",
                             WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                                 TVS_SHOWSELALWAYS,
                             0, 0, 0, 0, m_hwnd, reinterpret_cast<HMENU>(IDC_TREE), m_instance, nullptr);
    TreeView_SetImageList(m_tree, m_treeImages, TVSIL_NORMAL);
    setFont(m_tree);

    m_list = CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                             WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS,
                             0, 0, 0, 0, m_hwnd, reinterpret_cast<HMENU>(IDC_FILELIST), m_instance, nullptr);
    ListView_SetExtendedListViewStyle(m_list, LVS_EX_FULLROWSELECT);
    ListView_SetImageList(m_list, m_treeImages, LVSIL_SMALL);
    setFont(m_list);

    m_transferGroup = CreateWindowExA(0, "BUTTON", xUtilLoadString(m_instance, IDS_TRANSFERS).c_str(),
                                      WS_CHILD | WS_VISIBLE | BS_GROUPBOX | WS_CLIPSIBLINGS, 0, 0, 0, 0, m_hwnd,
                                      reinterpret_cast<HMENU>(IDC_TRANSFER_GROUP), m_instance, nullptr);
    setFont(m_transferGroup);
    // The view is a child of the main window placed inside the group box, so that its
    // notifications come here.
    m_transfers = CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                                  WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | LVS_REPORT |
                                      LVS_SHOWSELALWAYS,
                                  0, 0, 0, 0, m_hwnd, reinterpret_cast<HMENU>(IDC_TRANSFERS), m_instance, nullptr);
    ListView_SetExtendedListViewStyle(m_transfers, LVS_EX_FULLROWSELECT);
    m_rows.Attach(m_hwnd, m_transfers);
    setFont(m_transfers);
    // The group box lies under the view: it paints only around it.
    SetWindowPos(m_transferGroup, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    auto addColumn = [this](HWND view, int index, UINT textId, const char* key, int width) {
        std::string text = xUtilLoadString(m_instance, textId);
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<char*>(text.c_str());
        column.cx = m_settings.GetInt(key, width);
        column.iSubItem = index;
        ListView_InsertColumn(view, index, &column);
    };
    addColumn(m_list, 0, IDS_NAME, "columnwidthlistviewname", 200);
    addColumn(m_list, 1, IDS_SIZE, "columnwidthlistviewsize", 100);
    addColumn(m_transfers, 0, IDS_TRANSFER_NAME, "columnwidthtransferviewname", 200);
    addColumn(m_transfers, 1, IDS_STATUS, "columnwidthtransferviewstatus", 100);
    addColumn(m_transfers, 2, IDS_HOST, "columnwidthtransferviewhost", 100);

    m_chat.reset(new CChatBox(m_instance, [this](const std::string& text) {
        return m_chatChannel && m_chatChannel->Post(text);
    }));
    m_chat->Create(m_hwnd);
    ShowWindow(m_chat->Handle(), SW_SHOW);
}

void CCobbleDialog::RestoreLayout()
{
    RECT client;
    GetClientRect(m_hwnd, &client);
    int width = client.right;
    int height = client.bottom;
    m_left = m_settings.GetInt("leftpanelwidth", (width - 19) / 2);
    m_bottom = m_settings.GetInt("bottompanelheight", height * 2 / 3);
    ClampPanels(width, height, m_left, m_bottom);
    LayoutPanes();
}

void CCobbleDialog::LayoutPanes()
{
    if (!m_tree)
        return;
    RECT client;
    GetClientRect(m_hwnd, &client);
    if (client.right <= 0 || client.bottom <= 0)
        return;
    SendMessageA(m_toolbar, TB_AUTOSIZE, 0, 0);
    tMainLayout layout = ComputeLayout(client.right, client.bottom, m_left, m_bottom);
    auto place = [](HWND window, const tPane& pane) {
        MoveWindow(window, pane.x, pane.y, pane.width, pane.height, TRUE);
    };
    place(m_tree, layout.tree);
    place(m_list, layout.list);
    place(m_chat->Handle(), layout.chat);
    place(m_transferGroup, layout.transferGroup);
    tPane view = layout.transferView;
    view.x += layout.transferGroup.x;
    view.y += layout.transferGroup.y;
    place(m_transfers, view);
}

void CCobbleDialog::SaveLayout()
{
    auto width = [](HWND view, int column) { return ListView_GetColumnWidth(view, column); };
    m_settings.SetInt("columnwidthlistviewname", width(m_list, 0));
    m_settings.SetInt("columnwidthlistviewsize", width(m_list, 1));
    m_settings.SetInt("columnwidthtransferviewname", width(m_transfers, 0));
    m_settings.SetInt("columnwidthtransferviewstatus", width(m_transfers, 1));
    m_settings.SetInt("columnwidthtransferviewhost", width(m_transfers, 2));
    m_settings.SetInt("leftpanelwidth", m_left);
    m_settings.SetInt("bottompanelheight", m_bottom);
    xUtilSaveWindowPlacement(m_hwnd, m_settings.Path().c_str(), kPlacementSection, nullptr,
                             XUTIL_PLACEMENT_MAXIMIZED);
}

void CCobbleDialog::OnSize()
{
    LayoutPanes();
}

void CCobbleDialog::OnGetMinMaxInfo(MINMAXINFO* info)
{
    info->ptMinTrackSize.x = m_left + 119;
    info->ptMinTrackSize.y = m_bottom + 169;
}

bool CCobbleDialog::OnClose()
{
    if (!m_transferBook || !m_transferBook->HasActiveTransfers())
        return true;
    return ui::ShowMessage(m_hwnd, m_instance, IDS_CONFIRM_CLOSE, IDS_TITLE, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void CCobbleDialog::OnEndSession(bool ending)
{
    if (!ending)
        return;
    xUtilRegisterRunOnce(m_hwnd, nullptr);
    DestroyWindow(m_hwnd);
}

void CCobbleDialog::OnDestroy()
{
    TraceVerbose("entering\n");
    KillTimer(m_hwnd, kTransferTimer);
    m_rows.Stop();
    SaveLayout();
    m_shuttingDown = true;
    if (m_transferBook)
        m_transferBook->CancelAll();
    if (m_dropTarget) {
        RevokeFolderDropTarget(m_tree, m_dropTarget);
        m_dropTarget = nullptr;
    }
    // Workers that are inside a sent message are answered while they end.
    if (m_discovery)
        m_discovery->Stop();
    if (m_server)
        m_server->Stop();
    if (m_client)
        m_client->Stop();
    if (m_chatChannel)
        m_chatChannel->Stop();
    m_discovery.reset();
    m_server.reset();
    m_client.reset();
    m_chatChannel.reset();
    m_transferBook.reset();
    m_net.reset();
    if (m_chat)
        m_chat->Destroy();
    for (HIMAGELIST* list : {&m_treeImages, &m_toolbarImages, &m_sortImages})
        if (*list) {
            ImageList_Destroy(*list);
            *list = nullptr;
        }
    PostQuitMessage(0);
}

void CCobbleDialog::OnTimer()
{
    if (m_transferBook)
        m_transferBook->Tick();
}

void CCobbleDialog::LoadHostName()
{
    std::string name = m_settings.HostName();
    if (m_server)
        m_server->SetHostName(name);
    size_t index;
    if (m_net && m_net->FindHost(kLocalHost, index))
        m_net->RenameHost(index, name);
    HTREEITEM first = TreeView_GetRoot(m_tree);
    if (first) {
        TVITEMA item = {};
        item.mask = TVIF_TEXT;
        item.hItem = first;
        item.pszText = const_cast<char*>(name.c_str());
        TreeView_SetItem(m_tree, &item);
    }
}

void CCobbleDialog::RunFirstRunWizardIfDue()
{
    if (m_settings.GetInt("firstinstalled", 0) != 0)
        return;
    if (RunFirstRunWizard(m_hwnd, m_instance, m_settings))
        LocalSharesChanged();
}

void CCobbleDialog::LocalSharesChanged()
{
    if (m_client)
        m_client->Expand(kLocalHost, "\\");
    LoadHostName();
}

// ------------------------------------------------------------------ worker events

void CCobbleDialog::HostAppeared(uint32_t address, const std::string& name, HostKind kind)
{
    tHostArgs args{address, &name, kind};
    if (HWND hwnd = m_hwnd)
        SendMessageA(hwnd, WM_TANDEM_HOST_APPEARED, 0, reinterpret_cast<LPARAM>(&args));
}

void CCobbleDialog::HostDisappeared(uint32_t address)
{
    if (HWND hwnd = m_hwnd)
        SendMessageA(hwnd, WM_TANDEM_HOST_DISAPPEARED, address, 0);
}

void CCobbleDialog::ExpandResult(int jobId, const std::vector<ShareItem>& items, bool success)
{
    if (HWND hwnd = m_hwnd)
        SendMessageA(hwnd, success ? WM_TANDEM_EXPANDED : WM_TANDEM_EXPAND_FAILED, static_cast<WPARAM>(jobId),
                     reinterpret_cast<LPARAM>(&items));
}

void CCobbleDialog::HostInfoResult(int jobId, const HostInfo& info)
{
    if (HWND hwnd = m_hwnd)
        SendMessageA(hwnd, WM_TANDEM_HOST_INFO, static_cast<WPARAM>(jobId), reinterpret_cast<LPARAM>(&info));
}

tCancelHandle CCobbleDialog::UploadStarting(int serial)
{
    tCancelHandle cancel;
    if (HWND hwnd = m_hwnd)
        SendMessageA(hwnd, WM_TANDEM_UPLOAD_NOTICE, static_cast<WPARAM>(serial), reinterpret_cast<LPARAM>(&cancel));
    return cancel;
}

bool CCobbleDialog::IsAdmitted(uint32_t address)
{
    raii::CLock lock(m_admissionLock);
    HWND hwnd = m_hwnd;
    return hwnd && SendMessageA(hwnd, WM_TANDEM_ADMISSION, address, 0) == 1;
}

void CCobbleDialog::ChatMessage(uint32_t sender, const std::string& text)
{
    tChatArgs args{sender, &text};
    if (HWND hwnd = m_hwnd)
        SendMessageA(hwnd, WM_TANDEM_CHAT, 0, reinterpret_cast<LPARAM>(&args));
}

void CCobbleDialog::OnHostAppeared(uint32_t address, const std::string& name, HostKind kind)
{
    size_t index;
    if (!m_net || m_shuttingDown.load() || m_net->FindHost(address, index))
        return;
    ShareNode* root = m_net->AddHost(address, name, kind);
    m_chatChannel->AddRecipient(address);
    m_client->GetHostInfo(address);
    if (root)
        root->SetRequested(true);
    m_client->Expand(address, "\\");
    PlaySoundEvent(SOUND_HOST_APPEARED);
}

void CCobbleDialog::OnHostDisappeared(uint32_t address)
{
    if (!m_net || m_shuttingDown.load())
        return;
    size_t index;
    if (!m_net->FindHost(address, index)) {
        TraceHere("host not found in netstruture: %s\n", FormatAddress(address).c_str());
        return;
    }
    if (m_net->GetHostKind(index) == HOST_LOCAL) {
        TraceHere("localhost would have been removed, prevented it\n");
        return;
    }
    m_net->RemoveHost(address);
    m_chatChannel->RemoveRecipient(address);
    PlaySoundEvent(SOUND_HOST_DISAPPEARED);
}

void CCobbleDialog::OnExpanded(int jobId, const std::vector<ShareItem>& items)
{
    tClientJobInfo job;
    if (!m_net || m_shuttingDown.load() || !m_client->GetJobInfo(jobId, job))
        return;
    ShareNode* node = m_net->SetChildren(job.host, job.remotePath, items);
    m_transferBook->ListingArrived(job.host, job.remotePath, items);
    if (!node)
        return;
    node->SetRequested(true);
    if (node == SelectedNode())
        FillFileList();
    if (node->TreeItem() && (TreeView_GetItemState(m_tree, reinterpret_cast<HTREEITEM>(node->TreeItem()),
                                                   TVIS_EXPANDED) & TVIS_EXPANDED))
        Prefetch(node);
}

void CCobbleDialog::OnExpandFailed(int jobId)
{
    tClientJobInfo job;
    if (!m_net || m_shuttingDown.load() || !m_client->GetJobInfo(jobId, job))
        return;
    if (ShareNode* node = m_net->FindNode(job.host, job.remotePath))
        node->SetRequested(false);
    m_transferBook->ListingFailed(job.host, job.remotePath);
}

void CCobbleDialog::OnHostInfo(int jobId, const HostInfo& info)
{
    tClientJobInfo job;
    size_t index;
    if (!m_net || m_shuttingDown.load() || !m_client->GetJobInfo(jobId, job) || !m_net->FindHost(job.host, index) ||
        info.name.empty())
        return;
    std::string name = info.name;
    if (m_options.debugFeatures) {
        name += " (" + FormatAddress(job.host);
        for (const std::string* part : {&info.version, &info.buildDate, &info.buildTime, &info.os})
            name += ", " + *part;
        name += ")";
    }
    m_net->RenameHost(index, name);
}

bool CCobbleDialog::OnAdmission(uint32_t address)
{
    size_t index;
    if (!m_net || m_shuttingDown.load())
        return false;
    if (m_net->FindHost(address, index))
        return true;
    if (m_net->IsHostUnwanted(address))
        return false;
    std::string question = xUtilLoadString(m_instance, IDS_ADMISSION);
    char text[512];
    snprintf(text, sizeof text, question.c_str(), FormatAddress(address).c_str());
    int answer = ui::ShowMessage(m_hwnd, text, xUtilLoadString(m_instance, IDS_TITLE), MB_YESNO | MB_ICONQUESTION);
    if (answer == IDYES) {
        m_discovery->HostSeen(address, std::string(), HOST_ADDED);
        return true;
    }
    m_net->AddUnwantedHost(address);
    return false;
}

tCancelHandle CCobbleDialog::OnUploadNotice(int serial)
{
    tServerJobInfo job;
    if (!m_transferBook || m_shuttingDown.load() || !m_server->GetJobInfo(serial, job))
        return nullptr;
    return m_transferBook->UploadStarting(serial, job.path, HostDisplayName(job.client));
}

void CCobbleDialog::OnChatMessage(uint32_t sender, const std::string& text)
{
    if (m_shuttingDown.load() || !m_chat)
        return;
    m_chat->AddLine(HostDisplayName(sender) + ": " + text);
    PlaySoundEvent(SOUND_CHAT_MESSAGE);
}

std::string CCobbleDialog::HostDisplayName(uint32_t address) const
{
    size_t index;
    if (m_net && m_net->FindHost(address, index))
        return m_net->GetHostName(index);
    return FormatAddress(address);
}

void CCobbleDialog::PlaySoundEvent(int event)
{
    // Only a chat message has a sound.
    if (event != SOUND_CHAT_MESSAGE || m_settings.GetInt("sound", 1) == 0)
        return;
    PlaySoundA(MAKEINTRESOURCEA(IDW_CHAT), m_instance, SND_RESOURCE | SND_ASYNC | SND_NODEFAULT);
}

// ------------------------------------------------------------------ the interfaces of the model

int CCobbleDialog::Expand(uint32_t host, const std::string& sharePath, tCancelHandle cancel)
{
    return m_client->Expand(host, sharePath, std::move(cancel));
}

int CCobbleDialog::Retrieve(uint32_t host, const std::string& remotePath, const std::string& localPath,
                            tCancelHandle cancel)
{
    return m_client->Retrieve(host, remotePath, localPath, std::move(cancel));
}

int CCobbleDialog::RetrieveFrom(uint32_t host, const std::string& remotePath, const std::string& localPath,
                                int64_t offset, tCancelHandle cancel)
{
    return m_client->RetrieveFrom(host, remotePath, localPath, offset, std::move(cancel));
}

void CCobbleDialog::AddRow(int key, const std::string& name, const std::string& status, const std::string& host)
{
    m_rows.Add(key, name, status, host);
}

void CCobbleDialog::SetRowStatus(int key, const std::string& status)
{
    m_rows.SetStatus(key, status);
}

void CCobbleDialog::RemoveRow(int key)
{
    m_rows.Remove(key);
}

void CCobbleDialog::Signal(int soundEvent)
{
    PlaySoundEvent(soundEvent);
}

tTreeItem CCobbleDialog::InsertItem(tTreeItem parent, const std::string& text, int image, int selectedImage,
                                    void* data)
{
    TVINSERTSTRUCTA insert = {};
    insert.hParent = parent ? reinterpret_cast<HTREEITEM>(parent) : TVI_ROOT;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    insert.item.pszText = const_cast<char*>(text.c_str());
    insert.item.iImage = image;
    insert.item.iSelectedImage = selectedImage;
    insert.item.lParam = reinterpret_cast<LPARAM>(data);
    return reinterpret_cast<tTreeItem>(TreeView_InsertItem(m_tree, &insert));
}

void CCobbleDialog::DeleteItem(tTreeItem item)
{
    // Its node is going: the tree must not hand it out any more.
    TVITEMA clear = {};
    clear.mask = TVIF_PARAM;
    clear.hItem = reinterpret_cast<HTREEITEM>(item);
    clear.lParam = 0;
    TreeView_SetItem(m_tree, &clear);
    TreeView_DeleteItem(m_tree, reinterpret_cast<HTREEITEM>(item));
}

void CCobbleDialog::SetItemText(tTreeItem item, const std::string& text)
{
    TVITEMA change = {};
    change.mask = TVIF_TEXT;
    change.hItem = reinterpret_cast<HTREEITEM>(item);
    change.pszText = const_cast<char*>(text.c_str());
    TreeView_SetItem(m_tree, &change);
}

void CCobbleDialog::SetItemImage(tTreeItem item, int image, int selectedImage)
{
    TVITEMA change = {};
    change.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    change.hItem = reinterpret_cast<HTREEITEM>(item);
    change.iImage = image;
    change.iSelectedImage = selectedImage;
    TreeView_SetItem(m_tree, &change);
}

void CCobbleDialog::Repaint()
{
    // Many items arrive per listing: one paint when the messages have been handled is enough.
    InvalidateRect(m_tree, nullptr, FALSE);
}
