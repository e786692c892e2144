// What the monitor window shows besides the rows: the empty-state text, the tray icon's tool
// tip and notices, the pacing of updates, the keyboard's menus and the smallest size.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "common/strings.h"
#include "common/ui/dpi.h"
#include "monitor/monitor.h"
#include "monitor/res/resource.h"
#include "monitor/tests/window_fixture.h"
#include "monitor/tray_icon.h"

using namespace monitortest;

namespace {

void Rename(HWND, int32_t, bool*) {}

// A plug-in tree with one root row per name (ids 1000, 2000, ...) and a child under each.
std::unique_ptr<CState> Devices(const std::vector<std::string>& names)
{
    std::unique_ptr<CState> tree(new CState);
    int32_t id = 1000;
    for (const std::string& name : names) {
        CItem* top = new CItem(name, 13, "", id, {{"&Rename", Rename}});
        top->GetChildren().AddItem(new CItem("Connection rate", 4, "14 MBit/s", id + 1));
        tree->AddItem(top);
        id += 1000;
    }
    return tree;
}

std::string Text(UINT id)
{
    return xUtilLoadString(GetModuleHandleA(nullptr), id);
}

// What was open while a menu was tracked: filled by a timer that runs inside the menu's loop.
struct tMenuSeen {
    DWORD flags = 0;      // GUI_INMENUMODE, GUI_POPUPMENUMODE
    RECT popup = {0, 0, 0, 0}; // the pop-up menu's window, if one was open
    bool any = false;
};
tMenuSeen g_menuSeen;
int g_menuTicks;

void CALLBACK LookAtMenu(HWND, UINT, UINT_PTR id, DWORD)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetCurrentThreadId(), &info);

    if (info.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE)) {
        g_menuSeen.any = true;
        g_menuSeen.flags = info.flags;
        if (HWND popup = FindWindowA("#32768", nullptr))
            if (IsWindowVisible(popup))
                GetWindowRect(popup, &g_menuSeen.popup);
        EndMenu();
    }
    if ((info.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE)) || ++g_menuTicks > 40)
        KillTimer(nullptr, id);
}

// Runs `open` with a timer that notes what menu it opened and closes it again.
tMenuSeen WhileMenuOpen(const std::function<void()>& open)
{
    g_menuSeen = tMenuSeen();
    g_menuTicks = 0;
    SetTimer(nullptr, 0, 50, LookAtMenu);
    open();
    return g_menuSeen;
}

} // namespace

TEST_F(WindowTest, EmptyStateTextShowsWhileNoPluginReportsAnything)
{
    HWND empty = m_dialog->GetEmptyState();
    ASSERT_NE(nullptr, empty);
    auto shown = [&] { return (GetWindowLongA(empty, GWL_STYLE) & WS_VISIBLE) != 0; };
    m_dialog->PrepareAndShow();
    EXPECT_TRUE(shown());
    char text[1024] = "";
    GetWindowTextA(empty, text, sizeof text);
    EXPECT_EQ(Text(IDS_EMPTY_STATE), text);
    EXPECT_EQ(0u, TreeView_GetCount(m_dialog->GetTree())) << "the text is no row of the tree";
    RECT area, client;
    GetWindowRect(empty, &area);
    MapWindowPoints(nullptr, m_dialog->GetHandle(), reinterpret_cast<POINT*>(&area), 2);
    GetClientRect(m_dialog->GetHandle(), &client);
    EXPECT_TRUE(area.left >= 0 && area.right <= client.right && area.bottom <= client.bottom && area.bottom > area.top);

    CPlugin first("a.dll", m_dialog->GetHandle()), second("b.dll", m_dialog->GetHandle());
    std::unique_ptr<CState> tree = Devices({"Kitchen"});
    SendTree(tree.get(), first);
    EXPECT_FALSE(shown());
    EXPECT_EQ(2u, TreeView_GetCount(m_dialog->GetTree()));
    SendTree(tree.get(), second);
    SendTree(nullptr, first);
    EXPECT_FALSE(shown()) << "another plug-in still reports";
    CState nothing;
    SendTree(&nothing, second);
    EXPECT_TRUE(shown()) << "an empty tree reports nothing either";
}

TEST_F(WindowTest, TrayTipSumsUpTheDevicesBelowTheProductName)
{
    m_settings->WriteInt(kDialogSettings, "ShowTrayStatus", 1);
    m_dialog->PrepareAndShow();
    if (!m_dialog->IsTrayShown())
        GTEST_SKIP() << "this desktop has no notification area";
    const std::string title = Text(IDS_TITLE);
    EXPECT_EQ(title + "\n" + Text(IDS_TIP_NONE), m_dialog->GetTray()->Tip());
    CPlugin plugin("plexa.dll", m_dialog->GetHandle());
    std::unique_ptr<CState> three = Devices({"Kitchen", "Study", "Attic"});
    SendTree(three.get(), plugin);
    EXPECT_EQ(title + "\n3 devices found", m_dialog->GetTray()->Tip());
    std::unique_ptr<CState> one = Devices({"Kitchen"});
    SendTree(one.get(), plugin);
    EXPECT_EQ(title + "\n" + Text(IDS_TIP_ONE), m_dialog->GetTray()->Tip());

    // Shown again later, the icon starts with the summary of the moment.
    SendMessageA(m_dialog->GetHandle(), WM_COMMAND, ID_VIEW_TRAY, 0);
    SendMessageA(m_dialog->GetHandle(), WM_COMMAND, ID_VIEW_TRAY, 0);
    ASSERT_TRUE(m_dialog->IsTrayShown());
    EXPECT_EQ(title + "\n" + Text(IDS_TIP_ONE), m_dialog->GetTray()->Tip());
}

TEST_F(WindowTest, NoticesTellOfDevicesThatComeAndGoWhenSwitchedOn)
{
    m_settings->WriteInt(kDialogSettings, "ShowTrayStatus", 1);
    m_settings->WriteInt(kDialogSettings, "DeviceNotices", 1);
    m_dialog->PrepareAndShow();
    if (!m_dialog->IsTrayShown())
        GTEST_SKIP() << "this desktop has no notification area";
    m_dialog->SetNoticeQuietTime(0);
    CTrayIcon& tray = *m_dialog->GetTray();
    CPlugin plugin("plexa.dll", m_dialog->GetHandle());

    SendTree(Devices({"Kitchen", "Study"}).get(), plugin);
    EXPECT_EQ("", tray.LastNotice()) << "what a plug-in first reports is no news";
    SendTree(Devices({"Kitchen", "Study", "Attic"}).get(), plugin);
    EXPECT_EQ("Found: Attic", tray.LastNotice());
    // Renumbered rows (a new device before them) are the same devices, known by name.
    SendTree(Devices({"Garage", "Kitchen", "Study", "Attic"}).get(), plugin);
    EXPECT_EQ("Found: Garage", tray.LastNotice());
    SendTree(Devices({"Kitchen"}).get(), plugin);
    EXPECT_EQ("No longer found: Garage\nNo longer found: Study\nNo longer found: Attic", tray.LastNotice());
    SendTree(nullptr, plugin);
    EXPECT_EQ("No longer found: Kitchen", tray.LastNotice());

}

TEST_F(WindowTest, NoNoticesByDefaultNorForAPluginThatIsStopped)
{
    m_settings->WriteInt(kDialogSettings, "ShowTrayStatus", 1);
    m_dialog->PrepareAndShow();
    if (!m_dialog->IsTrayShown())
        GTEST_SKIP() << "this desktop has no notification area";
    m_dialog->SetNoticeQuietTime(0);
    CPlugin fake("plexa.dll", m_dialog->GetHandle());
    SendTree(Devices({"Kitchen"}).get(), fake);
    SendTree(Devices({"Kitchen", "Study"}).get(), fake);
    EXPECT_EQ("", m_dialog->GetTray()->LastNotice()) << "notices are off unless switched on";

    // Switched on: a plug-in that is stopped takes its rows along quietly.
    m_settings->WriteInt(kDialogSettings, "DeviceNotices", 1);
    SendTree(nullptr, fake);
    ASSERT_EQ("No longer found: Kitchen\nNo longer found: Study", m_dialog->GetTray()->LastNotice());
    CPlugin plugin("tp_getstate.dll", m_dialog->GetHandle());
    ASSERT_TRUE(plugin.Create());
    ASSERT_TRUE(Pump([&] { return TreeView_GetCount(m_dialog->GetTree()) > 0; }, 5000));
    Pump([&] { return false; }, 300); // a few more reports of the same devices
    plugin.Destroy();
    EXPECT_EQ(0u, TreeView_GetCount(m_dialog->GetTree()));
    EXPECT_EQ("No longer found: Kitchen\nNo longer found: Study", m_dialog->GetTray()->LastNotice())
        << "no notice for the stopped plug-in's devices";
}

TEST_F(WindowTest, UpdatesOfOnePluginAreShownAtMostOncePerTurn)
{
    // A turn of a second rather than the quarter the monitor uses: the burst below must fit
    // into one turn however slowly this thread runs.
    m_dialog->SetUpdateInterval(1000);
    CPlugin busy("plexa.dll", m_dialog->GetHandle()), quiet("dialtrack.dll", m_dialog->GetHandle());
    CState tree;
    CItem* rate = new CItem("Connection rate", 4, "0", 5000);
    tree.AddItem(rate);
    // A burst of 50 reports within a few milliseconds, as a flood of frames makes them.
    for (int i = 0; i < 50; ++i) {
        rate->SetValue(std::to_string(i));
        SendTree(&tree, busy);
    }
    HTREEITEM row = FindRow(5000);
    ASSERT_NE(nullptr, row);
    EXPECT_EQ("Connection rate: 0", ShownText(row)) << "the first report is shown at once, the rest wait";
    // Another plug-in does not wait for this one's turn.
    std::unique_ptr<CState> other = Devices({"Modem"});
    SendTree(other.get(), quiet);
    EXPECT_EQ(3u, TreeView_GetCount(m_dialog->GetTree()));

    DWORD start = GetTickCount();
    ASSERT_TRUE(Pump([&] { return ShownText(FindRow(5000)) == "Connection rate: 49"; }, 5000))
        << "the latest report follows when the turn comes";
    EXPECT_LT(GetTickCount() - start, 1000u + 1500u);

    // A waiting report never brings back rows that a stopped plug-in took away.
    rate->SetValue("late");
    SendTree(&tree, busy);
    SendTree(nullptr, busy);
    EXPECT_EQ(nullptr, FindRow(5000));
    Pump([] { return false; }, 1200);
    EXPECT_EQ(nullptr, FindRow(5000));
}

TEST_F(WindowTest, UnderAStreamOfUpdatesTheShownOneStillMovesOn)
{
    m_dialog->SetUpdateInterval(CMonitorDialog::kUpdateIntervalMs);
    CPlugin busy("plexa.dll", m_dialog->GetHandle());
    CState tree;
    CItem* rate = new CItem("Connection rate", 4, "0", 5000);
    tree.AddItem(rate);
    // An update every 5 ms for 1.5 s; the shown value must follow a few times a second,
    // not only once the stream ends.
    std::vector<std::string> shown;
    DWORD start = GetTickCount();
    for (int i = 0; GetTickCount() - start < 1500; ++i) {
        rate->SetValue(std::to_string(i));
        SendTree(&tree, busy);
        Pump([] { return false; }, 5);
        std::string text = ShownText(FindRow(5000));
        if (shown.empty() || shown.back() != text)
            shown.push_back(text);
    }
    EXPECT_GE(shown.size(), 4u) << "about six turns in 1.5 s";
    EXPECT_LE(shown.size(), 8u) << "at most one every 250 ms";
}

TEST_F(WindowTest, RowTextsComeFromTheRowRecords)
{
    CPlugin plugin("plexa.dll", m_dialog->GetHandle());
    CState tree;
    CItem* top = new CItem("Kitchen", 13, "", 1000);
    CItem* rate = new CItem("Connection rate", 4, "14 MBit/s", 1001);
    top->GetChildren().AddItem(rate);
    tree.AddItem(top);
    SendTree(&tree, plugin);
    HWND view = m_dialog->GetTree();
    HTREEITEM row = TreeView_GetChild(view, FindRow(1000));
    EXPECT_EQ("Connection rate: 14 MBit/s", ShownText(row));
    rate->SetValue(std::string(200, 'W'));
    SendTree(&tree, plugin);
    EXPECT_EQ("Connection rate: " + std::string(200, 'W'), ShownText(row));
    // The grown text lies inside the horizontal scroll range.
    RECT rect;
    ASSERT_TRUE(TreeView_GetItemRect(view, row, &rect, TRUE));
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE;
    RECT client;
    GetClientRect(view, &client);
    if (GetScrollInfo(view, SB_HORZ, &info))
        EXPECT_GE(info.nMax + 1, static_cast<int>(rect.right - rect.left)) << "scroll range " << info.nMax;
    else
        EXPECT_LE(rect.right - rect.left, client.right) << "no scroll bar: the text fits";
}

TEST_F(WindowTest, KeyboardMenuOpensAtTheSelectedRowWhateverTheUpperHalf)
{
    m_dialog->PrepareAndShow();
    CPlugin plugin("plexa.dll", m_dialog->GetHandle());
    std::unique_ptr<CState> tree = Devices({"Kitchen", "Study", "Attic"});
    SendTree(tree.get(), plugin);
    HWND view = m_dialog->GetTree();
    TreeView_SelectItem(view, FindRow(2000));
    RECT row;
    ASSERT_TRUE(TreeView_GetItemRect(view, FindRow(2000), &row, TRUE));
    POINT centre = {(row.left + row.right) / 2, (row.top + row.bottom) / 2};
    ClientToScreen(view, &centre);

    // Both forms of "from the keyboard": -1 in each 16-bit half, with the upper half of the
    // 64-bit parameter empty or filled.
    for (LPARAM position : {static_cast<LPARAM>(0xFFFFFFFFu), static_cast<LPARAM>(-1)}) {
        tMenuSeen seen = WhileMenuOpen([&] {
            SendMessageA(m_dialog->GetHandle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(view), position);
        });
        ASSERT_TRUE(seen.any) << "a menu opened for " << std::hex << position;
        EXPECT_NEAR(centre.x, seen.popup.left, 2) << std::hex << position;
        EXPECT_NEAR(centre.y, seen.popup.top, 2) << std::hex << position;
    }
}

TEST_F(WindowTest, F10OpensTheMenuBarAndShiftF10TheRowMenu)
{
    m_dialog->PrepareAndShow();
    CPlugin plugin("plexa.dll", m_dialog->GetHandle());
    std::unique_ptr<CState> tree = Devices({"Kitchen"});
    SendTree(tree.get(), plugin);
    HWND view = m_dialog->GetTree();
    TreeView_SelectItem(view, FindRow(1000));
    // F10 comes as a system key to the control with the keyboard: the tree view.
    auto press = [&](bool shift) {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        SetKeyboardState(keys);
        PostMessageA(view, WM_SYSKEYDOWN, VK_F10, 1 | (0x44 << 16));
        PostMessageA(view, WM_SYSKEYUP, VK_F10, 1 | (0x44 << 16) | (3u << 30));
        return WhileMenuOpen([&] { Pump([] { return g_menuTicks > 12 || g_menuSeen.any; }, 3000); });
    };
    // (Wine flags a pop-up menu's loop as a menu bar's: the open pop-up tells them apart.)
    tMenuSeen bar = press(false);
    EXPECT_TRUE(bar.any && (bar.flags & GUI_INMENUMODE)) << "F10: the menu bar";
    EXPECT_TRUE(IsRectEmpty(&bar.popup)) << "with no menu dropped down yet";
    tMenuSeen rowMenu = press(true);
    EXPECT_TRUE(rowMenu.any) << "Shift+F10: a menu";
    RECT row;
    ASSERT_TRUE(TreeView_GetItemRect(view, FindRow(1000), &row, TRUE));
    POINT centre = {(row.left + row.right) / 2, (row.top + row.bottom) / 2};
    ClientToScreen(view, &centre);
    EXPECT_NEAR(centre.x, rowMenu.popup.left, 2) << "the row's menu, at the row";
    EXPECT_NEAR(centre.y, rowMenu.popup.top, 2);
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
}

TEST_F(WindowTest, TheWindowCannotBeShrunkUntilTheMenuBarWraps)
{
    m_dialog->PrepareAndShow();
    HWND window = m_dialog->GetHandle();
    SetWindowPos(window, nullptr, 0, 0, 20, 20, SWP_NOMOVE | SWP_NOZORDER);
    RECT rect;
    GetWindowRect(window, &rect);
    SIZE minimum = m_dialog->MinimumSize();
    EXPECT_GE(rect.right - rect.left, minimum.cx);
    EXPECT_GE(rect.bottom - rect.top, minimum.cy);
    RECT first, last;
    ASSERT_TRUE(GetMenuItemRect(window, m_dialog->GetMainMenu(), 0, &first));
    ASSERT_TRUE(GetMenuItemRect(window, m_dialog->GetMainMenu(), 2, &last));
    EXPECT_EQ(first.top, last.top) << "all of the menu bar on one line";
    EXPECT_LE(last.right, rect.right);
}

TEST_F(WindowTest, TreeImagesFollowTheDisplayScaling)
{
    int size = 0, height = 0;
    ASSERT_TRUE(ImageList_GetIconSize(m_dialog->GetImages(), &size, &height));
    EXPECT_EQ(ui::ScaleToDpi(16, ui::DpiOf(m_dialog->GetHandle())), size);
    EXPECT_EQ(size, height);
    EXPECT_EQ(21, ImageList_GetImageCount(m_dialog->GetImages()));
}
