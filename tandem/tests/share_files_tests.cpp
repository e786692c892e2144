#include <gtest/gtest.h>

#include <set>

#include "common/parseini.h"
#include "tandem/protocol.h"
#include "tandem/share_files.h"
#include "tandem/tests/hostile_paths.h"
#include "tandem/tests/tandem_test_support.h"

using tandemtest::CShares;

namespace {

std::set<std::string> Entries(const std::string& listing)
{
    tListingParse parsed;
    ParseListing(listing, parsed);
    std::set<std::string> entries;
    for (const ShareItem& item : parsed.items)
        entries.insert(item.name + (item.isFolder ? "/" : "=" + std::to_string(item.size)));
    return entries;
}

} // namespace

TEST(MapSharePath, RefusesEveryHostilePath)
{
    CShares shares;
    std::string docs = shares.MakeFolder("docs");
    shares.WriteFile("secret.txt", "outside");
    shares.Share("docs", docs);
    utilcpp::CParseini settings(shares.Settings());
    for (const std::string& path : HostileSharePaths()) {
        std::string local = "unchanged";
        EXPECT_FALSE(MapSharePath(settings, path, local)) << path;
        EXPECT_TRUE(local.empty()) << path;
    }
}

TEST(MapSharePath, MapsOrdinaryPathsInsideTheShare)
{
    CShares shares;
    std::string docs = shares.MakeFolder("docs");
    // A folder written with a trailing separator loses it once.
    shares.Share("docs", docs + "\\");
    utilcpp::CParseini settings(shares.Settings());
    for (const std::string& path : OrdinarySharePaths()) {
        std::string local;
        ASSERT_TRUE(MapSharePath(settings, path, local)) << path;
        EXPECT_EQ(docs + path.substr(5), local) << path;
        EXPECT_TRUE(IsInsideFolder(docs, local)) << local;
    }
}

TEST(MapSharePath, LooksSharesUpAsTheSettingsFileDoes)
{
    CShares shares;
    std::string docs = shares.MakeFolder("docs");
    testsupport::WriteFileText(shares.Settings(), "[shares]\r\n  My Docs  =" + docs + "\r\n");
    utilcpp::CParseini settings(shares.Settings());
    std::string local;
    EXPECT_TRUE(MapSharePath(settings, "\\My Docs\\a.txt", local));
    EXPECT_EQ(docs + "\\a.txt", local);
    EXPECT_TRUE(MapSharePath(settings, "\\MY DOCS\\", local)) << "keys match without regard to case";
    EXPECT_FALSE(MapSharePath(settings, "\\Other\\a.txt", local)) << "an unknown share";
    EXPECT_FALSE(MapSharePath(settings, "\\", local)) << "the root is no file path";
}

TEST(IsInsideFolder, ComparesCanonicalPathsAtSeparators)
{
    EXPECT_TRUE(IsInsideFolder("C:\\share", "C:\\share"));
    EXPECT_TRUE(IsInsideFolder("C:\\share\\", "c:\\SHARE\\a\\b.txt"));
    EXPECT_TRUE(IsInsideFolder("C:\\share", "C:\\share\\a\\..\\b"));
    EXPECT_FALSE(IsInsideFolder("C:\\share", "C:\\shareX\\a"));
    EXPECT_FALSE(IsInsideFolder("C:\\share", "C:\\share\\..\\x"));
    EXPECT_FALSE(IsInsideFolder("C:\\share", "C:\\share\\a\\..\\..\\x"));
    EXPECT_FALSE(IsInsideFolder("C:\\share", "D:\\share\\a"));
    EXPECT_FALSE(IsInsideFolder("", "C:\\a"));
}

TEST(ListShares, NamesEveryShareTrimmedInFileOrder)
{
    CShares shares;
    testsupport::WriteFileText(shares.Settings(),
                               "[global]\r\nhostname=x\r\n[shares]\r\n  music = C:\\m\r\nvideo=C:\\v\r\n"
                               "   =C:\\nameless\r\n[other]\r\na=b\r\n");
    utilcpp::CParseini settings(shares.Settings());
    EXPECT_EQ("music\\1\\0\\video\\1\\0", ListShares(settings));
    testsupport::WriteFileText(shares.Settings(), "[shares]\r\n");
    EXPECT_EQ("", ListShares(settings));
}

TEST(ListFolder, ListsFilesWithSizesAndFoldersWithoutDots)
{
    CShares shares;
    std::string docs = shares.MakeFolder("docs");
    shares.WriteFile("docs\\a b.txt", "hello");
    shares.WriteFile("docs\\empty.bin", "");
    shares.MakeFolder("docs\\sub");
    tCancelFlag cancel{false};
    std::set<std::string> expected = {"a b.txt=5", "empty.bin=0", "sub/"};
    EXPECT_EQ(expected, Entries(ListFolder(docs, cancel)));
    EXPECT_EQ(expected, Entries(ListFolder(docs + "\\", cancel)));
    EXPECT_EQ("", ListFolder(docs + "\\missing", cancel));
    cancel = true;
    EXPECT_LE(Entries(ListFolder(docs, cancel)).size(), 1u) << "a cancelled listing stops early";
}

TEST(DownloadTargets, StayInsideTheChosenFolder)
{
    CShares shares;
    std::string target = shares.MakeFolder("downloads");
    std::string out;
    ASSERT_TRUE(BuildDownloadTarget(target, "folder\\sub\\a.txt", out));
    EXPECT_EQ(target + "\\folder\\sub\\a.txt", out);
    for (const char* relative : {"..\\x", "folder\\..\\..\\x", "C:\\x", "C:x", "a/../../x", "x.\\y", "con\\a",
                                 "\\x", "a\\b:c"})
        EXPECT_FALSE(BuildDownloadTarget(target, relative, out)) << relative;
}

TEST(CreateParentFolders, CreatesEveryMissingLevel)
{
    CShares shares;
    std::string file = shares.Root() + "\\one\\two\\three\\file.txt";
    EXPECT_TRUE(CreateParentFolders(file));
    EXPECT_TRUE(IsExistingFolder(shares.Root() + "\\one\\two\\three"));
    EXPECT_FALSE(IsExistingFile(file));
    EXPECT_TRUE(CreateParentFolders(file)) << "all there already";
}
