#include <gtest/gtest.h>

#include "monitor/tray_texts.h"
#include "monitor/update_pacer.h"

TEST(TrayTexts, TipSumsUpTheDevicesBelowTheTitle)
{
    tTipTexts texts = {"velmora Brindle Watchpost", "No device found", "1 device found", "%d devices found"};
    EXPECT_EQ("velmora Brindle Watchpost\nNo device found", TrayTip(texts, 0));
    EXPECT_EQ("velmora Brindle Watchpost\n1 device found", TrayTip(texts, 1));
    EXPECT_EQ("velmora Brindle Watchpost\n12 devices found", TrayTip(texts, 12));
    texts.many = "";
    EXPECT_EQ("velmora Brindle Watchpost", TrayTip(texts, 12)) << "a missing text leaves the title alone";
    // A name is no format: "%s" or "%d" in it stays as it is.
    EXPECT_EQ("Found: 100%d", FormatText("Found: %s", "100%d"));
    EXPECT_EQ("no argument", FormatText("no argument", "x"));
    EXPECT_EQ("trailing %", FormatText("trailing %", "x"));
}

TEST(TrayTexts, DevicesAreMatchedByNameAndCountedTwiceWhenTheyAreTwo)
{
    std::vector<std::string> appeared, gone;
    DiffNames({"Plexa", "Plexa", "Study"}, {"Study", "Plexa", "Attic", "Plexa", "Plexa"}, appeared, gone);
    EXPECT_EQ((std::vector<std::string>{"Attic", "Plexa"}), appeared);
    EXPECT_TRUE(gone.empty());
    appeared.clear();
    DiffNames({"A", "B", "A", "C"}, {"A"}, appeared, gone);
    EXPECT_TRUE(appeared.empty());
    EXPECT_EQ((std::vector<std::string>{"A", "B", "C"}), gone) << "one of the two A is gone";
}

TEST(TrayTexts, NoticeHasOneLinePerDeviceAndSumsUpTheRest)
{
    tNoticeTexts texts = {"Found: %s", "No longer found: %s", "and %d more"};
    EXPECT_EQ("", NoticeText(texts, {}, {}));
    EXPECT_EQ("Found: A\nNo longer found: B", NoticeText(texts, {"A"}, {"B"}));
    EXPECT_EQ("Found: A\nFound: B\nFound: C\nand 3 more", NoticeText(texts, {"A", "B", "C", "D"}, {"E", "F"}));
    EXPECT_EQ("Found: A\nFound: B\nFound: C\nFound: D", NoticeText(texts, {"A", "B", "C", "D"}, {}));
}

TEST(UpdatePacer, OneUpdatePerIntervalAndTheLatestFollows)
{
    CUpdatePacer pacer(250);
    EXPECT_EQ(-1, pacer.NextDueIn(0));
    EXPECT_TRUE(pacer.Arrived("plexa.dll", 1000)) << "a quiet plug-in's update is shown at once";
    EXPECT_FALSE(pacer.Arrived("plexa.dll", 1010));
    EXPECT_FALSE(pacer.Arrived("plexa.dll", 1100));
    EXPECT_TRUE(pacer.Arrived("dialtrack.dll", 1100)) << "plug-ins are paced apart";
    EXPECT_EQ(150, pacer.NextDueIn(1100));
    EXPECT_TRUE(pacer.Due(1249).empty());
    EXPECT_EQ((std::vector<std::string>{"plexa.dll"}), pacer.Due(1250));
    EXPECT_EQ(-1, pacer.NextDueIn(1250)) << "nothing kept any more";
    // Just shown by the timer: the next one waits a whole interval again.
    EXPECT_FALSE(pacer.Arrived("plexa.dll", 1300));
    EXPECT_TRUE(pacer.IsKept("plexa.dll"));
    // Shown at once for another reason (its rows were removed): nothing is kept.
    pacer.Shown("plexa.dll", 1310);
    EXPECT_FALSE(pacer.IsKept("plexa.dll"));
    EXPECT_TRUE(pacer.Due(2000).empty());
    EXPECT_TRUE(pacer.Arrived("plexa.dll", 2000));
}

TEST(UpdatePacer, TheTickCounterMayWrap)
{
    CUpdatePacer pacer(250);
    EXPECT_TRUE(pacer.Arrived("plexa.dll", 0xFFFFFF00u));
    EXPECT_FALSE(pacer.Arrived("plexa.dll", 0xFFFFFFF0u));
    EXPECT_EQ(5, pacer.NextDueIn(0xFFFFFFF5u));
    EXPECT_TRUE(pacer.Due(0xFFFFFFF5u).empty());
    EXPECT_EQ((std::vector<std::string>{"plexa.dll"}), pacer.Due(0x00000000u)) << "256 ms later, past the wrap";
}
