#include <gtest/gtest.h>

#include <stdlib.h>

#include <vector>

#include "common/list.h"

namespace {

std::vector<int> g_deleted;

void RecordDelete(void* item)
{
    g_deleted.push_back(*static_cast<int*>(item));
    free(item);
}

int* NewInt(int value)
{
    int* item = static_cast<int*>(malloc(sizeof(int)));
    *item = value;
    return item;
}

int32_t CompareInt(void* item, const void* probe)
{
    return *static_cast<int*>(item) - *static_cast<const int*>(probe);
}

} // namespace

TEST(List, MissingListsAndItemsAreHandled)
{
    EXPECT_EQ(0, ListCount(nullptr));
    EXPECT_EQ(nullptr, ListGetAt(nullptr, 0));
    EXPECT_EQ(nullptr, ListFindKey(nullptr, 1));
    EXPECT_FALSE(ListAppend(nullptr, &g_deleted, 1));
    ListClear(nullptr);
    ListFree(nullptr);

    tList* list = ListNew();
    EXPECT_FALSE(ListAppend(list, nullptr, 7));
    EXPECT_EQ(0, ListCount(list));
    EXPECT_EQ(nullptr, list->head);
    ListFree(list);
}

TEST(List, KeepsInsertionOrderAndPositions)
{
    tList* list = ListNew();
    int a = 1, b = 2, c = 3;
    ASSERT_TRUE(ListAppend(list, &a, 10));
    ASSERT_TRUE(ListAppend(list, &b, 20));
    ASSERT_TRUE(ListAppend(list, &c, 10));
    EXPECT_EQ(3, ListCount(list));
    EXPECT_EQ(&a, ListGetAt(list, 0));
    EXPECT_EQ(&c, ListGetAt(list, 2));
    EXPECT_EQ(nullptr, ListGetAt(list, 3)) << "a position equal to count yields none";
    EXPECT_EQ(nullptr, ListGetAt(list, -1));
    EXPECT_EQ(&a, ListFindKey(list, 10)) << "the first node with the key wins";
    EXPECT_EQ(&b, ListFindKey(list, 20));
    EXPECT_EQ(nullptr, ListFindKey(list, 30));
    EXPECT_EQ(&c, list->tail->item);
    ListFree(list);
}

TEST(List, FindUsesIdentityUnlessACompareIsSet)
{
    tList* list = ListNew();
    int a = 5, b = 6;
    int probe = 6;
    ListAppend(list, &a, 0);
    ListAppend(list, &b, 0);
    EXPECT_EQ(&b, ListFind(list, &b));
    EXPECT_EQ(nullptr, ListFind(list, &probe)) << "default compare is by address";

    ListSetCompare(list, CompareInt);
    EXPECT_EQ(&b, ListFind(list, &probe));
    ListSetCompare(list, nullptr);
    EXPECT_EQ(nullptr, ListFind(list, &probe)) << "none restores the default";
    ListFree(list);
}

TEST(List, DefaultCompareSeesAddressesFourGigabytesApart)
{
    // Two addresses 2^32 apart must not compare equal through a 32-bit difference.
    tList* list = ListNew();
    void* low = reinterpret_cast<void*>(static_cast<uintptr_t>(0x10000000ull));
    void* high = reinterpret_cast<void*>(static_cast<uintptr_t>(0x110000000ull));
    ListAppend(list, low, 0);
    EXPECT_EQ(nullptr, ListFind(list, high));
    EXPECT_EQ(low, ListFind(list, low));
    ListFree(list);
}

TEST(List, ClearCallsTheDeleterOncePerItemInOrder)
{
    g_deleted.clear();
    tList* list = ListNew();
    ListSetDeleter(list, RecordDelete);
    for (int i = 1; i <= 4; ++i)
        ListAppend(list, NewInt(i), i);
    ListClear(list);
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4}), g_deleted);
    EXPECT_EQ(0, ListCount(list));
    EXPECT_EQ(nullptr, list->head);
    EXPECT_EQ(nullptr, list->tail);

    // The list stays usable after a clear.
    ListAppend(list, NewInt(9), 9);
    EXPECT_EQ(1, ListCount(list));
    ListFree(list);
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 9}), g_deleted);
}
