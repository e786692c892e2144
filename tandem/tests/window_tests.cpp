// The main window in this process, with ports of its own: its panes and the local host, the
// event messages (the local host is never removed, the admission question is asked once),
// the chat box, sorting, the close question, the share dialog's checks and the first-run
// wizard. Modal dialogs and message boxes are answered through the dialog layer's hooks.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <functional>

#include "common/tests/test_support.h"
#include "common/ui/dialog.h"
#include "common/ui/message_box.h"
#include "common/ui/property_sheet.h"
#include "tandem/app/cobble_dialog.h"
#include "tandem/app/drop_target.h"
#include "tandem/res/resource.h"
#include "tandem/tests/tandem_test_support.h"

using namespace tandemtest;

namespace {

class WinsockEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(m_winsock.Ok()); }

private:
    raii::CWinsockInit m_winsock;
};
::testing::Environment* const g_winsock = ::testing::AddGlobalTestEnvironment(new WinsockEnvironment);

struct tObserverScope {
    explicit tObserverScope(ui::tDialogObserver observer) { ui::SetDialogObserver(std::move(observer)); }
    ~tObserverScope() { ui::SetDialogObserver(nullptr); }
};

struct tMessageScope {
    explicit tMessageScope(ui::tMessageHook hook) { ui::SetMessageHook(std::move(hook)); }
    ~tMessageScope() { ui::SetMessageHook(nullptr); }
};

// Answers this thread's messages (the workers send theirs here) until the condition holds.
bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs = 10000)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (condition())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

std::string TreeText(HWND tree, HTREEITEM item)
{
    char text[256] = "";
    TVITEMA data = {};
    data.mask = TVIF_TEXT;
    data.hItem = item;
    data.pszText = text;
    data.cchTextMax = sizeof text;
    TreeView_GetItem(tree, &data);
    return text;
}

std::string ListText(HWND list, int row, int column)
{
    char text[256] = "";
    ListView_GetItemText(list, row, column, text, sizeof text);
    return text;
}

HTREEITEM FindChild(HWND tree, HTREEITEM parent, const std::string& text)
{
    for (HTREEITEM item = TreeView_GetChild(tree, parent); item; item = TreeView_GetNextSibling(tree, item))
        if (TreeText(tree, item) == text)
            return item;
    return nullptr;
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        docs = shares.MakeFolder("docs");
        shares.WriteFile("docs\\small.txt", "12");
        shares.WriteFile("docs\\big.bin", std::string(5000, 'b'));
        shares.WriteFile("docs\\middle.txt", std::string(3000, 'm'));
        shares.MakeFolder("docs\\zfolder");
        shares.MakeFolder("docs\\afolder");
        shares.Share("docs", docs);
        WritePrivateProfileStringA("global", "hostname", "desk", shares.Settings().c_str());
        WritePrivateProfileStringA("global", "firstinstalled", "1", shares.Settings().c_str());
        WritePrivateProfileStringA("global", "sound", "0", shares.Settings().c_str());
        options.settingsPath = shares.Settings();
        options.discovery = false;
        options.discoveryOptions.announcePort = NextPort();
        options.serverLimits.port = NextPort();
        options.chatOptions.port = NextPort();
    }
    void TearDown() override
    {
        if (window && window->IsWindow()) {
            DestroyWindow(window->Handle());
            PumpUntil([] { return false; }, 50);
        }
        window.reset();
    }
    bool Open()
    {
        window.reset(new CCobbleDialog(GetModuleHandleA(nullptr), options));
        if (!window->CreateMain())
            return false;
        window->ShowMain(SW_SHOWNOACTIVATE);
        return true;
    }
    // The local host's root, once its shares are listed.
    HTREEITEM LocalShare(const std::string& name)
    {
        HTREEITEM found = nullptr;
        PumpUntil([&] { return (found = FindChild(window->Tree(), TreeView_GetRoot(window->Tree()), name)) != nullptr; });
        return found;
    }

    CShares shares;
    std::string docs;
    tCobbleOptions options;
    std::unique_ptr<CCobbleDialog> window;
};

TEST_F(WindowTest, ShowsTheLocalHostWithItsSharesAndFolders)
{
    VELMORA_REQUIRE_DISPLAY();
    ASSERT_TRUE(Open());
    HWND tree = window->Tree();
    EXPECT_EQ(TreeText(tree, TreeView_GetRoot(tree)), "desk");
    HTREEITEM share = LocalShare("docs");
    ASSERT_NE(share, nullptr);
    // Selecting the share lists its folders first, files after.
    TreeView_SelectItem(tree, share);
    HWND list = window->FileList();
    ASSERT_TRUE(PumpUntil([&] { return ListView_GetItemCount(list) == 5; }));
    EXPECT_EQ(ListText(list, 0, 0), "afolder");
    EXPECT_EQ(ListText(list, 1, 0), "zfolder");
    EXPECT_EQ(ListText(list, 2, 0), "big.bin");
    EXPECT_EQ(ListText(list, 1, 1), "") << "folders show no size";
    EXPECT_EQ(ListText(list, 2, 1), "5 kB");
    EXPECT_EQ(ListText(list, 4, 1), "1 kB") << "sizes are rounded up to whole kB";
    // The folders appear in the tree below the share.
    EXPECT_NE(FindChild(tree, share, "afolder"), nullptr);
    EXPECT_EQ(FindChild(tree, share, "small.txt"), nullptr) << "files never appear in the tree";
}

TEST_F(WindowTest, SizeHeaderClickedTwiceSortsDescendingWithFilesFirst)
{
    VELMORA_REQUIRE_DISPLAY();
    ASSERT_TRUE(Open());
    HTREEITEM share = LocalShare("docs");
    ASSERT_NE(share, nullptr);
    TreeView_SelectItem(window->Tree(), share);
    HWND list = window->FileList();
    ASSERT_TRUE(PumpUntil([&] { return ListView_GetItemCount(list) == 5; }));
    NMLISTVIEW click = {};
    click.hdr.hwndFrom = list;
    click.hdr.idFrom = IDC_FILELIST;
    click.hdr.code = LVN_COLUMNCLICK;
    click.iSubItem = 1;
    SendMessageA(window->Handle(), WM_NOTIFY, IDC_FILELIST, reinterpret_cast<LPARAM>(&click));
    EXPECT_EQ(ListText(list, 2, 0), "small.txt") << "ascending by size after the folders";
    SendMessageA(window->Handle(), WM_NOTIFY, IDC_FILELIST, reinterpret_cast<LPARAM>(&click));
    std::vector<std::string> order;
    for (int row = 0; row < 5; ++row)
        order.push_back(ListText(list, row, 0));
    EXPECT_EQ(order, (std::vector<std::string>{"big.bin", "middle.txt", "small.txt", "afolder", "zfolder"}));
    HDITEMA header = {};
    header.mask = HDI_FORMAT;
    Header_GetItem(ListView_GetHeader(list), 1, &header);
    EXPECT_TRUE(header.fmt & HDF_SORTDOWN);
}

TEST_F(WindowTest, LocalHostIsNeverRemovedByADisappearance)
{
    VELMORA_REQUIRE_DISPLAY();
    ASSERT_TRUE(Open());
    size_t index;
    ASSERT_TRUE(PumpUntil([&] { return window->Net()->FindHost(kLoopback, index); }));
    SendMessageA(window->Handle(), WM_TANDEM_HOST_DISAPPEARED, kLoopback, 0);
    EXPECT_TRUE(window->Net()->FindHost(kLoopback, index));
    EXPECT_NE(TreeView_GetRoot(window->Tree()), nullptr);
}

TEST_F(WindowTest, UnknownHostIsAskedAboutOnceThenRefusedSilently)
{
    VELMORA_REQUIRE_DISPLAY();
    ASSERT_TRUE(Open());
    std::vector<std::string> asked;
    int answer = IDNO;
    tMessageScope scope([&](HWND, const std::string& text, const std::string&, UINT) {
        asked.push_back(text);
        return answer;
    });
    uint32_t stranger = LoopbackAddress(77);
    EXPECT_EQ(SendMessageA(window->Handle(), WM_TANDEM_ADMISSION, stranger, 0), 0);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_NE(asked[0].find("127.0.0.77"), std::string::npos);
    EXPECT_EQ(SendMessageA(window->Handle(), WM_TANDEM_ADMISSION, stranger, 0), 0);
    EXPECT_EQ(asked.size(), 1u) << "refused without a second question";
    // Another host, allowed: it joins the host table and is not asked about again.
    answer = IDYES;
    uint32_t friendly = LoopbackAddress(78);
    EXPECT_EQ(SendMessageA(window->Handle(), WM_TANDEM_ADMISSION, friendly, 0), 1);
    size_t index;
    ASSERT_TRUE(PumpUntil([&] { return window->Net()->FindHost(friendly, index); }));
    EXPECT_EQ(window->Net()->GetHostKind(index), HOST_ADDED);
    EXPECT_EQ(SendMessageA(window->Handle(), WM_TANDEM_ADMISSION, friendly, 0), 1);
    EXPECT_EQ(asked.size(), 2u);
}

TEST_F(WindowTest, ChatMessageAppearsOnceInTheSendersOwnHistory)
{
    VELMORA_REQUIRE_DISPLAY();
    ASSERT_TRUE(Open());
    size_t index;
    ASSERT_TRUE(PumpUntil([&] { return window->Net()->FindHost(kLoopback, index); }));
    CChatBox& chat = window->ChatBox();
    SendMessageA(window->Handle(), WM_COMMAND, ID_SEND_CHAT, 0);
    chat.SetItemText(IDC_CHAT_MESSAGE, "hello all");
    SendMessageA(chat.Item(IDC_CHAT_SEND), BM_CLICK, 0, 0);
    EXPECT_EQ(chat.ItemText(IDC_CHAT_MESSAGE), "") << "the edit is emptied";
    ASSERT_TRUE(PumpUntil([&] { return !chat.History().empty(); }));
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(chat.History(), "desk: hello all");
    // From a host not in the table: its address.
    std::string text = "psst";
    struct {
        uint32_t sender;
        const std::string* text;
    } args{LoopbackAddress(50), &text};
    SendMessageA(window->Handle(), WM_TANDEM_CHAT, 0, reinterpret_cast<LPARAM>(&args));
    EXPECT_EQ(chat.History(), "desk: hello all\r\n127.0.0.50: psst");
}

TEST_F(WindowTest, RowTextsArePacedButTheNewestAlwaysShows)
{
    ASSERT_TRUE(Open());
    HWND view = window->TransferView();
    CTransfers& transfers = *window->Transfers();
    ASSERT_TRUE(transfers.UploadStarting(7, "\\docs\\a.txt", "laptop"));
    ASSERT_EQ(1, ListView_GetItemCount(view)) << "the first change after a quiet spell shows at once";
    std::string first = ListText(view, 0, 1);
    // A burst of texts: the view catches up with the newest within the pace.
    transfers.UploadStarted(7);
    transfers.UploadProgress(7, 40, 1.0);
    transfers.UploadProgress(7, 80, 1.0);
    transfers.UploadFinished(7, true);
    EXPECT_EQ(first, ListText(view, 0, 1)) << "held back while paced";
    EXPECT_TRUE(PumpUntil([&] { return ListText(view, 0, 1) == "Finished"; }, 2000)) << ListText(view, 0, 1);
}

TEST_F(WindowTest, ABurstOfUploadsReachesTheViewTogetherAndInOrder)
{
    ASSERT_TRUE(Open());
    HWND view = window->TransferView();
    CTransfers& transfers = *window->Transfers();
    // Enough rows for the view to scroll, each one's changes within the pace.
    const int kUploads = 60;
    for (int serial = 1; serial <= kUploads; ++serial) {
        ASSERT_TRUE(transfers.UploadStarting(serial, "\\docs\\f" + std::to_string(serial), "laptop"));
        transfers.UploadStarted(serial);
        transfers.UploadFinished(serial, serial % 2 == 0);
    }
    EXPECT_EQ(1, ListView_GetItemCount(view)) << "only the first row went in at once";
    ASSERT_TRUE(PumpUntil([&] { return ListView_GetItemCount(view) == kUploads; }, 2000))
        << ListView_GetItemCount(view);
    for (int row = 0; row < kUploads; ++row) {
        EXPECT_EQ("\\docs\\f" + std::to_string(row + 1), ListText(view, row, 0));
        EXPECT_EQ(row % 2 == 1 ? "Finished" : "Failed", ListText(view, row, 1)) << "row " << row;
        EXPECT_EQ("laptop", ListText(view, row, 2));
    }
    // After a quiet spell a new row goes in at once again; a row that comes and goes within
    // the pace never reaches the view, and the rows that count down leave together.
    PumpUntil([] { return false; }, 1000);
    ASSERT_TRUE(transfers.UploadStarting(100, "\\docs\\later", "laptop"));
    EXPECT_EQ(kUploads + 1, ListView_GetItemCount(view));
    ASSERT_TRUE(transfers.UploadStarting(101, "\\docs\\brief", "laptop"));
    transfers.UploadFinished(101, true);
    for (int second = 0; second < 6; ++second)
        transfers.Tick();
    ASSERT_TRUE(PumpUntil([&] { return ListView_GetItemCount(view) == 1; }, 2000)) << ListView_GetItemCount(view);
    EXPECT_EQ("\\docs\\later", ListText(view, 0, 0)) << "the upload still running keeps its row";
    EXPECT_EQ(1u, transfers.RowCount());
}

TEST_F(WindowTest, ClosingAsksOnlyWhileSomethingTransfers)
{
    VELMORA_REQUIRE_DISPLAY();
    ASSERT_TRUE(Open());
    int asked = 0;
    int answer = IDNO;
    tMessageScope scope([&](HWND, const std::string&, const std::string&, UINT) {
        ++asked;
        return answer;
    });
    window->Transfers()->UploadStarting(3, "\\docs\\big.bin", "laptop");
    SendMessageA(window->Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(window->IsWindow()) << "No keeps the program running";
    window->Transfers()->UploadFinished(3, true);
    SendMessageA(window->Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(asked, 1) << "nothing transfers: no question";
    EXPECT_FALSE(window->IsWindow());
    // The layout was saved on the way out.
    int left = GetPrivateProfileIntA("global", "leftpanelwidth", -1, shares.Settings().c_str());
    EXPECT_GT(left, 0);
    EXPECT_GT(GetPrivateProfileIntA("tandem", "XSize", 0, shares.Settings().c_str()), 0);
}

TEST_F(WindowTest, ShareDialogRefusesBadInputAndKeepsTheDialogOpen)
{
    VELMORA_REQUIRE_DISPLAY();
    ASSERT_TRUE(Open());
    std::string music = shares.MakeFolder("music");
    std::vector<std::string> told;
    tMessageScope messages([&](HWND, const std::string& text, const std::string&, UINT flags) {
        told.push_back(text);
        EXPECT_EQ(flags, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
        return IDOK;
    });
    std::string shownName, shownPath;
    tObserverScope observer([&](ui::CDialogBase& dialog) {
        if (dialog.TemplateId() != IDD_SHARE)
            return;
        shownName = dialog.ItemText(IDC_SHARE_NAME);
        shownPath = dialog.ItemText(IDC_SHARE_PATH);
        HWND hwnd = dialog.Handle();
        dialog.SetItemText(IDC_SHARE_NAME, "a\\b");
        SendMessageA(hwnd, WM_COMMAND, IDOK, 0);
        dialog.SetItemText(IDC_SHARE_NAME, "a=b");
        SendMessageA(hwnd, WM_COMMAND, IDOK, 0);
        dialog.SetItemText(IDC_SHARE_NAME, "songs");
        dialog.SetItemText(IDC_SHARE_PATH, music + "\\missing");
        SendMessageA(hwnd, WM_COMMAND, IDOK, 0);
        dialog.SetItemText(IDC_SHARE_PATH, "");
        SendMessageA(hwnd, WM_COMMAND, IDOK, 0);
        dialog.SetItemText(IDC_SHARE_PATH, music);
        PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
    });
    // A folder dropped on the tree opens the dialog with its name and path.
    window->ShareDroppedFolder(music);
    EXPECT_EQ(shownName, "music");
    EXPECT_EQ(shownPath, music);
    ASSERT_EQ(told.size(), 4u);
    EXPECT_EQ(told[0], "Please do not use the '\\' character in your share name.");
    EXPECT_NE(told[1].find("cannot be used"), std::string::npos);
    EXPECT_EQ(told[2], "The specified path is not valid.");
    EXPECT_EQ(told[3], "Please enter the name and path for the new share.");
    EXPECT_EQ(window->Settings().ShareFolder("songs"), music);
    EXPECT_NE(LocalShare("songs"), nullptr) << "the local share list is asked for again";
}

TEST_F(WindowTest, OptionsSheetStoresNameAndSoundAndRenamesTheLocalHost)
{
    VELMORA_REQUIRE_DISPLAY();
    WritePrivateProfileStringA("global", "sound", "1", shares.Settings().c_str());
    ASSERT_TRUE(Open());
    std::string shownName;
    bool shownSound = false;
    tObserverScope observer([&](ui::CDialogBase& dialog) {
        if (dialog.TemplateId() != IDD_GENERAL)
            return;
        shownName = dialog.ItemText(IDC_COMPUTER_NAME);
        shownSound = dialog.IsChecked(IDC_SOUND);
        dialog.SetItemText(IDC_COMPUTER_NAME, "attic");
        dialog.Check(IDC_SOUND, false);
        PostMessageA(GetParent(dialog.Handle()), PSM_PRESSBUTTON, PSBTN_OK, 0);
    });
    SendMessageA(window->Handle(), WM_COMMAND, ID_OPTIONS, 0);
    EXPECT_EQ(shownName, "desk");
    EXPECT_TRUE(shownSound);
    EXPECT_EQ(window->Settings().HostName(), "attic");
    EXPECT_EQ(window->Settings().GetInt("sound", 1), 0);
    EXPECT_EQ(TreeText(window->Tree(), TreeView_GetRoot(window->Tree())), "attic");
}

TEST(DropTargetTest, FirstFolderAmongTheDroppedFilesIsTaken)
{
    testsupport::CTempDir dir;
    std::string file = dir.File("a.txt");
    testsupport::WriteFileText(file, "x");
    std::string folder = dir.File("music");
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string names = file + '\0' + folder + '\0' + '\0';
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + names.size());
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), names.data(), names.size());
    EXPECT_EQ(FirstDroppedFolder(reinterpret_cast<HDROP>(drop)), folder);
    std::string onlyFile = file + '\0' + '\0';
    memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), onlyFile.data(), onlyFile.size());
    EXPECT_EQ(FirstDroppedFolder(reinterpret_cast<HDROP>(drop)), "");
    GlobalUnlock(memory);
    GlobalFree(memory);
}

TEST_F(WindowTest, CancelledFirstRunWizardIsNotShownAgain)
{
    VELMORA_REQUIRE_DISPLAY();
    WritePrivateProfileStringA("global", "firstinstalled", "0", shares.Settings().c_str());
    ASSERT_TRUE(Open());
    std::vector<UINT> pages;
    tObserverScope observer([&](ui::CDialogBase& dialog) {
        pages.push_back(dialog.TemplateId());
        if (dialog.TemplateId() == IDD_WIZ_WELCOME)
            PostMessageA(GetParent(dialog.Handle()), PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    });
    window->RunFirstRunWizardIfDue();
    EXPECT_EQ(pages.front(), static_cast<UINT>(IDD_WIZ_WELCOME));
    EXPECT_EQ(GetPrivateProfileIntA("global", "firstinstalled", 0, shares.Settings().c_str()), 1);
    pages.clear();
    window->RunFirstRunWizardIfDue();
    EXPECT_TRUE(pages.empty());
}

TEST_F(WindowTest, CompletedFirstRunWizardStoresNameAndShare)
{
    VELMORA_REQUIRE_DISPLAY();
    WritePrivateProfileStringA("global", "firstinstalled", "0", shares.Settings().c_str());
    ASSERT_TRUE(Open());
    std::string photos = shares.MakeFolder("photos");
    std::vector<std::string> told;
    tMessageScope messages([&](HWND, const std::string& text, const std::string&, UINT) {
        told.push_back(text);
        return IDOK;
    });
    tObserverScope observer([&](ui::CDialogBase& dialog) {
        HWND sheet = GetParent(dialog.Handle());
        switch (dialog.TemplateId()) {
        case IDD_WIZ_NAME:
            dialog.SetItemText(IDC_COMPUTER_NAME, "studio");
            EXPECT_TRUE(dialog.IsChecked(IDC_SHARE_NOW));
            break;
        case IDD_WIZ_PATH:
            dialog.SetItemText(IDC_SHARE_PATH, photos);
            break;
        case IDD_WIZ_SHARE_NAME:
            break;
        default:
            break;
        }
        // Pages are made as they are first shown: Next until the last, then Finish.
        PostMessageA(sheet, PSM_PRESSBUTTON, dialog.TemplateId() == IDD_WIZ_FINISH ? PSBTN_FINISH : PSBTN_NEXT, 0);
    });
    window->RunFirstRunWizardIfDue();
    EXPECT_TRUE(told.empty());
    EXPECT_EQ(window->Settings().HostName(), "studio");
    EXPECT_EQ(window->Settings().ShareFolder("photos"), photos);
    EXPECT_EQ(GetPrivateProfileIntA("global", "firstinstalled", 0, shares.Settings().c_str()), 1);
    ASSERT_TRUE(PumpUntil([&] { return TreeText(window->Tree(), TreeView_GetRoot(window->Tree())) == "studio"; }));
}

} // namespace

namespace {

// The help file the build compiled lies beside the programs, and its directory names every
// page of the help (a CHM directory keeps the names as plain text).
TEST(HelpFileTest, CompiledBesideTheProgramsWithEveryPage)
{
    std::string path = testsupport::ProgramFolder() + "\\tandemeng.chm";
    ASSERT_TRUE(testsupport::FileExists(path)) << path;
    std::string file = testsupport::ReadFileText(path);
    EXPECT_EQ(file.substr(0, 4), "ITSF");
    for (const char* page : {"/index.html", "/browsing.html", "/transfers.html", "/chat.html", "/shares.html",
                             "/options.html", "/toc.hhc", "/index.hhk"})
        EXPECT_NE(file.find(page), std::string::npos) << page;
}

} // namespace
