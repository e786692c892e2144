#include <gtest/gtest.h>

#include <windows.h>
#include <dbt.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/tests/test_support.h"
#include "common/xutil.h"
#include "monitor/about_box.h"
#include "monitor/merge.h"
#include "monitor/monitor.h"
#include "monitor/monitor_dialog.h"
#include "monitor/res/resource.h"
#include "monitor/tests/monitor_test_support.h"
#include "monitor/tests/window_fixture.h"

using namespace monitortest;
using testsupport::CTempDir;

namespace {

std::vector<int32_t> g_actionIds;
void RecordAction(HWND, int32_t id, bool* changed)
{
    g_actionIds.push_back(id);
    *changed = true;
}
void QuietAction(HWND, int32_t id, bool*)
{
    g_actionIds.push_back(-id);
}

} // namespace

TEST_F(WindowTest, ClassTitleAndMenus)
{
    char name[64] = "";
    GetClassNameA(m_dialog->GetHandle(), name, sizeof name);
    EXPECT_STREQ("VelmoraMonitorClass", name);
    char title[128] = "";
    GetWindowTextA(m_dialog->GetHandle(), title, sizeof title);
    EXPECT_STREQ("velmora Brindle Watchpost", title);
    EXPECT_EQ(20, GetClassLongA(m_dialog->GetHandle(), GCL_CBWNDEXTRA));
    HMENU main = GetMenu(m_dialog->GetHandle());
    ASSERT_NE(nullptr, main);
    EXPECT_EQ(static_cast<UINT>(ID_DEVICE_CLOSE), GetMenuItemID(GetSubMenu(main, 0), 0));
    EXPECT_EQ(static_cast<UINT>(ID_HELP_ABOUT), GetMenuItemID(GetSubMenu(main, 2), 0));
    EXPECT_NE(nullptr, m_dialog->GetTree());
    EXPECT_NE(0, TreeView_GetImageList(m_dialog->GetTree(), TVSIL_NORMAL) != nullptr);
    EXPECT_EQ(21, ImageList_GetImageCount(TreeView_GetImageList(m_dialog->GetTree(), TVSIL_NORMAL)));
}

TEST_F(WindowTest, CopyDataControlsPluginsByName)
{
    const char name[] = "PLEXA.DLL";
    EXPECT_EQ(TRUE, CopyData(1, name, sizeof name));
    EXPECT_EQ(TRUE, CopyData(2, name, sizeof name));
    EXPECT_EQ(FALSE, CopyData(3, name, sizeof name));
    EXPECT_EQ((std::vector<std::string>{"PLEXA.DLL"}), m_fake.disabled);
    EXPECT_EQ((std::vector<std::string>{"PLEXA.DLL"}), m_fake.enabled);
}

TEST_F(WindowTest, CopyDataThatIsNoNameChangesNothing)
{
    const char unterminated[4] = {'p', 'l', 'e', 'x'};
    CopyData(1, unterminated, sizeof unterminated);
    CopyData(1, "", 0);
    CopyData(2, nullptr, 0);
    CopyData(1, "\0abc", 4);
    std::string huge(4 * 1024 * 1024, 'a');
    CopyData(2, huge.data(), static_cast<DWORD>(huge.size()));
    huge[3 * 1024 * 1024] = '\0'; // a terminator far beyond any name
    CopyData(2, huge.data(), static_cast<DWORD>(huge.size()));
    EXPECT_TRUE(m_fake.disabled.empty());
    EXPECT_TRUE(m_fake.enabled.empty());
}

TEST_F(WindowTest, BurstOfDeviceEventsSignalsOnceTwoSecondsAfterTheLast)
{
    HWND window = m_dialog->GetHandle();
    DWORD last = 0;
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(TRUE, SendMessageA(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0));
        last = GetTickCount();
        PumpUntil([] { return false; }, 90);
    }
    EXPECT_EQ(0, m_fake.signals);
    ASSERT_TRUE(PumpUntil([&] { return m_fake.signals > 0; }, 5000));
    EXPECT_GE(m_fake.lastSignal - last, 1900u);
    EXPECT_LT(m_fake.lastSignal - last, 3000u);
    PumpUntil([] { return false; }, 2500);
    EXPECT_EQ(1, m_fake.signals) << "the timer is gone after it fired";

    EXPECT_EQ(TRUE, SendMessageA(window, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0));
    ASSERT_TRUE(PumpUntil([&] { return m_fake.signals == 2; }, 5000));
}

TEST_F(WindowTest, RowEntriesGoToTheTopOfTheDeviceMenuAndTheRowMenu)
{
    CPlugin plugin("p.dll", m_dialog->GetHandle());
    CState tree;
    tree.AddItem(new CItem("First", 12, "", 1000, {{"&Rename", RecordAction}, {"", nullptr}, {"&Control device", QuietAction}}));
    tree.AddItem(new CItem("Second", 13, "", 2000, {{"&Rename", RecordAction}}));
    tree.AddItem(new CItem("Plain", 1, "", 3000));
    SendTree(&tree, plugin);

    HWND tree_view = m_dialog->GetTree();
    HMENU device = GetSubMenu(m_dialog->GetMainMenu(), 0);
    TreeView_SelectItem(tree_view, FindRow(1000));
    SendMessageA(m_dialog->GetHandle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(device), 0);
    EXPECT_EQ((std::vector<std::string>{"2000:&Rename", "-", "2002:&Control device", "-", "1210:&Close"}),
              MenuTexts(device));

    TreeView_SelectItem(tree_view, FindRow(2000));
    SendMessageA(m_dialog->GetHandle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(device), 0);
    EXPECT_EQ((std::vector<std::string>{"2000:&Rename", "-", "1210:&Close"}), MenuTexts(device));

    SendMessageA(m_dialog->GetHandle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(m_dialog->GetRowMenu()), 0);
    EXPECT_EQ((std::vector<std::string>{"2000:&Rename"}), MenuTexts(m_dialog->GetRowMenu()));

    TreeView_SelectItem(tree_view, FindRow(3000));
    SendMessageA(m_dialog->GetHandle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(device), 0);
    EXPECT_EQ((std::vector<std::string>{"1210:&Close"}), MenuTexts(device));
}

TEST_F(WindowTest, RowCommandsCallThePluginAndAnnounceChangedOptions)
{
    g_actionIds.clear();
    CPlugin plugin("p.dll", m_dialog->GetHandle());
    CState tree;
    tree.AddItem(new CItem("First", 12, "", 1000, {{"&Rename", RecordAction}, {"", nullptr}, {"&Quiet", QuietAction}}));
    SendTree(&tree, plugin);
    TreeView_SelectItem(m_dialog->GetTree(), FindRow(1000));
    HMENU device = GetSubMenu(m_dialog->GetMainMenu(), 0);
    SendMessageA(m_dialog->GetHandle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(device), 0);

    SendMessageA(m_dialog->GetHandle(), WM_COMMAND, 2000, 0);
    SendMessageA(m_dialog->GetHandle(), WM_COMMAND, 2002, 0);
    SendMessageA(m_dialog->GetHandle(), WM_COMMAND, 2001, 0); // the separator
    SendMessageA(m_dialog->GetHandle(), WM_COMMAND, 2007, 0); // beyond the entries
    EXPECT_EQ((std::vector<int32_t>{1000, -1000}), g_actionIds);
    EXPECT_EQ(1, m_fake.kickstarts) << "only the entry that changed options announces them";

    // The remembered row disappears with its plug-in: its commands do nothing any more.
    SendTree(nullptr, plugin);
    SendMessageA(m_dialog->GetHandle(), WM_COMMAND, 2000, 0);
    EXPECT_EQ(2u, g_actionIds.size());
}

TEST_F(WindowTest, OldPlacementKeysMoveBeforeTheWindowIsPlaced)
{
    m_settings->WriteInt(kDialogSettings, "PositionX", 100);
    m_settings->WriteInt(kDialogSettings, "PositionY", 80);
    m_settings->WriteInt(kDialogSettings, "Width", 300);
    m_settings->WriteInt(kDialogSettings, "Height", 250);
    m_dialog->PrepareAndShow();
    int value = -1;
    m_settings->GetInt(kDialogSettings, "XPos", value, -1);
    EXPECT_EQ(100, value);
    m_settings->GetInt(kDialogSettings, "PositionX", value, -1);
    EXPECT_EQ(-1, value);
    RECT rect;
    GetWindowRect(m_dialog->GetHandle(), &rect);
    EXPECT_EQ(100, rect.left);
    EXPECT_EQ(300, rect.right - rect.left);
    EXPECT_TRUE(IsWindowVisible(m_dialog->GetHandle()));
}

TEST_F(WindowTest, WithoutPlacementTheDefaultSizeIsCentred)
{
    m_dialog->PrepareAndShow();
    RECT rect, work;
    GetWindowRect(m_dialog->GetHandle(), &rect);
    xUtilGetWorkArea(m_dialog->GetHandle(), &work);
    LONG units = GetDialogBaseUnits();
    EXPECT_EQ(std::min<LONG>(40 * LOWORD(units), work.right - work.left), rect.right - rect.left);
    EXPECT_EQ(std::min<LONG>(30 * HIWORD(units), work.bottom - work.top), rect.bottom - rect.top);
    EXPECT_NEAR((work.left + work.right) / 2, (rect.left + rect.right) / 2, 1);
}

TEST_F(WindowTest, ClosingWithTheTrayIconOnlyHides)
{
    m_settings->WriteInt(kDialogSettings, "ShowTrayStatus", 1);
    m_dialog->PrepareAndShow();
    if (!m_dialog->IsTrayShown())
        GTEST_SKIP() << "this desktop has no notification area";
    HWND window = m_dialog->GetHandle();
    HWND trayWindow = FindWindowA("VelmoraTrayMessageWindow", nullptr);
    EXPECT_NE(nullptr, trayWindow);
    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_FALSE(IsWindowVisible(window));

    SendMessageA(window, WM_COMMAND, ID_TRAY_SHOW, 0);
    EXPECT_TRUE(IsWindowVisible(window));

    // Remove from the tray while visible: only the icon goes.
    SendMessageA(window, WM_COMMAND, ID_TRAY_REMOVE, 0);
    EXPECT_FALSE(m_dialog->IsTrayShown());
    EXPECT_TRUE(IsWindow(window));

    // Hidden, with the icon back: remove ends the program.
    SendMessageA(window, WM_COMMAND, ID_VIEW_TRAY, 0);
    EXPECT_TRUE(m_dialog->IsTrayShown());
    SendMessageA(window, WM_CLOSE, 0, 0);
    SendMessageA(window, WM_COMMAND, ID_TRAY_REMOVE, 0);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(window); }, 3000));
    EXPECT_EQ(nullptr, FindWindowA("VelmoraTrayMessageWindow", nullptr));
    // Not a registered installation: closing wrote no settings.
    int value = -1;
    m_settings->GetInt(kDialogSettings, "XPos", value, -1);
    EXPECT_EQ(-1, value);
}

TEST_F(WindowTest, TopmostToggleAndAboutText)
{
    HWND window = m_dialog->GetHandle();
    SendMessageA(window, WM_COMMAND, ID_VIEW_TOPMOST, 0);
    EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    SendMessageA(window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(GetSubMenu(m_dialog->GetMainMenu(), 1)), 0);
    EXPECT_EQ(static_cast<UINT>(MF_CHECKED), GetMenuState(m_dialog->GetMainMenu(), ID_VIEW_TOPMOST, MF_BYCOMMAND) & MF_CHECKED);
    SendMessageA(window, WM_COMMAND, ID_VIEW_TOPMOST, 0);
    EXPECT_FALSE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);

    std::string text = AboutVersionText(GetModuleHandleA(nullptr));
    EXPECT_EQ(0u, text.find("Version 2.01.0412 (")) << text;
    EXPECT_EQ(')', text.back());
}

TEST(MonitorSettings, SharedOptionsSwitchReadsAsStored)
{
    // The monitor's settings file lies beside the program: this test program's.
    std::string ini = testsupport::ProgramFolder() + "\\monitor_window_tests.ini";
    DeleteFileA(ini.c_str());
    {
        CMonitor monitor(GetModuleHandleA(nullptr));
        if (!monitor.Window().GetHandle())
            GTEST_SKIP() << "no display";
        EXPECT_TRUE(monitor.SharedOptionsEnabled()) << "a missing key counts as on";
        utilcpp::CParseini settings(ini);
        for (const char* value : {"2", "0", "abc", "-1"}) {
            settings.WriteString(kDialogSettings, "SharedOptions", value);
            EXPECT_FALSE(monitor.SharedOptionsEnabled()) << "value " << value;
        }
        int before = monitor.ProclamationId();
        monitor.KickstartBroadcast();
        EXPECT_EQ(before, monitor.ProclamationId()) << "switched off: no proclamation";
        settings.WriteString(kDialogSettings, "SharedOptions", "1");
        EXPECT_TRUE(monitor.SharedOptionsEnabled());
        EXPECT_EQ(-1, before);
        monitor.KickstartBroadcast();
        EXPECT_NE(before, monitor.ProclamationId());
        EXPECT_GE(monitor.ProclamationId(), 0);
        EXPECT_LE(monitor.ProclamationId(), 32767);
    }
    DeleteFileA(ini.c_str());
}
