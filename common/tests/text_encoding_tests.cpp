#include <gtest/gtest.h>

#include "common/text_encoding.h"

TEST(TextEncoding, TellsWellFormedUtf8FromEverythingElse)
{
    EXPECT_TRUE(xUtilIsUtf8(""));
    EXPECT_TRUE(xUtilIsUtf8("plain ASCII"));
    EXPECT_TRUE(xUtilIsUtf8("K\xC3\xBC" "che \xE2\x98\x95 \xE5\xAE\xA2\xE5\x8E\x85 \xF0\x9F\x8F\xA0"));
    EXPECT_FALSE(xUtilIsUtf8("K\xFC" "che")) << "code page 1252";
    EXPECT_FALSE(xUtilIsUtf8("\xC3")) << "cut short";
    EXPECT_FALSE(xUtilIsUtf8("\xE2\x98")) << "cut short";
    EXPECT_FALSE(xUtilIsUtf8("\x80")) << "a continuation byte alone";
    EXPECT_FALSE(xUtilIsUtf8("\xC0\xAF")) << "overlong";
    EXPECT_FALSE(xUtilIsUtf8("\xE0\x80\xAF")) << "overlong";
    EXPECT_FALSE(xUtilIsUtf8("\xED\xA0\x80")) << "a surrogate";
    EXPECT_FALSE(xUtilIsUtf8("\xF4\x90\x80\x80")) << "above U+10FFFF";
    EXPECT_FALSE(xUtilIsUtf8("\xC3\x28")) << "a continuation byte missing";
}

TEST(TextEncoding, CodePage1252BecomesUtf8)
{
    EXPECT_EQ("K\xC3\xBC" "che", xUtilCp1252ToUtf8("K\xFC" "che"));
    EXPECT_EQ("\xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D \xC5\xB8", xUtilCp1252ToUtf8("\x80 \x93q\x94 \x9F"));
    EXPECT_EQ("\xEF\xBF\xBD", xUtilCp1252ToUtf8("\x81")) << "undefined in the code page";
    EXPECT_EQ("\xC3\xBF", xUtilCp1252ToUtf8("\xFF"));
    std::string utf8 = "K\xC3\xBC" "che";
    EXPECT_EQ(utf8, xUtilUtf8OrCp1252(utf8)) << "UTF-8 stays as it is";
    EXPECT_EQ(utf8, xUtilUtf8OrCp1252("K\xFC" "che"));
    EXPECT_TRUE(xUtilIsUtf8(xUtilCp1252ToUtf8(std::string("\x80\x81\x8D\x8F\x90\x9D\xA0\xFF", 8))));
}
