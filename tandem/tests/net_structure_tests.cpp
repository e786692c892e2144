#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "tandem/net_structure.h"

namespace {

const uint32_t kLocal = 0x0100007F;     // 127.0.0.1
const uint32_t kOther = 0x020112C6;     // 198.18.1.2
const uint32_t kThird = 0x030112C6;     // 198.18.1.3

// A tree view that remembers its items, and complains about deleting what is not there.
class CFakeTree : public ITreeView {
public:
    struct tItem {
        tTreeItem parent = 0;
        std::string text;
        int image = -1;
        int selectedImage = -1;
        void* data = nullptr;
    };

    tTreeItem InsertItem(tTreeItem parent, const std::string& text, int image, int selectedImage,
                         void* data) override
    {
        if (parent && !items.count(parent))
            ++errors;
        tItem item;
        item.parent = parent;
        item.text = text;
        item.image = image;
        item.selectedImage = selectedImage;
        item.data = data;
        items[next] = item;
        order.push_back(next);
        return next++;
    }
    void DeleteItem(tTreeItem item) override
    {
        if (!items.erase(item))
            ++errors;
        ++deletions;
    }
    void SetItemText(tTreeItem item, const std::string& text) override { Get(item).text = text; }
    void SetItemImage(tTreeItem item, int image, int selectedImage) override
    {
        Get(item).image = image;
        Get(item).selectedImage = selectedImage;
    }
    void Repaint() override { ++repaints; }

    tItem& Get(tTreeItem item)
    {
        if (!items.count(item))
            ++errors;
        return items[item];
    }
    std::vector<std::string> ChildTexts(tTreeItem parent)
    {
        std::vector<std::string> texts;
        for (tTreeItem id : order)
            if (items.count(id) && items[id].parent == parent)
                texts.push_back(items[id].text);
        return texts;
    }

    std::map<tTreeItem, tItem> items;
    std::vector<tTreeItem> order;
    tTreeItem next = 100;
    int deletions = 0;
    int repaints = 0;
    int errors = 0;
};

ShareItem Folder(const std::string& name)
{
    return ShareItem{name, 0, true};
}

ShareItem File(const std::string& name, uint64_t size = 1)
{
    return ShareItem{name, size, false};
}

class NetStructureTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(0, tree.errors) << "the model touched tree items that were not there"; }

    std::atomic<bool> stop{false};
    CFakeTree tree;
};

} // namespace

TEST_F(NetStructureTest, HostsAreRootItemsWithTheImageOfTheirKind)
{
    CNetStructure net(stop, &tree);
    ShareNode* local = net.AddHost(kLocal, "desk", HOST_LOCAL);
    ShareNode* other = net.AddHost(kOther, "", HOST_ANNOUNCED);
    ShareNode* added = net.AddHost(kThird, "typed", HOST_ADDED);
    ASSERT_TRUE(local && other && added);
    EXPECT_EQ(5, tree.Get(local->TreeItem()).image);
    EXPECT_EQ(4, tree.Get(other->TreeItem()).image);
    EXPECT_EQ(9, tree.Get(added->TreeItem()).selectedImage);
    EXPECT_EQ(local, tree.Get(local->TreeItem()).data);
    EXPECT_EQ((std::vector<std::string>{"desk", "198.18.1.2", "typed"}), tree.ChildTexts(0));
    size_t index;
    ASSERT_TRUE(net.FindHost(kOther, index));
    EXPECT_EQ("198.18.1.2", net.GetHostName(index)) << "an empty name shows the address";
    EXPECT_EQ(HOST_ANNOUNCED, net.GetHostKind(index));
    net.RenameHost(index, "laptop");
    EXPECT_EQ("laptop", net.GetHostName(index));
    EXPECT_EQ("laptop", tree.Get(other->TreeItem()).text);
    EXPECT_FALSE(net.FindHost(0x09090909, index));
}

TEST_F(NetStructureTest, PathsOfRootsSharesFoldersAndFiles)
{
    CNetStructure net(stop, &tree);
    ShareNode* root = net.AddHost(kOther, "pc", HOST_ANNOUNCED);
    EXPECT_EQ("\\", root->GetPath());
    ShareNode* music = net.SetChildren(kOther, "\\", {Folder("music"), Folder("video")});
    ASSERT_EQ(root, music);
    ShareNode* share = net.SetChildren(kOther, "\\music\\", {Folder("live"), File("cover.jpg")});
    ASSERT_TRUE(share);
    EXPECT_TRUE(share->IsShare());
    EXPECT_EQ("\\music\\", share->GetPath());
    ShareNode* live = net.SetChildren(kOther, "\\music\\live\\", {File("a.mp3"), File("b.mp3")});
    ASSERT_TRUE(live);
    EXPECT_FALSE(live->IsShare());
    EXPECT_EQ("\\music\\live\\", live->GetPath());
    EXPECT_EQ("\\music\\live\\a.mp3", live->Children()[0]->GetPath());
}

TEST_F(NetStructureTest, FindNodeWalksExactNamesFromTheRoot)
{
    CNetStructure net(stop, &tree);
    ShareNode* root = net.AddHost(kOther, "pc", HOST_ANNOUNCED);
    net.SetChildren(kOther, "\\", {Folder("share")});
    net.SetChildren(kOther, "\\share\\", {File("file"), Folder("sub")});
    EXPECT_EQ(root, net.FindNode(kOther, "\\"));
    ShareNode* file = net.FindNode(kOther, "\\share\\file");
    ASSERT_TRUE(file);
    EXPECT_EQ("file", file->Item().name);
    EXPECT_EQ(net.FindNode(kOther, "\\share\\sub\\"), net.FindNode(kOther, "\\share\\sub"));
    EXPECT_EQ(nullptr, net.FindNode(kOther, "\\Share\\file")) << "names compare case-sensitively";
    EXPECT_EQ(nullptr, net.FindNode(kOther, "\\share\\nothing"));
    EXPECT_EQ(nullptr, net.FindNode(kThird, "\\"));
    EXPECT_EQ(nullptr, net.SetChildren(kOther, "\\missing\\", {File("x")})) << "an unknown path discards the listing";
}

TEST_F(NetStructureTest, OnlySharesAndFoldersGetTreeItems)
{
    CNetStructure net(stop, &tree);
    ShareNode* root = net.AddHost(kOther, "pc", HOST_ANNOUNCED);
    net.SetChildren(kOther, "\\", {Folder("music")});
    ShareNode* share = root->Children()[0].get();
    EXPECT_EQ(6, tree.Get(share->TreeItem()).image);
    EXPECT_EQ(6, tree.Get(share->TreeItem()).selectedImage);

    net.SetChildren(kOther, "\\music\\", {File("a.mp3"), Folder("live"), File("b.mp3")});
    EXPECT_EQ((std::vector<std::string>{"live"}), tree.ChildTexts(share->TreeItem()));
    EXPECT_EQ(0u, share->Children()[0]->TreeItem());
    ShareNode* live = share->Children()[1].get();
    EXPECT_EQ(0, tree.Get(live->TreeItem()).image) << "a new folder";
    EXPECT_EQ(6, tree.Get(share->TreeItem()).image) << "a share keeps its image when filled";

    net.SetChildren(kOther, "\\music\\live\\", {File("c.mp3")});
    EXPECT_EQ(1, tree.Get(live->TreeItem()).image) << "a filled folder";
    EXPECT_EQ(2, tree.Get(live->TreeItem()).selectedImage);
    EXPECT_GT(tree.repaints, 0);
}

TEST_F(NetStructureTest, ANameWithABackslashShowsItsLastPart)
{
    CNetStructure net(stop, &tree);
    ShareNode* root = net.AddHost(kOther, "pc", HOST_ANNOUNCED);
    net.SetChildren(kOther, "\\", {Folder("odd\\name")});
    EXPECT_EQ((std::vector<std::string>{"name"}), tree.ChildTexts(root->TreeItem()));
    EXPECT_EQ("odd\\name", root->Children()[0]->Item().name);
}

TEST_F(NetStructureTest, ANewListingReplacesTheOldTreeItems)
{
    CNetStructure net(stop, &tree);
    ShareNode* root = net.AddHost(kOther, "pc", HOST_ANNOUNCED);
    net.SetChildren(kOther, "\\", {Folder("a"), Folder("b")});
    net.SetChildren(kOther, "\\a\\", {Folder("deep")});
    size_t before = tree.items.size();
    EXPECT_EQ(4u, before);
    net.SetChildren(kOther, "\\", {Folder("c")});
    EXPECT_EQ((std::vector<std::string>{"c"}), tree.ChildTexts(root->TreeItem()));
    EXPECT_EQ(2u, tree.items.size()) << "root and c; a, b and deep are gone";
}

TEST_F(NetStructureTest, RemovingAHostRemovesItsWholeTree)
{
    CNetStructure net(stop, &tree);
    net.AddHost(kLocal, "desk", HOST_LOCAL);
    net.AddHost(kOther, "pc", HOST_ANNOUNCED);
    net.SetChildren(kOther, "\\", {Folder("a"), Folder("b")});
    net.SetChildren(kOther, "\\a\\", {Folder("deep"), File("f")});
    net.RemoveHost(kOther);
    EXPECT_EQ(1u, tree.items.size());
    EXPECT_EQ(1u, net.GetHostCount());
    net.RemoveHost(kThird); // unknown: nothing happens
    EXPECT_EQ(1u, net.GetHostCount());
}

TEST_F(NetStructureTest, RemoveChildTakesTheFirstShareOfThatName)
{
    CNetStructure net(stop, &tree);
    ShareNode* root = net.AddHost(kLocal, "desk", HOST_LOCAL);
    net.SetChildren(kLocal, "\\", {Folder("a"), Folder("b"), Folder("a")});
    EXPECT_TRUE(net.RemoveChild(kLocal, "a"));
    EXPECT_EQ((std::vector<std::string>{"b", "a"}), tree.ChildTexts(root->TreeItem()));
    EXPECT_FALSE(net.RemoveChild(kLocal, "zzz"));
    EXPECT_FALSE(net.RemoveChild(kThird, "b"));
}

TEST_F(NetStructureTest, AtShutdownTheTreeIsLeftToGoAsAWhole)
{
    {
        CNetStructure net(stop, &tree);
        net.AddHost(kOther, "pc", HOST_ANNOUNCED);
        net.SetChildren(kOther, "\\", {Folder("a"), Folder("b")});
        stop = true;
    }
    EXPECT_EQ(0, tree.deletions);
    stop = false;
    {
        CNetStructure net(stop, &tree);
        net.AddHost(kOther, "pc", HOST_ANNOUNCED);
        net.SetChildren(kOther, "\\", {Folder("a")});
    }
    EXPECT_EQ(2, tree.deletions) << "without shutdown every item is deleted";
}

TEST_F(NetStructureTest, ShuttingDownStopsFillingAListing)
{
    CNetStructure net(stop, &tree);
    ShareNode* root = net.AddHost(kOther, "pc", HOST_ANNOUNCED);
    stop = true;
    net.SetChildren(kOther, "\\", {Folder("a"), Folder("b")});
    EXPECT_TRUE(root->Children().empty());
}

TEST_F(NetStructureTest, WorksWithoutATreeView)
{
    CNetStructure net(stop, nullptr);
    net.AddHost(kOther, "", HOST_ANNOUNCED);
    ShareNode* share = net.SetChildren(kOther, "\\", {Folder("a")});
    ASSERT_TRUE(share);
    EXPECT_TRUE(net.SetChildren(kOther, "\\a\\", {Folder("b"), File("c")}));
    EXPECT_EQ("\\a\\b\\", net.FindNode(kOther, "\\a\\b\\")->GetPath());
}

TEST_F(NetStructureTest, RequestedFlagStartsClear)
{
    CNetStructure net(stop, &tree);
    ShareNode* root = net.AddHost(kOther, "pc", HOST_ANNOUNCED);
    EXPECT_TRUE(root->IsHostRoot());
    EXPECT_FALSE(root->Requested());
    root->SetRequested(true);
    EXPECT_TRUE(root->Requested());
}

TEST(UnwantedHosts, StayRefusedWhileTheyKeepAskingAndAreForgottenAfterTenQuietSeconds)
{
    std::atomic<bool> stop{false};
    CNetStructure net(stop, nullptr);
    uint32_t now = 0xFFFFF000; // the tick count wraps meanwhile
    net.SetClock([&] { return now; });
    EXPECT_FALSE(net.IsHostUnwanted(kOther));
    net.AddUnwantedHost(kOther);
    for (int i = 0; i < 5; ++i) {
        now += 9000;
        EXPECT_TRUE(net.IsHostUnwanted(kOther)) << "asked again after " << (i + 1) * 9 << " s";
    }
    EXPECT_FALSE(net.IsHostUnwanted(kThird));
    now += 10001;
    EXPECT_FALSE(net.IsHostUnwanted(kOther)) << "quiet for more than 10 s";
    EXPECT_FALSE(net.IsHostUnwanted(kOther));
}

TEST(FileListOrder, FoldersFirstThenByNameOrSizeAndDescendingIsTheExactReverse)
{
    std::vector<ShareItem> items = {File("b", 5), Folder("z"), File("a", 50), Folder("B"), File("C", 1)};
    auto sorted = [&](int key, bool ascending) {
        std::vector<ShareItem> copy = items;
        std::stable_sort(copy.begin(), copy.end(),
                         [&](const ShareItem& x, const ShareItem& y) { return ShareItemLess(x, y, key, ascending); });
        std::string names;
        for (const ShareItem& item : copy)
            names += item.name;
        return names;
    };
    EXPECT_EQ("BzCab", sorted(0, true)) << "byte-wise: capitals before small letters";
    EXPECT_EQ("baCzB", sorted(0, false)) << "descending puts files first";
    EXPECT_EQ("zBCba", sorted(1, true)) << "folders keep their order, files by size";
    EXPECT_EQ("abC", sorted(1, false).substr(0, 3));
    EXPECT_EQ(0, CompareShareItems(File("x", 3), File("x", 3), 0, true));
    EXPECT_LT(CompareShareItems(ShareItem{"\xE9", 0, false}, File("z"), 0, false), 0)
        << "descending: the byte 0xE9 is above z";
}
