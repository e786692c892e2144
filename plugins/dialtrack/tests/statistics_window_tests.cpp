// The statistics window on its own thread, driven as a user would through its controls: the
// list of calls with its context menu, the monthly page with its month list and "Delete
// statistic", questions answered through the message hook or, where the point is a real
// question, left open for Close to answer.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "common/raii.h"
#include "common/tests/test_support.h"
#include "common/ui/message_box.h"
#include "plugins/dialtrack/dialtrack_plugin.h"
#include "plugins/dialtrack/formats.h"
#include "plugins/dialtrack/res/dialtrack_resource.h"
#include "plugins/dialtrack/statistics_window.h"
#include "plugins/dialtrack/tests/fake_dialup.h"

namespace {

bool WaitFor(const std::function<bool()>& condition, DWORD ms = 5000)
{
    return testsupport::WaitFor(condition, ms);
}

std::string ItemText(HWND list, int row, int column)
{
    char text[256] = "";
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

std::string WindowText(HWND window)
{
    char text[256] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

int Count(HWND list)
{
    return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
}

struct tQuestion {
    std::string text;
    std::string caption;
    UINT flags = 0;
};

// Answers every question with `answer` and keeps what was asked.
class CAnswers {
public:
    explicit CAnswers(int answer)
    {
        ui::SetMessageHook([this, answer](HWND, const std::string& text, const std::string& caption, UINT flags) {
            raii::CLock lock(m_lock);
            m_asked.push_back({text, caption, flags});
            return answer;
        });
    }
    ~CAnswers() { ui::SetMessageHook(nullptr); }
    std::vector<tQuestion> Asked()
    {
        raii::CLock lock(m_lock);
        return m_asked;
    }

private:
    raii::CCriticalSection m_lock;
    std::vector<tQuestion> m_asked;
};

class StatisticsWindowTest : public ::testing::Test {
protected:
    void Write(const std::string& name, int year, int month, int day, uint32_t duration, uint64_t sent, uint64_t received)
    {
        CCallRecord record;
        record.m_entryName = name;
        record.m_start = {year, month, day, 12, 0, 0};
        record.m_duration = duration;
        record.m_sent = sent;
        record.m_received = received;
        ASSERT_TRUE(m_files.WriteCall(record));
    }
    HWND OpenSheet()
    {
        m_window.Open();
        HWND sheet = nullptr;
        WaitFor([&] { return (sheet = m_window.GetSheet()) != nullptr; });
        return sheet;
    }
    static HWND Page(HWND sheet)
    {
        return reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    }
    std::string Log() { return testsupport::ReadFileText(m_dir.File("connection.csv")); }

    testsupport::CTempDir m_dir;
    CStatisticFiles m_files{m_dir.Path()};
    raii::CHandle m_changed{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    CStatisticsWindow m_window{GetModuleHandleA(nullptr), m_files, m_changed.Get()};
};

} // namespace

TEST_F(StatisticsWindowTest, CallsAreListedAndOneIsDeletedThroughTheContextMenu)
{
    VELMORA_REQUIRE_DISPLAY();
    Write("Office", 2026, 10, 1, 3661, 1048576, 3 * 1048576);
    Write("Home", 2026, 10, 2, 60, 0, 524288);
    Write("Office", 2026, 10, 3, 86400, 1, 1);
    std::string before = Log();
    HWND sheet = OpenSheet();
    ASSERT_NE(nullptr, sheet);
    EXPECT_EQ("Connection statistics", WindowText(sheet));
    HWND list = GetDlgItem(Page(sheet), IDC_CALL_LIST);
    ASSERT_NE(nullptr, list);
    ASSERT_EQ(3, Count(list));
    EXPECT_EQ("Office", ItemText(list, 0, 0));
    EXPECT_EQ(LocalStartText({2026, 10, 1, 12, 0, 0}), ItemText(list, 0, 1));
    EXPECT_EQ("00:01:01:01", ItemText(list, 0, 2));
    EXPECT_EQ("1.00 MB", ItemText(list, 0, 3)) << "Upload is what was sent";
    EXPECT_EQ("3.00 MB", ItemText(list, 0, 4));
    EXPECT_EQ("Home", ItemText(list, 1, 0));
    EXPECT_EQ("01:00:00:00", ItemText(list, 2, 2));

    CAnswers answers(IDYES);
    LVITEMA state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&state));
    // The context menu from the keyboard; its one entry chosen with the arrow and Enter keys.
    PostMessageA(GetParent(list), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), -1);
    ASSERT_TRUE(WaitFor([] { return FindWindowA("#32768", nullptr) != nullptr; })) << "the menu opens";
    PostMessageA(list, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(list, WM_KEYDOWN, VK_RETURN, 0);
    ASSERT_TRUE(WaitFor([&] { return Count(list) == 2; }));
    std::vector<tQuestion> asked = answers.Asked();
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ("Do you really want to delete the selected entry?\nThis action can not be undone.", asked[0].text);
    EXPECT_EQ("Delete connection data", asked[0].caption);
    EXPECT_EQ("Office", ItemText(list, 1, 0));
    std::vector<std::string> lines = SplitLogLines(before);
    EXPECT_EQ(lines[0] + lines[2], Log());

    m_window.Close();
    ASSERT_FALSE(m_window.IsRunning());
}

TEST_F(StatisticsWindowTest, SeveralEntriesAreAskedForTogetherAndNoKeepsThem)
{
    VELMORA_REQUIRE_DISPLAY();
    Write("A", 2026, 9, 1, 10, 1, 1);
    Write("B", 2026, 9, 2, 10, 1, 1);
    std::string before = Log();
    HWND sheet = OpenSheet();
    ASSERT_NE(nullptr, sheet);
    HWND list = GetDlgItem(Page(sheet), IDC_CALL_LIST);
    CAnswers answers(IDNO);
    LVITEMA state = {};
    state.stateMask = LVIS_SELECTED;
    state.state = LVIS_SELECTED;
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    PostMessageA(list, WM_KEYDOWN, VK_DELETE, 0);
    ASSERT_TRUE(WaitFor([&] { return !answers.Asked().empty(); }));
    EXPECT_EQ("Do you really want to delete the selected entries?\nThis action can not be undone.", answers.Asked()[0].text);
    Sleep(100);
    EXPECT_EQ(2, Count(list));
    EXPECT_EQ(before, Log());
}

TEST_F(StatisticsWindowTest, TheMonthlyPageShowsAMonthsTotalsAndDeletesTheStatistics)
{
    VELMORA_REQUIRE_DISPLAY();
    tMonth now = CurrentLocalMonth();
    tMonth before = MonthsUpTo(now, 3)[0];
    Write("Office", now.year, now.month, 1, 3 * 3600 + 5 * 60, 2 * 1048576, 6 * 1048576);
    Write("Home", now.year, now.month, 1, 60, 0, 1048576);
    Write("Office", before.year, before.month, 1, 600, 1048576, 0);
    HWND sheet = OpenSheet();
    ASSERT_NE(nullptr, sheet);
    SendMessageA(sheet, PSM_SETCURSEL, 1, 0);
    HWND page = Page(sheet);
    ASSERT_NE(nullptr, GetDlgItem(page, IDC_MONTH_LIST));
    HWND months = GetDlgItem(page, IDC_MONTH_LIST);
    ASSERT_EQ(2, SendMessageA(months, CB_GETCOUNT, 0, 0));
    EXPECT_EQ(0, SendMessageA(months, CB_GETCURSEL, 0, 0)) << "the current month first";
    EXPECT_EQ("Current month (" + YearMonthText(now) + ")", WindowText(GetDlgItem(page, IDC_MONTH_VALUES)));
    EXPECT_EQ("3h 06min", WindowText(GetDlgItem(page, IDC_MONTH_DURATION)));
    EXPECT_EQ("2.00 MB", WindowText(GetDlgItem(page, IDC_MONTH_SENT)));
    EXPECT_EQ("7.00 MB", WindowText(GetDlgItem(page, IDC_MONTH_RECEIVED)));
    EXPECT_EQ("9.00 MB", WindowText(GetDlgItem(page, IDC_MONTH_VOLUME)));

    SendMessageA(months, CB_SETCURSEL, 1, 0);
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_MONTH_LIST, CBN_SELCHANGE), reinterpret_cast<LPARAM>(months));
    EXPECT_EQ("Overview (" + YearMonthText(before) + ")", WindowText(GetDlgItem(page, IDC_MONTH_VALUES)));
    EXPECT_EQ("0h 10min", WindowText(GetDlgItem(page, IDC_MONTH_DURATION)));
    EXPECT_EQ("1.00 MB", WindowText(GetDlgItem(page, IDC_MONTH_VOLUME)));

    CAnswers answers(IDYES);
    PostMessageA(GetDlgItem(page, IDC_DELETE_STATISTIC), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return SendMessageA(months, CB_GETCOUNT, 0, 0) == 1; }));
    ASSERT_EQ(1u, answers.Asked().size());
    EXPECT_EQ("Do you really want to delete all statistics?\n This action can not be undone.", answers.Asked()[0].text);
    EXPECT_EQ("Delete statistics", answers.Asked()[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONWARNING), answers.Asked()[0].flags);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m_changed.Get(), 0)) << "the plug-in is told";
    EXPECT_EQ("", Log());
    EXPECT_EQ("", testsupport::ReadFileText(m_dir.File("stats.log")));
    ASSERT_TRUE(WaitFor([&] { return WindowText(GetDlgItem(page, IDC_MONTH_VOLUME)) == "0.00 MB"; }));
    // The other page was told as well.
    SendMessageA(sheet, PSM_SETCURSEL, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return Count(GetDlgItem(Page(sheet), IDC_CALL_LIST)) == 0; }));
}

TEST_F(StatisticsWindowTest, ACallLoggedWhileTheWindowIsOpenShowsInIt)
{
    VELMORA_REQUIRE_DISPLAY();
    Write("Office", 2026, 8, 1, 10, 1, 1);
    HWND sheet = OpenSheet();
    ASSERT_NE(nullptr, sheet);
    HWND list = GetDlgItem(Page(sheet), IDC_CALL_LIST);
    EXPECT_EQ(1, Count(list));
    Write("Home", 2026, 8, 2, 10, 1, 1);
    m_window.DataChanged();
    ASSERT_TRUE(WaitFor([&] { return Count(list) == 2; }));
    // Opening again brings the same window forward.
    m_window.Open();
    EXPECT_EQ(sheet, m_window.GetSheet());
}

TEST_F(StatisticsWindowTest, CloseAnswersAnOpenQuestionNoAndEndsTheWindow)
{
    VELMORA_REQUIRE_DISPLAY();
    Write("Office", 2026, 8, 1, 10, 1, 1);
    std::string before = Log();
    HWND sheet = OpenSheet();
    ASSERT_NE(nullptr, sheet);
    HWND list = GetDlgItem(Page(sheet), IDC_CALL_LIST);
    LVITEMA state = {};
    state.stateMask = LVIS_SELECTED;
    state.state = LVIS_SELECTED;
    SendMessageA(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
    // A real question this time.
    PostMessageA(list, WM_KEYDOWN, VK_DELETE, 0);
    ASSERT_TRUE(WaitFor([] { return FindWindowA(nullptr, "Delete connection data") != nullptr; }));
    DWORD start = GetTickCount();
    m_window.Close();
    EXPECT_LT(GetTickCount() - start, 3000u);
    EXPECT_FALSE(m_window.IsRunning());
    EXPECT_EQ(nullptr, m_window.GetSheet());
    EXPECT_EQ(before, Log()) << "the question was answered No";
    // And again, with a context menu open.
    sheet = OpenSheet();
    ASSERT_NE(nullptr, sheet);
    list = GetDlgItem(Page(sheet), IDC_CALL_LIST);
    PostMessageA(GetParent(list), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), -1);
    ASSERT_TRUE(WaitFor([] { return FindWindowA("#32768", nullptr) != nullptr; }));
    m_window.Close();
    EXPECT_FALSE(m_window.IsRunning());
    EXPECT_EQ(before, Log());
}

namespace {

class PluginWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DialtrackAttach(GetModuleHandleA(nullptr));
        DialtrackSetFolder(m_dir.Path());
        DialtrackSetTimeout(CDialtrackPlugin::kTimeoutMs);
    }
    void TearDown() override
    {
        DialtrackCleanup();
        DialtrackDetach(false);
    }

    testsupport::CTempDir m_dir;
    CFakeDialup m_world;
    raii::CHandle m_cancel{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    raii::CHandle m_refresh{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
};

} // namespace

TEST_F(PluginWindowTest, TheOpenWindowBlocksNeitherGetStateNorCleanup)
{
    VELMORA_REQUIRE_DISPLAY();
    testsupport::WriteFileText(m_dir.File("stats.log"), "[Office_2026_0a]\r\nDuration=60\r\n");
    SetEvent(m_refresh.Get());
    CState* tree = DialtrackGetState(m_cancel.Get(), m_refresh.Get());
    ASSERT_EQ(1, tree->GetCount());
    CItem* overview = tree->GetAt(0);
    // The row menu's entry, as the monitor's window thread calls it.
    (*overview->GetActions())[0].proc(nullptr, overview->GetId(), nullptr);
    CStatisticsWindow& window = DialtrackPlugin()->GetStatisticsWindow();
    ASSERT_TRUE(WaitFor([&] { return window.GetSheet() != nullptr; }));
    // GetState keeps its second.
    DWORD start = GetTickCount();
    DialtrackGetState(m_cancel.Get(), m_refresh.Get());
    DialtrackGetState(m_cancel.Get(), m_refresh.Get());
    DWORD took = GetTickCount() - start;
    EXPECT_GE(took, 1800u);
    EXPECT_LT(took, 3000u);
    // "Delete statistic" in the window reaches the overview through the plug-in's event.
    {
        CAnswers answers(IDYES);
        HWND sheet = window.GetSheet();
        SendMessageA(sheet, PSM_SETCURSEL, 1, 0);
        HWND page = reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
        PostMessageA(GetDlgItem(page, IDC_DELETE_STATISTIC), BM_CLICK, 0, 0);
        ASSERT_TRUE(WaitFor([&] { return !answers.Asked().empty(); }));
        start = GetTickCount();
        tree = DialtrackGetState(m_cancel.Get(), m_refresh.Get());
        EXPECT_LT(GetTickCount() - start, 900u) << "woken by the window";
        EXPECT_EQ(1, tree->GetCount()) << "the overview stays";
    }
    start = GetTickCount();
    DialtrackCleanup();
    EXPECT_LT(GetTickCount() - start, 3000u);
    EXPECT_EQ(nullptr, FindWindowA(nullptr, "Connection statistics"));
}
