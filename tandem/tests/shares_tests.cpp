// Shares and settings: which share names and folders are accepted, the add-host list, the
// window layout and its limits, and the settings keys with their defaults.
#include <gtest/gtest.h>

#include "common/tests/test_support.h"
#include "tandem/layout.h"
#include "tandem/settings.h"
#include "tandem/share_files.h"
#include "tandem/share_rules.h"

namespace {

bool AnyFolder(const std::string&)
{
    return true;
}

TEST(ShareRulesTest, ChecksInTheOrderTheUserIsTold)
{
    testsupport::CTempDir dir;
    auto folder = [](const std::string& path) { return IsExistingFolder(path); };
    EXPECT_EQ(ValidateShare("", dir.Path(), folder), static_cast<unsigned>(SHARE_TEXT_EMPTY));
    EXPECT_EQ(ValidateShare("music", "", folder), static_cast<unsigned>(SHARE_TEXT_EMPTY));
    EXPECT_EQ(ValidateShare("a\\b", "", folder), static_cast<unsigned>(SHARE_TEXT_EMPTY));
    EXPECT_EQ(ValidateShare("a\\b", dir.Path(), folder), static_cast<unsigned>(SHARE_TEXT_BACKSLASH));
    EXPECT_EQ(ValidateShare("music", dir.File("missing"), folder), static_cast<unsigned>(SHARE_TEXT_PATH_INVALID));
    testsupport::WriteFileText(dir.File("file.txt"), "x");
    EXPECT_EQ(ValidateShare("music", dir.File("file.txt"), folder), static_cast<unsigned>(SHARE_TEXT_PATH_INVALID));
    EXPECT_EQ(ValidateShare("music", dir.Path(), folder), 0u);
    // Folders by relative paths are refused even when they exist from here.
    for (const char* path : {".", "..\\", "music", "\\music", "C:music"})
        EXPECT_EQ(ValidateShare("music", path, AnyFolder), static_cast<unsigned>(SHARE_TEXT_PATH_INVALID)) << path;
    EXPECT_EQ(ValidateShare("music", "\\\\server\\music", AnyFolder), 0u);
}

TEST(ShareRulesTest, NamesTheSettingsFileOrThePeersCannotHoldAreRefused)
{
    for (const char* name : {"a=b", "[music]", "a]b", " music", "music ", ";music", "mu\tsic", "a:b", "a/b",
                             "what?", "end.", "CON", "lpt1.txt", "a\"b"})
        EXPECT_EQ(ValidateShare(name, "C:\\x", AnyFolder), static_cast<unsigned>(SHARE_TEXT_NAME_INVALID)) << name;
    for (const char* name : {"music", "my music", "a;b", "Fotos 2026", "x.y", "caf\xc3\xa9"})
        EXPECT_EQ(ValidateShare(name, "C:\\x", AnyFolder), 0u) << name;
}

TEST(ShareRulesTest, DroppedFolderSuggestsItsLastPart)
{
    EXPECT_EQ(ShareNameForFolder("C:\\data\\music"), "music");
    EXPECT_EQ(ShareNameForFolder("C:\\data\\music\\"), "music");
    EXPECT_EQ(ShareNameForFolder("music"), "music");
}

TEST(ShareSettingsTest, ShareIsWrittenRenamedAndRemovedThroughItsKey)
{
    testsupport::CTempDir dir;
    CTandemSettings settings(dir.File("tandem.ini"));
    settings.WriteShare("music", "C:\\music");
    EXPECT_EQ(settings.ShareFolder("music"), "C:\\music");
    // Share properties: the old key goes, the new one is written.
    settings.DeleteShare("music");
    settings.WriteShare("songs", "C:\\music");
    EXPECT_EQ(settings.ShareFolder("music"), "");
    EXPECT_EQ(ListShares(settings.File()), "songs\\1\\0");
    // A name that exists already replaces its folder.
    settings.WriteShare("songs", "C:\\other");
    EXPECT_EQ(settings.ShareFolder("songs"), "C:\\other");
}

TEST(ShareSettingsTest, DefaultsAndHostName)
{
    testsupport::CTempDir dir;
    CTandemSettings settings(dir.File("tandem.ini"));
    EXPECT_EQ(settings.GetInt("sound", 1), 1);
    EXPECT_FALSE(settings.HostName().empty()) << "the computer's network name";
    EXPECT_EQ(settings.HostName(), GetLocalHostName());
    settings.SetHostName("desk");
    EXPECT_EQ(settings.HostName(), "desk");
    EXPECT_NE(testsupport::ReadFileText(dir.File("tandem.ini")).find("hostname=desk"), std::string::npos);
}

TEST(HostMruTest, TypedTextFirstThenTheOthersAtMostTen)
{
    std::vector<std::string> old = {"a", "b", "c"};
    EXPECT_EQ(UpdateHostMru(old, "b"), (std::vector<std::string>{"b", "a", "c"}));
    std::vector<std::string> full;
    for (int i = 0; i < 10; ++i)
        full.push_back("h" + std::to_string(i));
    std::vector<std::string> updated = UpdateHostMru(full, "new");
    EXPECT_EQ(updated.size(), 10u);
    EXPECT_EQ(updated.front(), "new");
    EXPECT_EQ(updated.back(), "h8");

    testsupport::CTempDir dir;
    CTandemSettings settings(dir.File("tandem.ini"));
    settings.SetHostMru(updated);
    EXPECT_EQ(settings.HostMru(), updated);
    settings.SetHostMru({"one"});
    EXPECT_EQ(settings.HostMru(), std::vector<std::string>{"one"}) << "old entries are removed";
}

TEST(LayoutTest, PanesFollowTheSplitters)
{
    tMainLayout layout = ComputeLayout(600, 400, 200, 150);
    EXPECT_EQ(layout.tree.x, 7);
    EXPECT_EQ(layout.tree.y, 36);
    EXPECT_EQ(layout.tree.width, 200);
    EXPECT_EQ(layout.tree.height, 400 - 150 - 48);
    EXPECT_EQ(layout.list.x, 212);
    EXPECT_EQ(layout.list.width, 600 - 200 - 19);
    EXPECT_EQ(layout.horizontalSplitter.y, 400 - 150 - 12);
    EXPECT_EQ(layout.horizontalSplitter.height, 5);
    EXPECT_EQ(layout.verticalSplitter.x, 207);
    EXPECT_EQ(layout.verticalSplitter.width, 5);
    EXPECT_EQ(layout.chat.y, 400 - 150 - 7);
    EXPECT_EQ(layout.chat.height, 150);
    EXPECT_EQ(layout.transferGroup.x, 212);
    EXPECT_EQ(layout.transferView.width, 600 - 200 - 33);
    EXPECT_EQ(layout.transferView.height, 150 - 21);
    // The splitters sit in the gaps between the panes.
    EXPECT_EQ(layout.tree.x + layout.tree.width, layout.verticalSplitter.x);
    EXPECT_TRUE(layout.horizontalSplitter.Contains(300, 400 - 150 - 10));
    EXPECT_FALSE(layout.horizontalSplitter.Contains(300, 36));
}

TEST(LayoutTest, RestoredSplittersLeaveRoomForThePanes)
{
    int left = 900, bottom = 700;
    ClampPanels(600, 400, left, bottom);
    EXPECT_EQ(left, 450);
    EXPECT_EQ(bottom, 250);
    left = -5;
    bottom = 0;
    ClampPanels(600, 400, left, bottom);
    EXPECT_GT(left, 0);
    EXPECT_GT(bottom, 0);
}

} // namespace
