#include <gtest/gtest.h>

#include "common/osversion.h"
#include "common/xutil.h"

namespace {

tOSVersion Running(const char* text)
{
    tOSVersion v;
    EXPECT_TRUE(ParseOSVersion(text, v)) << text;
    return v;
}

const tOSVersion kWin98 = Running("Win9x.4.10.67766446"); // build carries 4.10 in its high word
const tOSVersion kWin2000 = Running("WinNT.5.0.2195#Service_Pack_4");
const tOSVersion kWinXP = Running("WinNT.5.1.2600#Service_Pack_2");
const tOSVersion kServer2003 = Running("WinNT.5.2.3790");

} // namespace

TEST(OSVersion, ParsesNamesAndTexts)
{
    tOSVersion v;
    ASSERT_TRUE(ParseOSVersion("winxp", v));
    EXPECT_EQ(OS_PLATFORM_WINNT, v.platform);
    EXPECT_EQ(2, v.parts);
    EXPECT_EQ(5u, v.major);
    EXPECT_EQ(1u, v.minor);

    ASSERT_TRUE(ParseOSVersion("WINNT.5.1.2600#Service_Pack_2", v));
    EXPECT_EQ(3, v.parts);
    EXPECT_EQ(2600u, v.build);
    EXPECT_TRUE(v.hasServicePack);
    EXPECT_EQ("Service Pack 2", v.servicePack);

    ASSERT_TRUE(ParseOSVersion("Win32S", v));
    EXPECT_EQ(OS_PLATFORM_WIN32S, v.platform);
    EXPECT_EQ(0, v.parts);

    EXPECT_FALSE(ParseOSVersion("", v));
    EXPECT_FALSE(ParseOSVersion("Linux.5.1", v));
    EXPECT_FALSE(ParseOSVersion("WinNT.5.x", v));
    EXPECT_FALSE(ParseOSVersion("WinNT.5..1", v));
    EXPECT_FALSE(ParseOSVersion("WinNT.1.2.3.4", v));
}

TEST(OSVersion, ComparisonCodes)
{
    EXPECT_EQ(OS_COMPARE_EQUAL, CompareOSVersion("WinXP", kWinXP));
    EXPECT_EQ(OS_COMPARE_EQUAL, CompareOSVersion("WinNT.5", kServer2003)) << "a missing part matches";
    EXPECT_EQ(OS_COMPARE_NEWER, CompareOSVersion("Win2k", kWinXP));
    EXPECT_EQ(OS_COMPARE_OLDER, CompareOSVersion("WinXP", kWin2000));
    EXPECT_EQ(OS_COMPARE_PLATFORM, CompareOSVersion("WinXP", kWin98));
    EXPECT_EQ(OS_COMPARE_INVALID, CompareOSVersion("Vista", kWinXP));
    EXPECT_EQ(OS_COMPARE_OLDER, CompareOSVersion("WinNT.5.1.2601", kWinXP));
}

TEST(OSVersion, NinetyFiveBuildsCompareByTheirLowWord)
{
    // 67766446 = 0x040A08AE: the low word is 2222, the second edition.
    EXPECT_EQ(OS_COMPARE_EQUAL, CompareOSVersion("Win98SE", kWin98));
    EXPECT_EQ(OS_COMPARE_NEWER, CompareOSVersion("Win98FE", kWin98));
    EXPECT_EQ("Win9x.4.10.2222", FormatOSVersion(kWin98));
}

TEST(OSVersion, ServicePackTextBreaksTies)
{
    EXPECT_EQ(OS_COMPARE_EQUAL, CompareOSVersion("WinNT.5.1.2600#Service_Pack_2", kWinXP));
    EXPECT_EQ(OS_COMPARE_NEWER, CompareOSVersion("WinNT.5.1.2600#Service_Pack_1", kWinXP));
    EXPECT_EQ(OS_COMPARE_OLDER, CompareOSVersion("WinNT.5.1.2600#Service_Pack_3", kWinXP));
    EXPECT_EQ(OS_COMPARE_EQUAL, CompareOSVersion("WinNT.5.1#Service_Pack_9", kWinXP))
        << "the service pack counts only when all three numbers are given";
    EXPECT_EQ("WinNT.5.1.2600#Service_Pack_2", FormatOSVersion(kWinXP));
}

TEST(OSVersion, MatchOperators)
{
    EXPECT_TRUE(MatchOSVersion(">=WinXP", kWinXP));
    EXPECT_TRUE(MatchOSVersion(">= WinXP", kServer2003));
    EXPECT_FALSE(MatchOSVersion(">=WinXP", kWin2000));
    EXPECT_FALSE(MatchOSVersion(">=WinXP", kWin98)) << "another platform";
    EXPECT_TRUE(MatchOSVersion("not WinXP", kWin98));
    EXPECT_FALSE(MatchOSVersion("not WinXP", kWin2000));
    EXPECT_TRUE(MatchOSVersion("!WinXP", kWin98));
    EXPECT_TRUE(MatchOSVersion("WinXP", kWinXP)) << "no operator means =";
    EXPECT_TRUE(MatchOSVersion("=WinXP", kWinXP));
    EXPECT_TRUE(MatchOSVersion(">Win2k", kWinXP));
    EXPECT_FALSE(MatchOSVersion(">WinXP", kWinXP));
    EXPECT_TRUE(MatchOSVersion("<WinXP", kWin2000));
    EXPECT_TRUE(MatchOSVersion("=<WinXP", kWinXP));
    EXPECT_TRUE(MatchOSVersion("=>Win2k", kWin2000));
    EXPECT_FALSE(MatchOSVersion("=nonsense", kWinXP));
}

TEST(OSVersion, SubstituteStandsForTheRunningSystem)
{
    EXPECT_EQ(OS_COMPARE_EQUAL,
              xUtilCompareOSVersion("WinNT.5.1.2600#Service_Pack_2", "WinNT.5.1.2600#Service_Pack_2"));
    EXPECT_EQ(OS_COMPARE_PLATFORM, xUtilCompareOSVersion("WinXP", "Win98"));
    EXPECT_EQ(OS_COMPARE_NEWER, xUtilCompareOSVersion("Win2k", "WinXP"));

    // A substitute that does not parse falls back to the real system.
    const char* running = xUtilGetOSVersionString();
    ASSERT_NE(nullptr, running);
    EXPECT_EQ(OS_COMPARE_EQUAL, xUtilCompareOSVersion(running, "garbage"));
    EXPECT_EQ(0u, std::string(running).find("WinNT."));
    EXPECT_EQ(std::string::npos, std::string(running).find(' ')) << "blanks are written as _";
}
