#include <gtest/gtest.h>

#include "common/strings.h"

TEST(TruncateText, NeverSplitsACharacter)
{
    const std::string kitchen = "K\xC3\xBC" "che \xE2\x98\x95"; // "Küche ☕": 2-byte ü, 3-byte ☕
    EXPECT_EQ(kitchen, xUtilTruncateText(kitchen, 64, CP_UTF8));
    EXPECT_EQ("K", xUtilTruncateText(kitchen, 2, CP_UTF8)) << "ü does not fit in one byte";
    EXPECT_EQ("K\xC3\xBC", xUtilTruncateText(kitchen, 3, CP_UTF8));
    EXPECT_EQ("K\xC3\xBC" "che ", xUtilTruncateText(kitchen, 9, CP_UTF8)) << "nor ☕ in two";
    EXPECT_EQ("", xUtilTruncateText(kitchen, 0, CP_UTF8));

    // Shift-JIS: 0x82 0xA0 is one character.
    const std::string japanese = "a\x82\xA0" "b";
    EXPECT_EQ("a", xUtilTruncateText(japanese, 2, 932));
    EXPECT_EQ("a\x82\xA0", xUtilTruncateText(japanese, 3, 932));
    // A single-byte code page cuts anywhere.
    EXPECT_EQ("K\xFC", xUtilTruncateText("K\xFC" "che", 2, 1252));
}
