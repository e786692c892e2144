#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/tests/test_support.h"
#include "monitor/merge.h"
#include "monitor/tests/monitor_test_support.h"

namespace {

void Noop(HWND, int32_t, bool*) {}
void Other(HWND, int32_t, bool*) {}

CItem* Item(int32_t id, const std::string& name, const std::string& value = "",
            std::vector<CItem*> children = {})
{
    CItem* item = new CItem(name, id % 21, value, id);
    for (CItem* child : children)
        item->GetChildren().AddItem(child);
    return item;
}

// The tree view's parent answers for the row texts, as the monitor window does.
LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NOTIFY && CTreeRows::AnswerDispInfo(reinterpret_cast<const NMHDR*>(lParam)))
        return 0;
    return DefWindowProcA(window, message, wParam, lParam);
}

// A real tree view in a window of its own.
class MergeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSA parentClass = {};
        parentClass.lpfnWndProc = ParentProc;
        parentClass.hInstance = GetModuleHandleA(nullptr);
        parentClass.lpszClassName = "VelmoraMergeTestParent";
        RegisterClassA(&parentClass);
        m_window = CreateWindowExA(0, parentClass.lpszClassName, "merge", WS_OVERLAPPEDWINDOW, 0, 0, 400, 600,
                                   nullptr, nullptr, nullptr, nullptr);
        if (!m_window) {
            if (testsupport::DisplayRequired())
                FAIL() << "no window although a display was provided";
            GTEST_SKIP() << "no display";
        }
        m_tree = CreateWindowExA(0, WC_TREEVIEWA, "", WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS |
                                 TVS_HASLINES | TVS_LINESATROOT, 0, 0, 400, 600, m_window,
                                 nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, m_tree);
        m_rows.reset(new CTreeRows(m_tree));
    }
    void TearDown() override
    {
        m_rows.reset();
        if (m_window)
            DestroyWindow(m_window);
    }

    tMergeStats Merge(const CState* state, const std::string& plugin)
    {
        tMergeStats stats;
        m_rows->Merge(state, plugin, m_refresh, &stats);
        return stats;
    }

    std::string Text(HTREEITEM item) { return monitortest::TreeItemText(m_tree, item); }

    // Every row, depth first, as "<depth spaces>text".
    std::vector<std::string> Rows()
    {
        std::vector<std::string> rows;
        std::function<void(HTREEITEM, int)> walk = [&](HTREEITEM item, int depth) {
            for (; item; item = TreeView_GetNextSibling(m_tree, item)) {
                rows.push_back(std::string(depth, ' ') + Text(item));
                walk(TreeView_GetChild(m_tree, item), depth + 1);
            }
        };
        walk(TreeView_GetRoot(m_tree), 0);
        return rows;
    }

    HTREEITEM Find(const std::string& text)
    {
        std::function<HTREEITEM(HTREEITEM)> walk = [&](HTREEITEM item) -> HTREEITEM {
            for (; item; item = TreeView_GetNextSibling(m_tree, item)) {
                if (Text(item) == text)
                    return item;
                if (HTREEITEM found = walk(TreeView_GetChild(m_tree, item)))
                    return found;
            }
            return nullptr;
        };
        return walk(TreeView_GetRoot(m_tree));
    }

    HWND m_window = nullptr;
    HWND m_tree = nullptr;
    std::unique_ptr<CTreeRows> m_rows;
    HANDLE m_refresh = reinterpret_cast<HANDLE>(0x1234);
};

} // namespace

TEST_F(MergeTest, GroupsStandInPluginNameOrderWhateverTheArrivalOrder)
{
    CState plexa, dialtrack, copper;
    plexa.AddItem(Item(1000, "Plexa"));
    plexa.AddItem(Item(2000, "Remote"));
    dialtrack.AddItem(Item(1, "Connection", "Home"));
    copper.AddItem(Item(1, "Modem"));

    Merge(&plexa, "plexa.dll");
    Merge(&dialtrack, "dialtrack.dll");
    Merge(&copper, "copperstick.dll");
    EXPECT_EQ((std::vector<std::string>{"Modem", "Connection: Home", "Plexa", "Remote"}), Rows());

    // Updates in any order keep the groups where they are.
    dialtrack.GetAt(0)->SetValue("Office");
    Merge(&plexa, "plexa.dll");
    Merge(&dialtrack, "dialtrack.dll");
    Merge(&copper, "copperstick.dll");
    EXPECT_EQ((std::vector<std::string>{"Modem", "Connection: Office", "Plexa", "Remote"}), Rows());

    // Same ids in different plug-ins never match each other.
    Merge(nullptr, "dialtrack.dll");
    EXPECT_EQ((std::vector<std::string>{"Modem", "Plexa", "Remote"}), Rows());
    tTreeRow* row = GetTreeRow(m_tree, Find("Modem"));
    ASSERT_NE(nullptr, row);
    EXPECT_EQ("copperstick.dll", row->plugin);
    EXPECT_EQ(m_refresh, row->refresh);
}

TEST_F(MergeTest, OneChangedValueTouchesOneRowAndKeepsExpansionAndSelection)
{
    CState state;
    state.AddItem(Item(1, "Modem", "", {Item(2, "Device status", "Idle"), Item(3, "Upstream", "128 Kbytes/s"),
                                          Item(4, "Downstream", "512 Kbytes/s", {Item(40, "Detail", "x")})}));
    state.AddItem(Item(10, "Second"));
    tMergeStats first = Merge(&state, "copperstick.dll");
    EXPECT_EQ(6, first.inserted);

    HTREEITEM modem = Find("Modem");
    HTREEITEM downstream = Find("Downstream: 512 Kbytes/s");
    ASSERT_NE(nullptr, downstream);
    TreeView_Expand(m_tree, downstream, TVE_COLLAPSE);
    HTREEITEM upstream = Find("Upstream: 128 Kbytes/s");
    TreeView_SelectItem(m_tree, upstream);

    state.FindItem(2)->SetValue("Operational");
    tMergeStats second = Merge(&state, "copperstick.dll");
    EXPECT_EQ(1, second.updated);
    EXPECT_EQ(0, second.inserted);
    EXPECT_EQ(0, second.deleted);
    EXPECT_EQ(1, second.Touched());

    EXPECT_EQ(modem, Find("Modem")) << "the same row, not a new one";
    EXPECT_EQ(downstream, Find("Downstream: 512 Kbytes/s"));
    EXPECT_NE(nullptr, Find("Device status: Operational"));
    EXPECT_EQ(upstream, TreeView_GetSelection(m_tree));
    EXPECT_FALSE(TreeView_GetItemState(m_tree, downstream, TVIS_EXPANDED) & TVIS_EXPANDED)
        << "collapsed by the user, collapsed it stays";
    EXPECT_TRUE(TreeView_GetItemState(m_tree, modem, TVIS_EXPANDED) & TVIS_EXPANDED)
        << "new rows start expanded";

    // Nothing changed at all: nothing is touched.
    EXPECT_EQ(0, Merge(&state, "copperstick.dll").Touched());

    // An icon change alone counts as a change of the row.
    state.FindItem(10)->SetIcon(5);
    EXPECT_EQ(1, Merge(&state, "copperstick.dll").updated);
}

TEST_F(MergeTest, DroppedMiddleItemDeletesThatRowOnly)
{
    CState state;
    state.AddItem(Item(1, "A"));
    state.AddItem(Item(2, "B", "", {Item(21, "B1"), Item(22, "B2")}));
    state.AddItem(Item(3, "C"));
    Merge(&state, "p.dll");
    HTREEITEM a = Find("A"), c = Find("C");

    CState next;
    next.AddItem(Item(1, "A"));
    next.AddItem(Item(3, "C"));
    tMergeStats stats = Merge(&next, "p.dll");
    EXPECT_EQ((std::vector<std::string>{"A", "C"}), Rows());
    EXPECT_EQ(3, stats.deleted) << "B with its two children";
    EXPECT_EQ(0, stats.inserted);
    EXPECT_EQ(a, Find("A"));
    EXPECT_EQ(c, Find("C"));
}

TEST_F(MergeTest, InsertedItemGoesBetweenItsNeighbours)
{
    CState state;
    state.AddItem(Item(1, "A"));
    state.AddItem(Item(3, "C"));
    Merge(&state, "p.dll");
    CState other;
    other.AddItem(Item(1, "Z"));
    Merge(&other, "q.dll");
    HTREEITEM a = Find("A"), c = Find("C");

    CState next;
    next.AddItem(Item(1, "A"));
    next.AddItem(Item(2, "B", "", {Item(20, "B child")}));
    next.AddItem(Item(3, "C"));
    tMergeStats stats = Merge(&next, "p.dll");
    EXPECT_EQ((std::vector<std::string>{"A", "B", " B child", "C", "Z"}), Rows());
    EXPECT_EQ(2, stats.inserted);
    EXPECT_EQ(0, stats.deleted);
    EXPECT_EQ(a, Find("A"));
    EXPECT_EQ(c, Find("C"));
}

TEST_F(MergeTest, ReorderedAndRemovedTreesEndInTheNewOrder)
{
    CState state;
    for (int id = 1; id <= 4; ++id)
        state.AddItem(Item(id, "R" + std::to_string(id)));
    Merge(&state, "p.dll");
    CState next;
    next.AddItem(Item(3, "R3"));
    next.AddItem(Item(1, "R1"));
    next.AddItem(Item(5, "R5"));
    Merge(&next, "p.dll");
    EXPECT_EQ((std::vector<std::string>{"R3", "R1", "R5"}), Rows());

    CState empty;
    Merge(&empty, "p.dll");
    EXPECT_TRUE(Rows().empty()) << "an empty tree and a missing one look alike";
}

TEST_F(MergeTest, ItemThatLosesItsChildrenLosesTheirRows)
{
    CState state;
    state.AddItem(Item(1, "Parent", "", {Item(2, "Child")}));
    Merge(&state, "p.dll");
    CState next;
    next.AddItem(Item(1, "Parent"));
    Merge(&next, "p.dll");
    EXPECT_EQ((std::vector<std::string>{"Parent"}), Rows());
}

TEST_F(MergeTest, MenuEntriesAreReplacedOnEveryUpdate)
{
    CState state;
    state.AddItem(new CItem("Device", 12, "", 1000, {{"&Rename", Noop}}));
    Merge(&state, "p.dll");
    CState next;
    next.AddItem(new CItem("Device", 12, "", 1000, {{"&Rename", Noop}, {"", nullptr}, {"&Control device", Other}}));
    EXPECT_EQ(0, Merge(&next, "p.dll").Touched()) << "menus are data, the view is unchanged";
    tTreeRow* row = GetTreeRow(m_tree, Find("Device"));
    ASSERT_EQ(3u, row->actions.size());
    EXPECT_EQ("&Control device", row->actions[2].text);
    EXPECT_EQ(Other, row->actions[2].proc);

    CState none;
    none.AddItem(new CItem("Device", 12, "", 1000));
    Merge(&none, "p.dll");
    EXPECT_TRUE(GetTreeRow(m_tree, Find("Device"))->actions.empty());
}

TEST_F(MergeTest, AChangedTextCostsARepaintOnlyWhereTheRowIsShown)
{
    ShowWindow(m_window, SW_SHOWNA);
    // Enough rows that the last ones lie below the window's bottom edge.
    CState state;
    for (int id = 1; id <= 80; ++id)
        state.AddItem(Item(id * 10, "Device " + std::to_string(id), "14 MBit/s"));
    Merge(&state, "p.dll");
    UpdateWindow(m_tree);

    state.FindItem(10)->SetValue("15 MBit/s");
    tMergeStats shown = Merge(&state, "p.dll");
    EXPECT_EQ(1, shown.updated);
    EXPECT_EQ(1, shown.repainted) << "the first row is on screen";
    EXPECT_EQ(0, shown.remeasured) << "no wider than before";
    EXPECT_EQ("Device 1: 15 MBit/s", Text(Find("Device 1: 15 MBit/s")));

    state.FindItem(800)->SetValue("13 MBit/s");
    tMergeStats hidden = Merge(&state, "p.dll");
    EXPECT_EQ(1, hidden.updated);
    EXPECT_EQ(0, hidden.repainted) << "the last row is scrolled out of sight";
    EXPECT_NE(nullptr, Find("Device 80: 13 MBit/s")) << "yet it reads the new text when asked";

    state.FindItem(800)->SetValue("13 MBit/s and a good deal more text than before");
    EXPECT_EQ(1, Merge(&state, "p.dll").remeasured) << "a wider text is measured by the tree view";

    state.FindItem(20)->SetIcon(3);
    tMergeStats image = Merge(&state, "p.dll");
    EXPECT_EQ(1, image.updated);
    EXPECT_EQ(0, image.repainted + image.remeasured) << "an image alone is set with the image flags";
}

TEST_F(MergeTest, ACopyOfATreeMergesLikeTheTree)
{
    CState state;
    state.AddItem(new CItem("Kitchen", 12, "", 1000, {{"&Rename", Noop}}));
    state.GetAt(0)->GetChildren().AddItem(Item(1002, "MAC address", "02:00:00:00:00:01"));
    state.AddItem(Item(2000, "Study"));
    tTreeCopy copy = CopyTree(state);
    ASSERT_EQ(2u, copy.size());
    EXPECT_EQ(1u, copy[0].children.size());
    EXPECT_EQ(1u, copy[0].actions.size());

    tMergeStats stats;
    m_rows->Merge(copy, "p.dll", m_refresh, &stats);
    EXPECT_EQ(3, stats.inserted);
    EXPECT_EQ((std::vector<std::string>{"Kitchen", " MAC address: 02:00:00:00:00:01", "Study"}), Rows());
    EXPECT_EQ(0, Merge(&state, "p.dll").Touched()) << "the tree itself finds nothing to change";
    EXPECT_EQ((std::vector<std::string>{"Kitchen", "Study"}), m_rows->RootNames("p.dll"));
    EXPECT_TRUE(m_rows->RootNames("q.dll").empty());
    EXPECT_EQ(Noop, GetTreeRow(m_tree, Find("Kitchen"))->actions[0].proc);
}
