#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <vector>

#include "common/tests/test_support.h"
#include "common/strings.h"
#include "common/thread.h"
#include "common/ui/dialog.h"
#include "common/ui/dpi.h"
#include "common/ui/layout_check.h"
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

TEST(Dialog, FocusAndDefaultButtonAreTheDialogsChoice)
{
    REQUIRE_DISPLAY();
    class CFocusDialog : public CNameDialog {
    protected:
        bool OnInitDialog() override
        {
            CNameDialog::OnInitDialog();
            SetDefaultButton(IDCANCEL);
            FocusItem(IDC_TEST_CHECK);
            return false;
        }
    } dialog;
    int focused = 0;
    LRESULT defaultId = 0;
    tObserverScope scope([&](ui::CDialogBase& d) {
        // Once the dialog is shown and runs its own loop.
        ui::PostTask(d.Handle(), [&] {
            // Activated, the dialog gives the focus back to the control it chose (a test
            // program started from a console need not be in the foreground).
            SetForegroundWindow(d.Handle());
            SetActiveWindow(d.Handle());
            focused = GetDlgCtrlID(GetFocus());
            defaultId = SendMessageA(d.Handle(), DM_GETDEFID, 0, 0);
            // Enter goes to the default button through the dialog manager.
            SetFocus(d.Item(IDC_TEST_EDIT));
            PostMessageA(d.Item(IDC_TEST_EDIT), WM_KEYDOWN, VK_RETURN, 0);
        });
    });
    EXPECT_EQ(IDCANCEL, dialog.DoModal(nullptr));
    EXPECT_EQ(IDCANCEL, LOWORD(defaultId));
    EXPECT_EQ(IDC_TEST_CHECK, focused) << "the check box had the focus";
}

// The suite's manifest (common/res/manifest.rc), built into this test program too.
TEST(Manifest, AsksForUtf8VisualStylesAndScaling)
{
    EXPECT_EQ(static_cast<UINT>(CP_UTF8), GetACP()) << "texts of every script survive the A functions";
    typedef BOOL(WINAPI * tIsAppThemed)(void);
    HMODULE theme = LoadLibraryA("uxtheme.dll");
    auto isAppThemed = theme ? reinterpret_cast<tIsAppThemed>(GetProcAddress(theme, "IsAppThemed")) : nullptr;
    ASSERT_NE(nullptr, isAppThemed);
    EXPECT_TRUE(isAppThemed()) << "common controls 6 with visual styles";
    EXPECT_TRUE(IsProcessDPIAware());
    FreeLibrary(theme);
}

namespace {

// A 32-bit strip of `count` images of 16 x 16 pixels, each pixel from `paint` (image, x, y).
HBITMAP MakeStrip(int count, uint32_t (*paint)(int, int, int))
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = 16 * count;
    info.bmiHeader.biHeight = -16;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP strip = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    auto pixels = static_cast<uint32_t*>(bits);
    for (int image = 0; image < count; ++image)
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                pixels[y * 16 * count + image * 16 + x] = paint(image, x, y);
    GdiFlush();
    return strip;
}

// The pixels of one image of a list, 32 bits each, top row first.
std::vector<uint32_t> ImagePixels(HIMAGELIST list, int index, int& size)
{
    IMAGEINFO info = {};
    ImageList_GetImageInfo(list, index, &info);
    size = info.rcImage.right - info.rcImage.left;
    BITMAP bitmap = {};
    GetObjectA(info.hbmImage, sizeof bitmap, &bitmap);
    std::vector<uint32_t> all(static_cast<size_t>(bitmap.bmWidth) * static_cast<size_t>(abs(bitmap.bmHeight)));
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = bitmap.bmWidth;
    format.bmiHeader.biHeight = -abs(bitmap.bmHeight);
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, info.hbmImage, 0, static_cast<UINT>(abs(bitmap.bmHeight)), all.data(), &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    std::vector<uint32_t> image;
    for (int y = info.rcImage.top; y < info.rcImage.bottom; ++y)
        for (int x = info.rcImage.left; x < info.rcImage.right; ++x)
            image.push_back(all[static_cast<size_t>(y) * static_cast<size_t>(bitmap.bmWidth) + static_cast<size_t>(x)]);
    return image;
}

} // namespace

TEST(Dpi, ImageListsGrowWithTheDisplayScaling)
{
    EXPECT_EQ(16, ui::ScaleToDpi(16, 96));
    EXPECT_EQ(24, ui::ScaleToDpi(16, 144));
    EXPECT_EQ(20, ui::ScaleToDpi(16, 120));
    EXPECT_GE(ui::DpiOf(nullptr), 72);

    // Image 0 solid red; image 1 clear but for a green square in the middle.
    HBITMAP strip = MakeStrip(2, [](int image, int x, int y) -> uint32_t {
        if (image == 0)
            return 0xFFFF0000u;
        return (x >= 4 && x < 12 && y >= 4 && y < 12) ? 0xFF00FF00u : 0u;
    });
    ASSERT_NE(nullptr, strip);
    HIMAGELIST list = ui::CreateScaledImageList(strip, 16, 2, 144, CLR_NONE);
    ASSERT_NE(nullptr, list);
    int cx = 0, cy = 0;
    ImageList_GetIconSize(list, &cx, &cy);
    EXPECT_EQ(24, cx);
    EXPECT_EQ(24, cy);
    EXPECT_EQ(2, ImageList_GetImageCount(list));
    int size = 0;
    std::vector<uint32_t> red = ImagePixels(list, 0, size);
    ASSERT_EQ(24, size);
    EXPECT_EQ(0xFF0000u, red[12 * 24 + 12] & 0xFFFFFFu);
    std::vector<uint32_t> square = ImagePixels(list, 1, size);
    EXPECT_EQ(0xFF00u, square[12 * 24 + 12] & 0xFFFFFFu) << "the middle stays green";
    EXPECT_EQ(0u, square[0] >> 24) << "the corner stays clear";
    EXPECT_EQ(0xFFu, square[12 * 24 + 12] >> 24);
    ImageList_Destroy(list);

    // A strip with a mask colour instead of alpha: the magenta becomes clear.
    HBITMAP masked = MakeStrip(1, [](int, int x, int) -> uint32_t { return x < 8 ? 0x00FF00FFu : 0x00000080u; });
    list = ui::CreateScaledImageList(masked, 16, 1, 192, RGB(255, 0, 255));
    ASSERT_NE(nullptr, list);
    std::vector<uint32_t> half = ImagePixels(list, 0, size);
    ASSERT_EQ(32, size);
    EXPECT_EQ(0u, half[16 * 32 + 2] >> 24) << "magenta is clear";
    EXPECT_EQ(0xFF000080u, half[16 * 32 + 28]);
    ImageList_Destroy(list);
    EXPECT_EQ(nullptr, ui::CreateScaledImageList(masked, 16, 3, 144, RGB(255, 0, 255))) << "a strip too short";
    DeleteObject(strip);
    DeleteObject(masked);
}

TEST(Layout, FindsTextsThatDoNotFitAndEmptyGroupRoom)
{
    REQUIRE_DISPLAY();
    HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 600, 400, nullptr, nullptr, nullptr, nullptr);
    HWND good = ui::CreateDialogInLanguage(TestModule(), IDD_LAYOUT_GOOD, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), parent);
    ASSERT_NE(nullptr, good);
    std::vector<std::string> problems = ui::CheckLayout(good);
    EXPECT_TRUE(problems.empty()) << problems.front();

    HWND bad = ui::CreateDialogInLanguage(TestModule(), IDD_LAYOUT_BAD, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), parent);
    ASSERT_NE(nullptr, bad);
    problems = ui::CheckLayout(bad);
    auto reported = [&](const std::string& needle) {
        for (const std::string& problem : problems)
            if (problem.find(needle) != std::string::npos)
                return true;
        return false;
    };
    std::string all;
    for (const std::string& problem : problems)
        all += problem + "\n";
    EXPECT_TRUE(reported("control 1101 \"This text") && reported("is cut off")) << all;
    EXPECT_TRUE(reported("breaks the word \"Donaudampfschifffahrtsgesellschaft\"")) << all;
    EXPECT_TRUE(reported("control 1103 \"A check box")) << all;
    EXPECT_TRUE(reported("control 1104 \"Across\" crosses the edge of group")) << all;
    EXPECT_TRUE(reported("control 1105 \"Outside\" reaches beyond the dialog")) << all;
    EXPECT_TRUE(reported("keeps")) << "the group's lower half is empty\n" << all;

    EXPECT_EQ(nullptr, ui::CreateDialogInLanguage(TestModule(), IDD_LAYOUT_GOOD, MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), parent))
        << "no template in that language";
    EXPECT_EQ("Delete the file?", ui::LoadStringInLanguage(TestModule(), IDS_TEST_TEXT, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)));
    EXPECT_EQ("Test", ui::LoadStringInLanguage(TestModule(), IDS_TEST_CAPTION, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)));
    EXPECT_EQ("", ui::LoadStringInLanguage(TestModule(), IDS_TEST_CAPTION + 1, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)));
    EXPECT_EQ("", ui::LoadStringInLanguage(TestModule(), IDS_TEST_TEXT, MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)));
    DestroyWindow(bad);
    DestroyWindow(good);
    DestroyWindow(parent);
}
