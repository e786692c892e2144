#include <gtest/gtest.h>

#include <vector>

#include "monitor/source.win/global/status.h"

namespace {

std::vector<int> g_destroyed;

// Records its destruction, to prove every item goes exactly once.
class CCountedItem : public CItem {
public:
    CCountedItem(int32_t id, tItemActions actions = {})
        : CItem("item", 1, "", id, std::move(actions)) {}
    ~CCountedItem() override { g_destroyed.push_back(GetId()); }
};

void Noop(HWND, int32_t, bool*) {}

} // namespace

TEST(StatusTree, FindItemIsDepthFirstInInsertionOrder)
{
    CState root;
    CItem* a = new CItem("a", 1, "", 1);
    CItem* b = new CItem("b", 1, "", 2);
    CItem* a1 = new CItem("a1", 1, "", 10);
    CItem* a11 = new CItem("a11", 1, "", 100);
    CItem* b1 = new CItem("b1", 1, "", 100);
    CItem* dup = new CItem("dup", 1, "", 10);
    a->GetChildren().AddItem(a1);
    a1->GetChildren().AddItem(a11);
    b->GetChildren().AddItem(b1);
    b->GetChildren().AddItem(dup);
    root.AddItem(a);
    root.AddItem(b);

    EXPECT_EQ(a, root.FindItem(1));
    EXPECT_EQ(a11, root.FindItem(100)) << "a grandchild under the first item wins";
    EXPECT_EQ(a1, root.FindItem(10));
    EXPECT_EQ(nullptr, root.FindItem(999));
    EXPECT_EQ(b1, b->GetChildren().FindItem(100));

    // This level is searched whole before any child level.
    CItem* shallow = new CItem("shallow", 1, "", 100);
    root.AddItem(shallow);
    EXPECT_EQ(shallow, root.FindItem(100));
    EXPECT_EQ(3, root.GetCount());
    EXPECT_EQ(b, root.GetAt(1));
    EXPECT_EQ(nullptr, root.GetAt(3));
}

TEST(StatusTree, DeletingARootDeletesItsSubtreeOnce)
{
    g_destroyed.clear();
    {
        CState root;
        CCountedItem* top = new CCountedItem(1, {{"&Rename", Noop}, {"", nullptr}});
        CCountedItem* child = new CCountedItem(2);
        child->GetChildren().AddItem(new CCountedItem(3));
        top->GetChildren().AddItem(child);
        top->GetChildren().AddItem(new CCountedItem(4));
        root.AddItem(top);
        root.AddItem(new CCountedItem(5));
        ASSERT_NE(nullptr, top->GetActions());
        EXPECT_EQ(2u, top->GetActions()->size());

        root.RemoveAll();
        std::vector<int> sorted = g_destroyed;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 5}), sorted);
        EXPECT_EQ(0, root.GetCount());

        // The state stays usable; what is added now goes when the state goes.
        root.AddItem(new CCountedItem(6));
    }
    EXPECT_EQ(6u, g_destroyed.size());
    EXPECT_EQ(6, g_destroyed.back());
}

TEST(StatusTree, ItemsWithoutAndWithActions)
{
    CItem plain("Device status", 3, "Operational", 7);
    EXPECT_EQ(nullptr, plain.GetActions());
    CItem empty("x", 1, "", 8, tItemActions());
    ASSERT_NE(nullptr, empty.GetActions()) << "an empty sequence is still a sequence";
    EXPECT_TRUE(empty.GetActions()->empty());

    plain.SetValue("Fail");
    plain.SetIcon(4);
    plain.SetName("State");
    EXPECT_EQ("Fail", plain.GetValue());
    EXPECT_EQ(4, plain.GetIcon());
    EXPECT_EQ("State", plain.GetName());
    EXPECT_EQ(7, plain.GetId());
}

TEST(StatusTree, EmptyAndMissingStatesLookAlike)
{
    CState empty;
    EXPECT_EQ(0, empty.GetCount());
    EXPECT_EQ(nullptr, empty.GetAt(0));
    EXPECT_EQ(nullptr, empty.FindItem(1));
}
