#include <gtest/gtest.h>

#include "common/parseini.h"
#include "common/tests/test_support.h"
#include "common/xutil.h"

using testsupport::CTempDir;

namespace {

// A plain top-level window of our own class, destroyed at the end of the test.
class CTestWindow {
public:
    CTestWindow(int x, int y, int width, int height)
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "VelmoraPlacementTest";
        RegisterClassA(&wc);
        m_window = CreateWindowExA(0, wc.lpszClassName, "placement", WS_OVERLAPPEDWINDOW, x, y,
                                   width, height, nullptr, nullptr, wc.hInstance, nullptr);
    }
    ~CTestWindow()
    {
        if (m_window)
            DestroyWindow(m_window);
    }
    HWND Get() const { return m_window; }

private:
    HWND m_window = nullptr;
};

// scripts/test always provides a display and says so; elsewhere a missing one skips.
#define REQUIRE_WINDOW(w)                                                                          \
    if (!(w).Get()) {                                                                              \
        if (testsupport::DisplayRequired())                                                        \
            FAIL() << "cannot create a window although a display was provided";                    \
        GTEST_SKIP() << "no display: run the tests under xvfb-run (scripts/test does)";            \
    }

void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

} // namespace

TEST(WindowPlacement, SeparateKeysRoundTrip)
{
    CTestWindow source(40, 50, 300, 200);
    REQUIRE_WINDOW(source);
    ShowWindow(source.Get(), SW_SHOWNORMAL);
    Pump();
    CTempDir dir;
    std::string ini = dir.File("placement.ini");
    ASSERT_TRUE(xUtilSaveWindowPlacement(source.Get(), ini.c_str(), "Window", nullptr, 0));

    utilcpp::CParseini settings(ini);
    int value = -1;
    settings.GetInt("Window", "XSize", value, -1);
    EXPECT_EQ(300, value);
    settings.GetInt("Window", "YSize", value, -1);
    EXPECT_EQ(200, value);
    settings.GetInt("Window", "IsMaximized", value, -1);
    EXPECT_EQ(-1, value) << "state keys are written only when asked for";

    CTestWindow target(0, 0, 100, 100);
    ASSERT_TRUE(xUtilRestoreWindowPlacement(target.Get(), ini.c_str(), "Window", nullptr, 0));
    RECT rect;
    GetWindowRect(target.Get(), &rect);
    RECT expected;
    GetWindowRect(source.Get(), &expected);
    EXPECT_EQ(expected.left, rect.left);
    EXPECT_EQ(expected.top, rect.top);
    EXPECT_EQ(300, rect.right - rect.left);
    EXPECT_TRUE(IsWindowVisible(target.Get()));
}

TEST(WindowPlacement, MaximisedTopmostComesBackShown)
{
    CTestWindow source(60, 70, 320, 240);
    REQUIRE_WINDOW(source);
    ShowWindow(source.Get(), SW_SHOWMAXIMIZED);
    SetWindowPos(source.Get(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    Pump();
    CTempDir dir;
    std::string ini = dir.File("state.ini");
    ASSERT_TRUE(xUtilSaveWindowPlacement(source.Get(), ini.c_str(), "Main", nullptr, 15));
    utilcpp::CParseini settings(ini);
    int maximized = 0, topmost = 0, hidden = -1, width = 0;
    settings.GetInt("Main", "IsMaximized", maximized, 0);
    settings.GetInt("Main", "IsTopMost", topmost, 0);
    settings.GetInt("Main", "IsHidden", hidden, -1);
    settings.GetInt("Main", "XSize", width, 0);
    EXPECT_EQ(1, maximized);
    EXPECT_EQ(1, topmost);
    EXPECT_EQ(0, hidden);
    EXPECT_EQ(320, width) << "the normal rectangle, not the maximised one";

    CTestWindow target(0, 0, 100, 100);
    ASSERT_TRUE(xUtilRestoreWindowPlacement(target.Get(), ini.c_str(), "Main", nullptr, 31));
    Pump();
    EXPECT_TRUE(IsZoomed(target.Get()));
    EXPECT_TRUE(IsWindowVisible(target.Get()));
    EXPECT_TRUE(GetWindowLongA(target.Get(), GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST(WindowPlacement, HiddenWindowStaysHidden)
{
    CTestWindow source(10, 10, 200, 150);
    REQUIRE_WINDOW(source);
    CTempDir dir;
    std::string ini = dir.File("hidden.ini");
    ASSERT_TRUE(xUtilSaveWindowPlacement(source.Get(), ini.c_str(), "Main", nullptr, 15));
    CTestWindow target(0, 0, 100, 100);
    ASSERT_TRUE(xUtilRestoreWindowPlacement(target.Get(), ini.c_str(), "Main", nullptr, 31));
    EXPECT_FALSE(IsWindowVisible(target.Get()));

    // Saved again without state flags, the state keys are removed.
    ASSERT_TRUE(xUtilSaveWindowPlacement(source.Get(), ini.c_str(), "Main", nullptr, 0));
    EXPECT_EQ(std::string::npos, testsupport::ReadFileText(ini).find("IsHidden"));
}

TEST(WindowPlacement, OneKeyForm)
{
    CTestWindow source(30, 40, 250, 180);
    REQUIRE_WINDOW(source);
    ShowWindow(source.Get(), SW_SHOWNORMAL);
    CTempDir dir;
    std::string ini = dir.File("onekey.ini");
    ASSERT_TRUE(xUtilSaveWindowPlacement(source.Get(), ini.c_str(), "S", "Pos", 0));
    std::string text;
    utilcpp::CParseini(ini).GetString("S", "Pos", text, "");
    RECT rect;
    GetWindowRect(source.Get(), &rect);
    char expected[64];
    snprintf(expected, sizeof expected, "%d,%d,250,180", static_cast<int>(rect.left),
             static_cast<int>(rect.top));
    EXPECT_EQ(expected, text);

    ASSERT_TRUE(xUtilSaveWindowPlacement(source.Get(), ini.c_str(), "S", "Full", 8));
    utilcpp::CParseini(ini).GetString("S", "Full", text, "");
    EXPECT_EQ(std::string(expected) + ",0,0,0,0", text);

    CTestWindow target(0, 0, 100, 100);
    EXPECT_TRUE(xUtilRestoreWindowPlacement(target.Get(), ini.c_str(), "S", "Full", 31));
    GetWindowRect(target.Get(), &rect);
    EXPECT_EQ(250, rect.right - rect.left);
}

TEST(WindowPlacement, UnusablePlacementsAreNotApplied)
{
    CTestWindow target(5, 6, 120, 90);
    REQUIRE_WINDOW(target);
    CTempDir dir;
    std::string ini = dir.File("bad.ini");
    utilcpp::CParseini settings(ini);
    settings.WriteInt("S", "XPos", 10);
    settings.WriteInt("S", "YPos", 10);
    settings.WriteInt("S", "XSize", 0);
    settings.WriteInt("S", "YSize", 100);
    EXPECT_FALSE(xUtilRestoreWindowPlacement(target.Get(), ini.c_str(), "S", nullptr, 0));
    EXPECT_FALSE(xUtilRestoreWindowPlacement(target.Get(), ini.c_str(), "Missing", nullptr, 0));
    settings.WriteString("S", "Short", "1,2,3");
    EXPECT_FALSE(xUtilRestoreWindowPlacement(target.Get(), ini.c_str(), "S", "Short", 0));
    settings.WriteString("S", "Garbage", "x,y,z,w");
    EXPECT_FALSE(xUtilRestoreWindowPlacement(target.Get(), ini.c_str(), "S", "Garbage", 0));
    RECT rect;
    GetWindowRect(target.Get(), &rect);
    EXPECT_EQ(120, rect.right - rect.left) << "the window kept its own placement";
}

TEST(WindowPlacement, CentringKeepsTheWindowInsideTheWorkArea)
{
    CTestWindow window(0, 0, 200, 100);
    REQUIRE_WINDOW(window);
    RECT work;
    xUtilGetWorkArea(window.Get(), &work);
    EXPECT_GT(work.right - work.left, 0);

    xUtilCenterWindow(window.Get(), nullptr);
    RECT rect;
    GetWindowRect(window.Get(), &rect);
    EXPECT_EQ(work.left + ((work.right - work.left) - 200) / 2, rect.left);
    EXPECT_EQ(work.top + ((work.bottom - work.top) - 100) / 2, rect.top);

    // Over a small window in the bottom-right corner: pushed back inside the work area.
    CTestWindow owner(work.right - 100, work.bottom - 60, 100, 60);
    xUtilCenterWindow(window.Get(), owner.Get());
    GetWindowRect(window.Get(), &rect);
    EXPECT_EQ(work.right - 200, rect.left);
    EXPECT_EQ(work.bottom - 100, rect.top);

    // Over a big window: centred on it.
    CTestWindow big(100, 100, 600, 400);
    xUtilCenterWindow(window.Get(), big.Get());
    GetWindowRect(window.Get(), &rect);
    EXPECT_EQ(100 + (600 - 200) / 2, rect.left);
    EXPECT_EQ(100 + (400 - 100) / 2, rect.top);
}

TEST(WindowModule, OwnWindowBelongsToThisProgram)
{
    CTestWindow window(0, 0, 50, 50);
    REQUIRE_WINDOW(window);
    char path[MAX_PATH];
    DWORD length = xUtilGetWindowModuleFileName(window.Get(), path, sizeof path);
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    ASSERT_GT(length, 0u);
    EXPECT_STREQ(self, path);
    EXPECT_EQ(0u, xUtilGetWindowModuleFileName(reinterpret_cast<HWND>(0x7ff0), path, sizeof path));
}
