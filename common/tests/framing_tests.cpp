#include <gtest/gtest.h>

#include "common/framing.h"

TEST(FramedLength, DigitsOnlyWithinSignedSixtyFourBits)
{
    int64_t n = -1;
    EXPECT_TRUE(ParseFramedLength("0", n));
    EXPECT_EQ(0, n);
    EXPECT_TRUE(ParseFramedLength("1048576", n));
    EXPECT_EQ(1048576, n);
    EXPECT_TRUE(ParseFramedLength("9223372036854775807", n));
    EXPECT_EQ(INT64_MAX, n);
    EXPECT_TRUE(ParseFramedLength("000012", n)) << "leading zeros are still digits";
    EXPECT_EQ(12, n);

    for (const char* bad : {"", "-5", "+5", " 5", "5 ", "12a", "0x10", "9223372036854775808",
                            "99999999999999999999999999999999999999999999999999999999999999"})
        EXPECT_FALSE(ParseFramedLength(bad, n)) << bad;
}

TEST(FramedLength, HeaderText)
{
    EXPECT_EQ("0:", FormatFramedHeader(0));
    EXPECT_EQ("268435456:", FormatFramedHeader(268435456));
}

TEST(RateMeter, AveragesTheLastTenSamples)
{
    CRateMeter meter;
    EXPECT_EQ(0.0, meter.AddSample(0, 0)) << "no time has passed";
    meter.Reset();
    EXPECT_DOUBLE_EQ(1.0, meter.AddSample(1024, 1000));
    EXPECT_DOUBLE_EQ(2.0, meter.AddSample(3072, 1000)); // 4096 bytes in 2 s
    meter.Reset();
    for (int i = 0; i < 10; ++i)
        meter.AddSample(10240, 1000);
    EXPECT_DOUBLE_EQ(10.0, meter.AddSample(10240, 1000));
    // Ten fast samples push every slow one out of the ring.
    for (int i = 0; i < 9; ++i)
        meter.AddSample(102400, 1000);
    EXPECT_DOUBLE_EQ(100.0, meter.AddSample(102400, 1000));
}

TEST(RateMeter, Percent)
{
    EXPECT_EQ(100, TransferPercent(0, 0));
    EXPECT_EQ(0, TransferPercent(0, 10));
    EXPECT_EQ(33, TransferPercent(1, 3));
    EXPECT_EQ(99, TransferPercent(999999, 1000000)) << "truncated, not rounded";
    EXPECT_EQ(100, TransferPercent(5, 5));
}
