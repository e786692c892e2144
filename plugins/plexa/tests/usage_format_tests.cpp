#include <gtest/gtest.h>

#include "plugins/plexa/usage_format.h"

TEST(UsageFormat, TimeStampsInTheirTextForm)
{
    tCalendar c = {5, 3, 2004, 14, 7, 9};
    tTimeStamp t = TimeStampFromCalendar(c);
    EXPECT_EQ("05.03.2004;14:07:09", FormatTimeStamp(t));
    EXPECT_EQ(t.value, ParseTimeStamp("05.03.2004;14:07:09").value);
    EXPECT_EQ(t.value, ParseTimeStamp("5.3.2004;14:7:9").value) << "free decimal fields";
    EXPECT_EQ(TimeStampFromCalendar({5, 3, 2004, 0, 0, 0}).value, ParseTimeStamp("05.03.2004").value);
    EXPECT_EQ(0u, ParseTimeStamp("yesterday").value);
    EXPECT_EQ(0u, ParseTimeStamp("05.03").value) << "fewer than three fields";
    EXPECT_EQ(0u, ParseTimeStamp("").value);
    EXPECT_EQ("06.03.2004;14:07:09", FormatTimeStamp(AddSeconds(t, 86400)));
    // 1970-01-01 is 11644473600 s after 1601-01-01.
    EXPECT_EQ(116444736000000000ull, TimeStampFromCalendar({1, 1, 1970, 0, 0, 0}).value);
    EXPECT_EQ("29.02.2000;23:59:59", FormatTimeStamp(TimeStampFromCalendar({29, 2, 2000, 23, 59, 59})));
    EXPECT_TRUE(ParseTimeStamp("01.01.2020") < ParseTimeStamp("02.01.2020"));
}

TEST(UsageFormat, SettingNumbers)
{
    EXPECT_EQ(1u, ParseSettingNumber("0x1", 0));
    EXPECT_EQ(255u, ParseSettingNumber("0xFF", 0));
    EXPECT_EQ(2592000u, ParseSettingNumber("2592000", 0));
    EXPECT_EQ(0u, ParseSettingNumber("0", 9));
    EXPECT_EQ(9u, ParseSettingNumber("", 9));
    EXPECT_EQ(9u, ParseSettingNumber("ten", 9));
    EXPECT_EQ(9u, ParseSettingNumber("-1", 9));
    EXPECT_EQ(9u, ParseSettingNumber("12x", 9));
}

TEST(UsageFormat, RecordLine)
{
    tUsageRecord r;
    r.when = {5, 3, 2004, 14, 7, 9};
    r.localDigest = std::string(32, 'a');
    r.remoteDigest = std::string(32, 'b');
    r.osVersion = "5.1.2600";
    r.language = "English";
    r.rate = 13.971;
    r.localKind = 0;
    r.remoteHs = 0;
    r.country = "Germany";
    EXPECT_EQ("05.03.2004;14:07:09;" + std::string(32, 'a') + ";" + std::string(32, 'b') +
                  ";5.1.2600;English;13.97 MBit/s;1;1;Germany;\r\n",
              FormatUsageRecord(r));
    r.localKind = 1;
    r.remoteHs = 1;
    r.country = "Bosnia; and\r\nHerzegovina";
    std::string line = FormatUsageRecord(r);
    EXPECT_NE(std::string::npos, line.find(";2;2;Bosnia andHerzegovina;\r\n")) << line;
    EXPECT_EQ(10, std::count(line.begin(), line.end(), ';')) << "ten fields, each closed by ';'";
}

TEST(UsageFormat, UploadBody)
{
    EXPECT_EQ("Content-Type: multipart/form-data; boundary=--3A425B87406942d0B41409C466E1DE5A\r\n",
              UploadContentType());
    std::string body = UploadBody("dbg_abc", "C:\\temp\\tmp1.tmp", std::string("\x1f\x8b\0z", 4));
    std::string b = "--3A425B87406942d0B41409C466E1DE5A";
    EXPECT_EQ("--" + b + "\r\nContent-Disposition: form-data; name=\"Collector\"\r\n\r\ndbg_abc\r\n--" + b +
                  "\r\nContent-Disposition: form-data; name=\"Backa\"; filename=\"C:\\temp\\tmp1.tmp\"\r\n"
                  "Content-Type: application/octet-stream\r\n\r\n" + std::string("\x1f\x8b\0z", 4) + "\r\n--" + b +
                  "--\r\n",
              body);
}
