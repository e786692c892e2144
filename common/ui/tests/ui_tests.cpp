#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <vector>

#include "common/tests/test_support.h"
#include "common/strings.h"
#include "common/thread.h"
#include "common/ui/dialog.h"
#include "common/ui/message_box.h"
#include "common/ui/property_sheet.h"
#include "common/ui/tests/ui_tests_resource.h"

namespace {

HINSTANCE TestModule()
{
    return GetModuleHandleA(nullptr);
}

bool HaveDisplay()
{
    HWND probe = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (!probe)
        return false;
    DestroyWindow(probe);
    return true;
}

#define REQUIRE_DISPLAY()                                                              \
    do {                                                                               \
        if (!HaveDisplay()) {                                                          \
            if (testsupport::DisplayRequired())                                        \
                FAIL() << "no window can be made although a display was promised";    \
            GTEST_SKIP() << "no display";                                              \
        }                                                                              \
    } while (0)

// Removes the observer when a test ends, however it ends.
struct tObserverScope {
    explicit tObserverScope(ui::tDialogObserver observer) { ui::SetDialogObserver(std::move(observer)); }
    ~tObserverScope() { ui::SetDialogObserver(nullptr); }
};

class CNameDialog : public ui::CDialog {
public:
    CNameDialog() : CDialog(TestModule(), IDD_TEST_DIALOG) {}

    std::string m_name;
    bool m_flag = false;
    bool m_refuse = false;
    int m_saveAttempts = 0;

protected:
    bool OnInitDialog() override
    {
        SetItemText(IDC_TEST_EDIT, m_name);
        Check(IDC_TEST_CHECK, m_flag);
        return true;
    }
    bool OnSaveData() override
    {
        ++m_saveAttempts;
        if (m_refuse) {
            m_refuse = false; // the next attempt succeeds
            return false;
        }
        m_name = ItemText(IDC_TEST_EDIT);
        m_flag = IsChecked(IDC_TEST_CHECK);
        return true;
    }
    bool OnCommand(WORD id, WORD code, HWND control) override
    {
        if (id == IDC_TEST_THROW)
            throw std::runtime_error("handler failure");
        return CDialog::OnCommand(id, code, control);
    }
};

void PostCommand(HWND window, int id)
{
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

} // namespace

TEST(Dialog, FieldsGoInAndComeBackOnOK)
{
    REQUIRE_DISPLAY();
    CNameDialog dialog;
    dialog.m_name = "before";
    std::string shown;
    tObserverScope scope([&](ui::CDialogBase& d) {
        shown = d.ItemText(IDC_TEST_EDIT);
        d.SetItemText(IDC_TEST_EDIT, "after");
        d.Check(IDC_TEST_CHECK, true);
        PostCommand(d.Handle(), IDOK);
    });
    EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
    EXPECT_EQ("before", shown);
    EXPECT_EQ("after", dialog.m_name);
    EXPECT_TRUE(dialog.m_flag);
    EXPECT_EQ(nullptr, dialog.Handle()) << "the handle is cleared when the window goes";
}

TEST(Dialog, RefusedDataKeepsTheDialogOpenAndCancelLeavesFieldsAlone)
{
    REQUIRE_DISPLAY();
    CNameDialog dialog;
    dialog.m_name = "kept";
    dialog.m_refuse = true;
    tObserverScope scope([&](ui::CDialogBase& d) {
        d.SetItemText(IDC_TEST_EDIT, "typed");
        PostCommand(d.Handle(), IDOK);     // refused: stays open
        PostCommand(d.Handle(), IDC_TEST_THROW); // a handler that throws is contained
        PostCommand(d.Handle(), IDCANCEL);
    });
    EXPECT_EQ(IDCANCEL, dialog.DoModal(nullptr));
    EXPECT_EQ(1, dialog.m_saveAttempts);
    EXPECT_EQ("kept", dialog.m_name);
}

TEST(Dialog, ModelessDialogEndsWithDestroy)
{
    REQUIRE_DISPLAY();
    CNameDialog dialog;
    ASSERT_TRUE(dialog.CreateModeless(nullptr));
    EXPECT_TRUE(dialog.IsWindow());
    dialog.SetItemText(IDC_TEST_EDIT, "x");
    EXPECT_EQ("x", dialog.ItemText(IDC_TEST_EDIT));
    PostCommand(dialog.Handle(), IDCANCEL);
    MSG msg;
    while (dialog.Handle() && GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageA(dialog.Handle(), &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    EXPECT_EQ(nullptr, dialog.Handle());
}

namespace {

class CTaskWindow : public ui::CWindowImpl {
public:
    bool Make()
    {
        RegisterClass(TestModule(), "VelmoraUiTestWindow");
        return Create(TestModule(), "VelmoraUiTestWindow", "", WS_POPUP, 0, 0, 0, 10, 10, nullptr) != nullptr;
    }
    int m_messages = 0;

protected:
    bool OnMessage(UINT message, WPARAM, LPARAM, LRESULT& result) override
    {
        if (message == WM_APP) {
            ++m_messages;
            throw std::runtime_error("contained");
        }
        (void)result;
        return false;
    }
};

void Pump(DWORD ms)
{
    DWORD start = GetTickCount();
    MSG msg;
    while (GetTickCount() - start < ms) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

} // namespace

TEST(Tasks, WorkersHandWorkToTheWindowThread)
{
    REQUIRE_DISPLAY();
    CTaskWindow window;
    ASSERT_TRUE(window.Make());
    DWORD uiThread = GetCurrentThreadId();
    std::atomic<DWORD> postedOn{0}, sentOn{0};
    std::atomic<bool> sentReturned{false};
    CThread worker;
    ASSERT_TRUE(worker.Start([&](CThread&) {
        ui::PostTask(window.Handle(), [&] { postedOn = GetCurrentThreadId(); });
        sentReturned = ui::SendTask(window.Handle(), [&] { sentOn = GetCurrentThreadId(); });
    }));
    // The worker's SendTask needs this thread to answer.
    xUtilWaitAnsweringSentMessages(worker.Handle(), 5000);
    Pump(50);
    EXPECT_TRUE(worker.Join(1000));
    EXPECT_EQ(uiThread, postedOn.load());
    EXPECT_EQ(uiThread, sentOn.load());
    EXPECT_TRUE(sentReturned);

    // An exception in a handler is contained; the window keeps working.
    SendMessageA(window.Handle(), WM_APP, 0, 0);
    EXPECT_EQ(1, window.m_messages);
    bool ran = false;
    EXPECT_TRUE(ui::SendTask(window.Handle(), [&] { ran = true; }));
    EXPECT_TRUE(ran) << "on the window's own thread a sent task runs at once";
    window.Destroy();
}

TEST(Tasks, TasksOfAWindowThatEndsAreDestroyedUnrun)
{
    REQUIRE_DISPLAY();
    auto alive = std::make_shared<int>(0);
    bool ran = false;
    {
        CTaskWindow window;
        ASSERT_TRUE(window.Make());
        for (int i = 0; i < 100; ++i)
            ASSERT_TRUE(ui::PostTask(window.Handle(), [alive, &ran] { ran = true; }));
        EXPECT_EQ(101, alive.use_count());
        window.Destroy();
    }
    EXPECT_FALSE(ran);
    EXPECT_EQ(1, alive.use_count()) << "every queued copy was freed";
    EXPECT_FALSE(ui::PostTask(nullptr, [alive] {}));
    EXPECT_EQ(1, alive.use_count());
}

namespace {

class CRecordingPage : public ui::CPropertyPage {
public:
    CRecordingPage(UINT templateId, std::vector<std::string>& log, const char* name)
        : CPropertyPage(TestModule(), templateId), m_log(log), m_name(name) {}

    LRESULT m_setActiveAnswer = 0;
    LRESULT m_nextAnswer = 0;
    bool m_applied = false;
    bool m_checked = false;

protected:
    LRESULT OnSetActive() override
    {
        m_log.push_back(m_name + ".active");
        SetWizardButtons(PSWIZB_NEXT | PSWIZB_BACK);
        return m_setActiveAnswer;
    }
    LRESULT OnWizardNext() override
    {
        m_log.push_back(m_name + ".next");
        return m_nextAnswer;
    }
    bool OnWizardFinish() override
    {
        m_log.push_back(m_name + ".finish");
        return true;
    }
    bool OnApply() override
    {
        m_applied = true;
        if (Item(IDC_TEST_CHECK))
            m_checked = IsChecked(IDC_TEST_CHECK);
        return true;
    }
    bool OnCommand(WORD id, WORD code, HWND) override
    {
        if (id == IDC_TEST_CHECK && code == BN_CLICKED) {
            SetModified(true);
            return true;
        }
        return false;
    }

private:
    std::vector<std::string>& m_log;
    std::string m_name;
};

} // namespace

TEST(Sheets, ApplyReachesTheVisitedPagesOnly)
{
    REQUIRE_DISPLAY();
    std::vector<std::string> log;
    CRecordingPage first(IDD_TEST_PAGE1, log, "first");
    CRecordingPage second(IDD_TEST_PAGE2, log, "second");
    ui::CPropertySheet sheet(TestModule(), "Options");
    sheet.AddPage(first);
    sheet.AddPage(second);
    tObserverScope scope([&](ui::CDialogBase& page) {
        if (page.TemplateId() == IDD_TEST_PAGE1) {
            page.Check(IDC_TEST_CHECK, true);
            PostMessageA(page.Handle(), WM_COMMAND, MAKEWPARAM(IDC_TEST_CHECK, BN_CLICKED), 0);
            PostMessageA(GetParent(page.Handle()), PSM_PRESSBUTTON, PSBTN_OK, 0);
        }
    });
    EXPECT_GT(sheet.DoModal(nullptr), 0) << "OK with a changed page";
    EXPECT_TRUE(first.m_applied);
    EXPECT_TRUE(first.m_checked);
    EXPECT_FALSE(second.m_applied) << "a page never shown was never made";
}

TEST(Sheets, WizardSkipsAndJumpsAsThePagesAnswer)
{
    REQUIRE_DISPLAY();
    std::vector<std::string> log;
    CRecordingPage first(IDD_TEST_PAGE1, log, "first");
    CRecordingPage second(IDD_TEST_PAGE2, log, "second");
    CRecordingPage third(IDD_TEST_PAGE3, log, "third");
    first.SetExterior(true);
    second.SetHeader(IDS_TEST_CAPTION, IDS_TEST_TEXT);
    third.SetExterior(true);
    // The first page jumps over the second; coming back is never asked for.
    first.m_nextAnswer = IDD_TEST_PAGE3;
    ui::CPropertySheet sheet(TestModule(), "Wizard");
    sheet.SetWizard97(0, 0);
    sheet.AddPage(first);
    sheet.AddPage(second);
    sheet.AddPage(third);
    tObserverScope scope([&](ui::CDialogBase& page) {
        HWND hwndSheet = GetParent(page.Handle());
        if (page.TemplateId() == IDD_TEST_PAGE1)
            PostMessageA(hwndSheet, PSM_PRESSBUTTON, PSBTN_NEXT, 0);
        if (page.TemplateId() == IDD_TEST_PAGE3)
            PostMessageA(hwndSheet, PSM_PRESSBUTTON, PSBTN_FINISH, 0);
    });
    sheet.DoModal(nullptr);
    EXPECT_EQ((std::vector<std::string>{"first.active", "first.next", "third.active", "third.finish"}), log);
}

TEST(Messages, HookAnswersInsteadOfTheUser)
{
    std::string text, caption;
    ui::SetMessageHook([&](HWND, const std::string& t, const std::string& c, UINT flags) {
        text = t;
        caption = c;
        return (flags & MB_YESNO) ? IDNO : IDOK;
    });
    EXPECT_EQ(IDNO, ui::ShowMessage(nullptr, TestModule(), IDS_TEST_TEXT, IDS_TEST_CAPTION, MB_YESNO));
    EXPECT_EQ("Delete the file?", text);
    EXPECT_EQ("Test", caption);
    ui::SetMessageHook(nullptr);
}

TEST(Languages, TextsAndDialogsComeInTheChosenLanguage)
{
    REQUIRE_DISPLAY();
    struct tReset {
        ~tReset() { xUtilSetResourceLanguage(0); }
    } reset;
    xUtilSetResourceLanguage(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN_AUSTRIAN));
    EXPECT_EQ("Datei entfernen?", xUtilLoadString(TestModule(), IDS_TEST_TEXT)) << "matched by the primary language";
    CNameDialog dialog;
    std::string caption;
    tObserverScope scope([&](ui::CDialogBase& d) {
        caption = d.Text();
        PostCommand(d.Handle(), IDCANCEL);
    });
    dialog.DoModal(nullptr);
    EXPECT_EQ("Testdialog", caption);
    xUtilSetResourceLanguage(MAKELANGID(LANG_SPANISH, SUBLANG_NEUTRAL));
    EXPECT_EQ("Delete the file?", xUtilLoadString(TestModule(), IDS_TEST_TEXT)) << "a language it lacks: the system's choice";
    xUtilSetResourceLanguage(0);
    EXPECT_EQ("Delete the file?", xUtilLoadString(TestModule(), IDS_TEST_TEXT));
    std::vector<LANGID> languages = xUtilResourceLanguages(TestModule(), RT_DIALOG, MAKEINTRESOURCEA(IDD_TEST_DIALOG));
    EXPECT_EQ(2u, languages.size());
    EXPECT_EQ(0, xUtilMatchLanguage(MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), languages));
}

namespace {

INT_PTR CALLBACK DescribedPageProcedure(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

} // namespace

TEST(Sheets, PagesDescribedByOthersAndJumpsByIndex)
{
    REQUIRE_DISPLAY();
    std::vector<std::string> log;
    CRecordingPage first(IDD_TEST_PAGE1, log, "first");
    CRecordingPage third(IDD_TEST_PAGE3, log, "third");
    PROPSHEETPAGEA described = {};
    described.dwSize = sizeof described;
    described.hInstance = TestModule();
    described.pszTemplate = MAKEINTRESOURCEA(IDD_TEST_PAGE2);
    described.pfnDlgProc = DescribedPageProcedure;
    ui::CPropertySheet sheet(TestModule(), "Wizard");
    sheet.SetWizard();
    sheet.AddPage(first);
    sheet.AddPage(described);
    sheet.AddPage(third);
    EXPECT_EQ(3u, sheet.PageCount());
    bool describedShown = false;
    tObserverScope scope([&](ui::CDialogBase& page) {
        HWND hwndSheet = GetParent(page.Handle());
        if (page.TemplateId() == IDD_TEST_PAGE1) {
            // Next leads to the described page; from there the first page jumps to the last.
            ui::PostTask(page.Handle(), [&, hwndSheet] {
                SendMessageA(hwndSheet, PSM_PRESSBUTTON, PSBTN_NEXT, 0);
                HWND current = reinterpret_cast<HWND>(SendMessageA(hwndSheet, PSM_GETCURRENTPAGEHWND, 0, 0));
                describedShown = current && GetDlgItem(current, IDC_TEST_EDIT) != nullptr;
                first.GoToIndex(2);
            });
        }
        if (page.TemplateId() == IDD_TEST_PAGE3)
            PostMessageA(hwndSheet, PSM_PRESSBUTTON, PSBTN_FINISH, 0);
    });
    sheet.DoModal(nullptr);
    EXPECT_TRUE(describedShown);
    EXPECT_EQ((std::vector<std::string>{"first.active", "first.next", "third.active", "third.finish"}), log);
}
