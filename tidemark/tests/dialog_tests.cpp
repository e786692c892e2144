#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>

#include "common/raii.h"
#include "common/registry.h"
#include "common/strings.h"
#include "common/tests/test_support.h"
#include "common/ui/dialog.h"
#include "common/ui/message_box.h"
#include "tidemark/confirmation_hook.h"
#include "tidemark/main_dialog.h"
#include "tidemark/progress_dialog.h"
#include "tidemark/res/resource.h"
#include "tidemark/tests/fake_system.h"
#include "tidemark/url_copy.h"

namespace {

HINSTANCE Module()
{
    return GetModuleHandleA(nullptr);
}

struct tObserverScope {
    explicit tObserverScope(ui::tDialogObserver observer) { ui::SetDialogObserver(std::move(observer)); }
    ~tObserverScope() { ui::SetDialogObserver(nullptr); }
};

struct tMessageScope {
    explicit tMessageScope(ui::tMessageHook hook) { ui::SetMessageHook(std::move(hook)); }
    ~tMessageScope() { ui::SetMessageHook(nullptr); }
};

void Click(HWND dialog, int id)
{
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void PostCommand(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

const int kBoxIds[] = {IDC_COOKIES, IDC_TEMPFILES, IDC_HISTORY, IDC_RECENT_LISTS, IDC_FORM_DATA, IDC_PASSWORDS};

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 10; ++i)
            m_fake.AddCache("Cookie:user@c" + std::to_string(i) + ".example/", 0x100000, 40);
        for (int i = 0; i < 50; ++i)
            m_fake.AddCache("http://cache.example/file" + std::to_string(i) + ".js", 0x1, 1000);
        for (int i = 0; i < 3; ++i)
            m_fake.AddCache("Visited: user@http://v" + std::to_string(i) + ".example/", 0x200001);
        m_fake.historyChildren = {"first", "second"};
    }

    tFakeSystem m_fake;
    CFakeSystemScope m_scope{m_fake};
};

} // namespace

TEST_F(DialogTest, BoxesShowTheOptionsAndCloseHandsThemBack)
{
    VELMORA_REQUIRE_DISPLAY();
    CMainDialog dialog(Module());
    dialog.m_options.cookies = false;
    dialog.m_options.history = false;
    std::vector<bool> shown;
    std::string listsText;
    tObserverScope scope([&](ui::CDialogBase& d) {
        for (int id : kBoxIds)
            shown.push_back(d.IsChecked(id));
        listsText = d.ItemText(IDC_RECENT_LISTS_TEXT);
        Click(d.Handle(), IDC_COOKIES);
        Click(d.Handle(), IDC_PASSWORDS);
        PostCommand(d.Handle(), IDOK);
    });
    EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
    EXPECT_EQ((std::vector<bool>{false, true, false, true, true, true}), shown);
    EXPECT_EQ(xUtilLoadString(Module(), IDS_RECENT_LISTS_TEXT), listsText);
    EXPECT_TRUE(dialog.m_options.cookies);
    EXPECT_FALSE(dialog.m_options.passwords);
    EXPECT_FALSE(dialog.m_options.history);
}

TEST_F(DialogTest, LeavingAnyOtherWayHandsNothingBack)
{
    VELMORA_REQUIRE_DISPLAY();
    for (UINT way : {0u, 1u}) {
        CMainDialog dialog(Module());
        tObserverScope scope([&](ui::CDialogBase& d) {
            Click(d.Handle(), IDC_COOKIES);
            if (way == 0)
                PostCommand(d.Handle(), IDCANCEL); // Escape
            else
                PostMessageA(d.Handle(), WM_CLOSE, 0, 0); // the close box
        });
        EXPECT_EQ(IDCANCEL, dialog.DoModal(nullptr));
        EXPECT_TRUE(dialog.m_options == tCleanOptions());
    }
}

TEST_F(DialogTest, DeleteWarnsAboutOpenBrowsersRunsOnceAndEnablesDeleteAgain)
{
    VELMORA_REQUIRE_DISPLAY();
    m_fake.documentWindows = 1;
    std::vector<std::string> messages;
    UINT flags = 0;
    tMessageScope messageScope([&](HWND owner, const std::string& text, const std::string& caption, UINT f) {
        messages.push_back(caption + "|" + text);
        flags = f;
        EXPECT_NE(nullptr, owner);
        return IDOK;
    });
    CMainDialog dialog(Module());
    dialog.m_options = NoOptions();
    dialog.m_options.cookies = true;
    ASSERT_TRUE(dialog.CreateModeless(nullptr));
    int progressDialogs = 0;
    bool deleteEnabledDuringRun = true;
    tObserverScope scope([&](ui::CDialogBase& d) {
        if (d.TemplateId() != IDD_PROGRESS)
            return;
        ++progressDialogs;
        deleteEnabledDuringRun = IsWindowEnabled(dialog.Item(IDC_DELETE)) != FALSE;
        // a second press while the run shows changes nothing
        PostCommand(dialog.Handle(), IDC_DELETE);
    });
    SendMessageA(dialog.Handle(), WM_COMMAND, MAKEWPARAM(IDC_DELETE, BN_CLICKED), 0);
    EXPECT_EQ(1, progressDialogs);
    EXPECT_FALSE(deleteEnabledDuringRun);
    EXPECT_TRUE(IsWindowEnabled(dialog.Item(IDC_DELETE)));
    EXPECT_EQ(IDOK, dialog.m_lastRun);
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ(xUtilLoadString(Module(), IDS_BROWSER_RUNNING_CAPTION) + "|" +
                  xUtilLoadString(Module(), IDS_BROWSER_RUNNING),
              messages[0]);
    EXPECT_TRUE(flags & MB_ICONEXCLAMATION);
    EXPECT_EQ(0u, m_fake.CacheLeft(0x100000)) << "the run goes on after the warning";
    EXPECT_EQ(50u, m_fake.CacheLeft(0));
    dialog.Destroy();
}

TEST_F(DialogTest, BarRangeIsTheWeightOfTheTickedOptionsAndTheBarEndsThere)
{
    VELMORA_REQUIRE_DISPLAY();
    struct tCase {
        tCleanOptions options;
        unsigned range;
    };
    tCleanOptions cookies = NoOptions(), both = NoOptions(), lists = NoOptions();
    cookies.cookies = true;
    both.cookies = both.tempFiles = true;
    lists.recentLists = true;
    for (const tCase& c : {tCase{cookies, 10}, tCase{lists, 800}, tCase{both, 60}, tCase{tCleanOptions(), 1260}}) {
        m_fake = tFakeSystem();
        SetUp();
        tCleanJob job;
        job.options = c.options;
        CProgressDialog progress(Module(), job);
        EXPECT_EQ(IDOK, progress.DoModal(nullptr));
        EXPECT_EQ(c.range, progress.m_range);
        EXPECT_EQ(c.range, progress.m_position);
        EXPECT_EQ(3u, m_fake.CacheLeft(0x200000));
    }
    EXPECT_EQ(0, UrlCopiesAlive());
}

TEST_F(DialogTest, LongCacheUrlsReachTheStatusLineWhole)
{
    VELMORA_REQUIRE_DISPLAY();
    m_fake.cache.clear();
    std::string url = "http://long.example/?" + std::string(100000, 'q') + "&x=%s%n \xE2\x82\xAC";
    m_fake.AddCache("http://short.example/", 0x1);
    m_fake.AddCache(url, 0x1);
    tCleanJob job;
    job.options = NoOptions();
    job.options.tempFiles = true;
    CProgressDialog progress(Module(), job);
    EXPECT_EQ(IDOK, progress.DoModal(nullptr));
    EXPECT_EQ(2u, progress.m_urlsShown);
    EXPECT_EQ(url, progress.m_lastUrl);
    EXPECT_EQ(0, UrlCopiesAlive());
}

TEST_F(DialogTest, CancelDuringTheHistoryFolderClosesWithCancelAndSkipsTheRest)
{
    VELMORA_REQUIRE_DISPLAY();
    m_fake.historyChildren.clear();
    for (int i = 0; i < 20; ++i)
        m_fake.historyChildren.push_back("page" + std::to_string(i));
    tCleanJob job;
    HWND window = nullptr;
    std::string statusAtCancel;
    tObserverScope scope([&](ui::CDialogBase& d) { window = d.Handle(); });
    m_fake.onEvent = [&](const std::string& event) {
        if (event != "history-folder-delete:page3")
            return;
        // the user presses Cancel; the worker goes on until it sees the flag
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        for (int i = 0; i < 500 && !job.cancelled; ++i)
            Sleep(10);
    };
    CProgressDialog progress(Module(), job);
    EXPECT_EQ(IDCANCEL, progress.DoModal(nullptr));
    EXPECT_TRUE(job.cancelled);
    EXPECT_EQ(16u, m_fake.historyChildren.size());
    EXPECT_FALSE(m_fake.historyEntryDeleted);
    EXPECT_EQ(0, m_fake.recentDocumentsCleared);
    EXPECT_TRUE(m_fake.cacheDeleted.empty());
    EXPECT_LT(progress.m_position, progress.m_range);
}

TEST_F(DialogTest, UrlCopiesStillQueuedWhenTheDialogGoesAreFreed)
{
    VELMORA_REQUIRE_DISPLAY();
    m_fake.cache.clear();
    for (int i = 0; i < 20000; ++i)
        m_fake.AddCache("http://many.example/" + std::to_string(i), 0x1);
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, owner);
    tCleanJob job;
    job.options = NoOptions();
    job.options.tempFiles = true;
    // The worker has posted a hundred addresses while this thread was held; it goes on until
    // it sees the flag, so that it cannot have finished before the dialog goes.
    raii::CHandle posted(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    m_fake.onEvent = [&](const std::string& event) {
        if (event != "cache-delete:http://many.example/100")
            return;
        SetEvent(posted.Get());
        for (int i = 0; i < 500 && !job.cancelled; ++i)
            Sleep(10);
    };
    tObserverScope scope([&](ui::CDialogBase& d) {
        // Runs after the start message: the worker posts while this thread waits, then the
        // owner goes and takes the dialog with it.
        ui::PostTask(d.Handle(), [&posted, owner] {
            WaitForSingleObject(posted.Get(), 10000);
            DestroyWindow(owner);
        });
    });
    CProgressDialog progress(Module(), job);
    progress.DoModal(owner);
    EXPECT_FALSE(IsWindow(owner));
    EXPECT_EQ(0, UrlCopiesAlive()) << "every queued copy was freed";
    EXPECT_GT(m_fake.cacheDeleted.size(), progress.m_urlsShown) << "copies were still queued";
    EXPECT_TRUE(job.cancelled) << "the worker was stopped with the dialog";
}

TEST_F(DialogTest, MessagesOfTheSameNumbersFromElsewhereAreIgnored)
{
    VELMORA_REQUIRE_DISPLAY();
    static char notACopy[] = "http://elsewhere.example/";
    tCleanJob job;
    job.options = NoOptions();
    job.options.cookies = true;
    tObserverScope scope([&](ui::CDialogBase& d) {
        // queued behind the dialog's own start message, before the worker has run
        PostMessageA(d.Handle(), CProgressDialog::kCacheUrlMessage, CProgressDialog::kCacheUrlKind,
                     reinterpret_cast<LPARAM>(notACopy));
        PostMessageA(d.Handle(), CProgressDialog::kFinishedMessage, 0, 0);
        PostMessageA(d.Handle(), CProgressDialog::kStartMessage, 0, 0);
    });
    CProgressDialog progress(Module(), job);
    EXPECT_EQ(IDOK, progress.DoModal(nullptr));
    EXPECT_EQ(10u, progress.m_urlsShown);
    EXPECT_EQ(10u, progress.m_position);
    EXPECT_EQ(10u, progress.m_range);
    EXPECT_STREQ("http://elsewhere.example/", notACopy);
    EXPECT_EQ(0u, m_fake.CacheLeft(0x100000));
}

TEST_F(DialogTest, PreviewListsTheTickedOptionsAndDeletesNothing)
{
    VELMORA_REQUIRE_DISPLAY();
    m_fake.historyUrls = {L"http://a.example/", L"http://b.example/"};
    m_fake.protectedItems = {{kAutoCompleteType, kSubtype, L"name:StringData"},
                             {kAutoCompleteType, kSubtype, L"http://x.example/:StringData"}};
    CMainDialog dialog(Module());
    dialog.m_options = NoOptions();
    dialog.m_options.cookies = dialog.m_options.passwords = dialog.m_options.history = true;
    std::vector<std::string> rows;
    tObserverScope scope([&](ui::CDialogBase& d) {
        if (d.TemplateId() == IDD_MAIN) {
            PostCommand(d.Handle(), IDC_PREVIEW);
            PostCommand(d.Handle(), IDCANCEL);
            return;
        }
        HWND list = d.Item(IDC_PREVIEW_LIST);
        int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            char what[256] = {}, found[256] = {};
            LVITEMA item = {};
            item.pszText = what;
            item.cchTextMax = sizeof what;
            SendMessageA(list, LVM_GETITEMTEXTA, i, reinterpret_cast<LPARAM>(&item));
            item.iSubItem = 1;
            item.pszText = found;
            SendMessageA(list, LVM_GETITEMTEXTA, i, reinterpret_cast<LPARAM>(&item));
            rows.push_back(std::string(what) + "=" + found);
        }
        PostCommand(d.Handle(), IDOK);
    });
    dialog.DoModal(nullptr);
    ASSERT_EQ(4u, rows.size());
    EXPECT_EQ(0u, rows[0].find("Cookies=10 entries, ")) << rows[0];
    EXPECT_EQ("Visited websites (history)=2 items", rows[1]);
    EXPECT_EQ("History folder=2 items", rows[2]);
    EXPECT_EQ("Stored passwords=2 items", rows[3]);
    EXPECT_TRUE(m_fake.events.empty()) << m_fake.events.front();
}

TEST(ConfirmationHook, AnswersTheOwnersQuestionsWithYesOnly)
{
    VELMORA_REQUIRE_DISPLAY();
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HWND stranger = CreateWindowExA(0, "STATIC", "other", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(owner && stranger);
    // Ends a message box the hook leaves alone, as a user would: with No.
    struct tAnswerNo {
        static void CALLBACK Timer(HWND, UINT, UINT_PTR, DWORD)
        {
            EnumThreadWindows(GetCurrentThreadId(), [](HWND hwnd, LPARAM) -> BOOL {
                char name[16] = {};
                GetClassNameA(hwnd, name, sizeof name);
                if (strcmp(name, "#32770") == 0)
                    PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
                return TRUE;
            }, 0);
        }
    };
    UINT_PTR timer = SetTimer(nullptr, 0, 700, tAnswerNo::Timer);
    {
        CConfirmationHook hook(owner);
        ASSERT_TRUE(hook.IsInstalled());
        EXPECT_EQ(IDYES, MessageBoxA(owner, "Delete?", "Confirm", MB_YESNO));
        EXPECT_EQ(IDYES, MessageBoxA(nullptr, "Delete?", "Confirm", MB_YESNO)) << "made without owner";
        EXPECT_EQ(IDNO, MessageBoxA(stranger, "Delete?", "Confirm", MB_YESNO));
        EXPECT_EQ(2u, hook.Answered());
    }
    EXPECT_EQ(IDNO, MessageBoxA(owner, "Delete?", "Confirm", MB_YESNO)) << "only while installed";
    KillTimer(nullptr, timer);
    DestroyWindow(owner);
    DestroyWindow(stranger);
}
