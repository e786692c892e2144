// The plug-in's pure formats: log lines, section names, the last-line search, monthly sums, the
// chart's scale, the rate ring and the RAS entry layouts.
#include <gtest/gtest.h>

#include <windows.h>
#include <ras.h>

#include "plugins/dialtrack/call_log.h"
#include "plugins/dialtrack/monthly_totals.h"
#include "plugins/dialtrack/ras_layout.h"
#include "plugins/dialtrack/sample_ring.h"

namespace {

CCallRecord Record(const char* name, int y, int mo, int d, int h, int mi, int s, uint32_t duration, uint64_t sent,
                   uint64_t received)
{
    CCallRecord record;
    record.m_entryName = name;
    record.m_start.year = y;
    record.m_start.month = mo;
    record.m_start.day = d;
    record.m_start.hour = h;
    record.m_start.minute = mi;
    record.m_start.second = s;
    record.m_duration = duration;
    record.m_sent = sent;
    record.m_received = received;
    return record;
}

} // namespace

TEST(CallLog, LinesAreWrittenAndReadBackField)
{
    CCallRecord record = Record("Office", 2026, 3, 7, 8, 5, 9, 93784, 1234, 5678901234ull);
    EXPECT_EQ("2026/3/7 08:05:09;Office;01:02:03:04;1234;5678901234", FormatCallLine(record));
    CCallRecord back;
    ASSERT_TRUE(ParseCallLine(FormatCallLine(record), back));
    EXPECT_TRUE(back == record);
    // Durations keep at least two digits per field and grow past two days' digits.
    EXPECT_EQ("00:00:00:00", FormatDurationDhms(0));
    EXPECT_EQ("01:00:00:00", FormatDurationDhms(86400));
    EXPECT_EQ("123:00:00:59", FormatDurationDhms(123u * 86400 + 59));
    EXPECT_EQ("12:05 (h:min)", FormatHoursMinutes(12 * 3600 + 5 * 60 + 59));
    EXPECT_EQ("0h 07min", FormatHoursMinutesShort(7 * 60));
}

TEST(CallLog, LinesThePluginWouldNotWriteDoNotParse)
{
    CCallRecord record;
    const char* bad[] = {
        "",
        "garbage",
        "2026/3/7 08:05:09;Office;01:02:03:04;1234",              // a field missing
        "2026/3/7 08:05:09;Office;01:02:03:04;1234;5;6",          // one too many
        "2026/13/7 08:05:09;Office;01:02:03:04;1234;5",           // no 13th month
        "2026/2/30 08:05:09;Office;01:02:03:04;1234;5",           // no 30 February
        "2026/3/7 24:05:09;Office;01:02:03:04;1234;5",
        "2026/3/7 08:05:09;;01:02:03:04;1234;5",                  // no name
        "2026/3/7 08:05:09;Office;01:25:03:04;1234;5",            // 25 hours
        "2026/3/7 08:05:09;Office;01:02:03:04;-1;5",
        "2026/3/7 08:05:09;Office;01:02:03:04;12x;5",
        "2026/3/7 08:05:09;Office;01:02:03:04;1234;99999999999999999999", // beyond 64 bits
        "2026/3/7 08:05:09;Office;99999:02:03:04;1;5",             // beyond 32-bit seconds
    };
    for (const char* line : bad)
        EXPECT_FALSE(ParseCallLine(line, record)) << line;
    EXPECT_FALSE(ParseCallLine("2026/3/7 08:05:09;" + std::string(257, 'n') + ";00:00:00:01;1;1", record));
    EXPECT_FALSE(ParseCallLine(std::string(5000, ';'), record));
}

TEST(CallLog, ContinuationNeedsTheSameNameAndOverlappingTimes)
{
    CCallRecord last = Record("Office", 2026, 10, 1, 10, 0, 0, 600, 1, 1); // ends 10:10:00
    EXPECT_TRUE(IsContinuation(last, Record("Office", 2026, 10, 1, 10, 10, 0, 900, 2, 2)));
    EXPECT_TRUE(IsContinuation(last, Record("Office", 2026, 10, 1, 10, 0, 0, 900, 2, 2)));
    EXPECT_FALSE(IsContinuation(last, Record("Office", 2026, 10, 1, 10, 10, 1, 900, 2, 2)));
    EXPECT_FALSE(IsContinuation(last, Record("Home", 2026, 10, 1, 10, 5, 0, 900, 2, 2)));
}

TEST(CallLog, EntryNamesThatWouldBreakAFileAreStoredSafely)
{
    EXPECT_EQ("Office", SanitizeEntryName("Office"));
    EXPECT_EQ("A_B_C_D_E_F_G", SanitizeEntryName("A;B\rC\nD]E=F[G"));
    EXPECT_EQ("tab_in", SanitizeEntryName(" tab\tin  "));
    EXPECT_EQ("_", SanitizeEntryName(""));
    EXPECT_EQ("_", SanitizeEntryName("   "));
    EXPECT_EQ(256u, SanitizeEntryName(std::string(300, 'x')).size());
    // A stored name survives both files: one log field, one section name.
    std::string stored = SanitizeEntryName("x;y]z=\r\n");
    CCallRecord back;
    ASSERT_TRUE(ParseCallLine(FormatCallLine(Record(stored.c_str(), 2026, 1, 1, 0, 0, 0, 1, 1, 1)), back));
    EXPECT_EQ(stored, back.m_entryName);
    std::string entry;
    int year = 0, month = 0;
    ASSERT_TRUE(SplitStatsSectionName(StatsSectionName(stored, 2026, 1), entry, year, month));
    EXPECT_EQ(stored, entry);
}

TEST(CallLog, SectionNamesCarryHexadecimalMonths)
{
    EXPECT_EQ("Office_2026_0a", StatsSectionName("Office", 2026, 10));
    EXPECT_EQ("Office_2026_0b", StatsSectionName("Office", 2026, 11));
    EXPECT_EQ("Office_2026_0c", StatsSectionName("Office", 2026, 12));
    EXPECT_EQ("My_ISP_2027_01", StatsSectionName("My_ISP", 2027, 1));
    std::string entry;
    int year = 0, month = 0;
    ASSERT_TRUE(SplitStatsSectionName("My_ISP_2027_0b", entry, year, month));
    EXPECT_EQ("My_ISP", entry);
    EXPECT_EQ(2027, year);
    EXPECT_EQ(11, month);
    ASSERT_TRUE(SplitStatsSectionName("Office_2026_0C", entry, year, month)) << "written by hand in capitals";
    EXPECT_EQ(12, month);
    for (const char* bad : {"Office", "Office_2026", "_2026_01", "Office_2026_0d", "Office_2026_00", "Office_20x6_01",
                            "Office_2026_1", "Office__01"})
        EXPECT_FALSE(SplitStatsSectionName(bad, entry, year, month)) << bad;
}

TEST(CallLog, CountsParseAsFarAsTheirDigitsGo)
{
    EXPECT_EQ(0u, ParseCount(""));
    EXPECT_EQ(0u, ParseCount("garbage"));
    EXPECT_EQ(123u, ParseCount("  123abc"));
    EXPECT_EQ(0u, ParseCount("-5"));
    EXPECT_EQ(18446744073709551615ull, ParseCount("18446744073709551615"));
    EXPECT_EQ(UINT64_MAX, ParseCount("99999999999999999999999")) << "beyond 64 bits stops at the largest";
    EXPECT_EQ(UINT64_MAX, SaturatingAdd(UINT64_MAX - 1, 5));
}

TEST(CallLog, LastLineIsFoundInATailBlock)
{
    tLastLine last = FindLastLine("a\r\nbb\r\nccc\r\n", true);
    ASSERT_TRUE(last.found);
    EXPECT_EQ(7u, last.offset);
    EXPECT_EQ(3u, last.length);
    EXPECT_TRUE(last.terminated);

    last = FindLastLine("only\r\n", true);
    ASSERT_TRUE(last.found);
    EXPECT_EQ(0u, last.offset);
    EXPECT_EQ(4u, last.length);

    last = FindLastLine("a\r\ntail without end", true);
    ASSERT_TRUE(last.found);
    EXPECT_EQ(3u, last.offset);
    EXPECT_FALSE(last.terminated);

    // A block from the middle of the file without a line start: read more.
    EXPECT_FALSE(FindLastLine("middle of a line\r\n", false).found);
    EXPECT_TRUE(FindLastLine("x\r\nmiddle of a line\r\n", false).found);
}

TEST(CallLog, SplitLinesJoinBackByteForByte)
{
    std::string text = "one\r\ntwo\r\n\r\nlast";
    std::vector<std::string> lines = SplitLogLines(text);
    ASSERT_EQ(4u, lines.size());
    EXPECT_EQ("two\r\n", lines[1]);
    EXPECT_EQ("\r\n", lines[2]);
    EXPECT_EQ("last", lines[3]);
    std::string joined;
    for (const std::string& line : lines)
        joined += line;
    EXPECT_EQ(text, joined);
    EXPECT_EQ("two", StripLineEnd(lines[1]));
}

TEST(CallLog, TimesConvertBothWays)
{
    tCallTime t;
    t.year = 2024;
    t.month = 2;
    t.day = 29;
    t.hour = 23;
    t.minute = 59;
    t.second = 58;
    tCallTime back = SecondsToCallTime(CallTimeToSeconds(t) + 2);
    EXPECT_EQ(2024, back.year);
    EXPECT_EQ(3, back.month);
    EXPECT_EQ(1, back.day);
    EXPECT_EQ(0, back.hour);
    // The FILETIME epoch itself.
    EXPECT_EQ(0, CallTimeToSeconds(tCallTime()));
    // 1970-01-01 is 11644473600 s after 1601-01-01.
    tCallTime unix;
    unix.year = 1970;
    EXPECT_EQ(11644473600ll, CallTimeToSeconds(unix));
}

TEST(MonthlyTotals, MonthsAreSummedOverAllNamesAndListedNewestFirst)
{
    std::vector<tMonthlyEntry> entries = {
        {"Office", 60, 100, 10, 10, 2026}, {"Home", 120, 200, 20, 10, 2026}, {"Office", 30, 1, 1, 11, 2026},
        {"Office", 5, 7, 7, 10, 2025},
    };
    tMonthTotals october = SumMonth(entries, {2026, 10});
    EXPECT_EQ(180u, october.duration);
    EXPECT_EQ(300u, october.received);
    EXPECT_EQ(30u, october.sent);
    EXPECT_EQ(330u, october.Volume());
    std::vector<tMonth> months = MonthsWithData(entries);
    ASSERT_EQ(3u, months.size());
    EXPECT_TRUE(months[0] == (tMonth{2026, 11}));
    EXPECT_TRUE(months[2] == (tMonth{2025, 10}));

    std::vector<tMonth> year = MonthsUpTo({2026, 2}, 12);
    ASSERT_EQ(12u, year.size());
    EXPECT_TRUE(year.front() == (tMonth{2025, 3}));
    EXPECT_TRUE(year.back() == (tMonth{2026, 2}));
    std::vector<tChartBar> bars = LastTwelveMonths(entries, {2026, 11});
    ASSERT_EQ(12u, bars.size());
    EXPECT_EQ(30u, bars[10].sent);
    EXPECT_EQ(300u, bars[10].received);
    EXPECT_EQ(0u, bars[0].sent + bars[0].received) << "October 2025 is thirteen months back";
}

TEST(MonthlyTotals, BarsAreScaledToTheHighestMonth)
{
    std::vector<tChartBar> bars(4);
    bars[0].sent = 250;
    bars[0].received = 750; // the highest: fills the plot
    bars[1].sent = 500;     // half of it, all sent
    bars[2].received = 1;   // tiny but not empty
    std::vector<tBarHeights> heights = ScaleBars(bars, 100);
    EXPECT_EQ(25, heights[0].sent);
    EXPECT_EQ(75, heights[0].received);
    EXPECT_EQ(50, heights[1].sent);
    EXPECT_EQ(0, heights[1].received);
    EXPECT_EQ(1, heights[2].sent + heights[2].received);
    EXPECT_EQ(0, heights[3].sent + heights[3].received);
    std::vector<tChartBar> huge(1);
    huge[0].sent = UINT64_MAX;
    huge[0].received = UINT64_MAX;
    EXPECT_EQ(100, ScaleBars(huge, 100)[0].sent + ScaleBars(huge, 100)[0].received);
    EXPECT_EQ(0, ScaleBars(std::vector<tChartBar>(12), 100)[5].sent) << "no data: no bars";
}

TEST(SampleRing, ConstantTrafficAndItsEnd)
{
    CSampleRing ring;
    uint32_t tick = 5000, bytes = 0;
    ring.TimeStamp(tick, bytes);
    EXPECT_EQ(0u, ring.GetBytesRate()) << "the first sample is the window's start and end";
    for (int second = 1; second <= 15; ++second) {
        tick += 1000;
        bytes += 2048;
        ring.TimeStamp(tick, bytes);
        ring.TimeStamp(tick, bytes); // two samples a cycle, as the providers take them
        EXPECT_EQ(2048u, ring.GetBytesRate()) << second;
    }
    // Traffic stops: the rate falls while the old samples leave the window, to 0 once they left.
    int zeroAfter = 0;
    for (int second = 1; second <= 15 && !zeroAfter; ++second) {
        tick += 1000;
        ring.TimeStamp(tick, bytes);
        if (ring.GetBytesRate() == 0)
            zeroAfter = second;
        else
            EXPECT_LT(ring.GetBytesRate(), 2048u);
    }
    EXPECT_GE(zeroAfter, 10);
    EXPECT_LE(zeroAfter, 11);
}

TEST(SampleRing, WrappingTicksAndCountersStillGiveTheRate)
{
    CSampleRing ring;
    uint32_t tick = 0xFFFFF000u;    // wraps after 4 s
    uint32_t bytes = 0xFFFFE000u;   // wraps after 8 KB
    ring.TimeStamp(tick, bytes);
    for (int second = 1; second <= 12; ++second) {
        tick += 1000;
        bytes += 1024;
        ring.TimeStamp(tick, bytes);
        EXPECT_EQ(1024u, ring.GetBytesRate()) << second;
    }
    // A counter that stands still gives 0 whatever the time.
    CSampleRing still;
    still.TimeStamp(100, 77);
    still.TimeStamp(5000, 77);
    EXPECT_EQ(0u, still.GetBytesRate());
    // Same tick at both ends: no time passed, no rate.
    CSampleRing instant;
    instant.TimeStamp(100, 0);
    instant.TimeStamp(100, 1000);
    EXPECT_EQ(0u, instant.GetBytesRate());
}

TEST(SampleRing, AFullRingKeepsItsCountersSmall)
{
    CSampleRing ring;
    for (uint32_t i = 0; i < 1000; ++i)
        ring.TimeStamp(i * 10, i * 100); // 10000 B/s, a sample every 10 ms: the ring is the limit
    EXPECT_LE(ring.OldIndex(), CSampleRing::kSamples + 1);
    EXPECT_LT(ring.Index() - ring.OldIndex(), CSampleRing::kSamples);
    EXPECT_EQ(10000u, ring.GetBytesRate());
}

TEST(RasLayout, EntryFormsOfBothWidths)
{
    EXPECT_EQ(412u, RasEntryLayout(RAS_ENTRY_OLD, 4).stride);
    EXPECT_EQ(692u, RasEntryLayout(RAS_ENTRY_W2K, 4).stride);
    EXPECT_EQ(704u, RasEntryLayout(RAS_ENTRY_LATER, 4).stride);
    tRasEntryLayout narrow = RasEntryLayout(RAS_ENTRY_LATER, 4);
    EXPECT_EQ(4u, narrow.handleOffset);
    EXPECT_EQ(8u, narrow.entryNameOffset);
    EXPECT_EQ(265u, narrow.deviceTypeOffset);
    EXPECT_EQ(282u, narrow.deviceNameOffset);
    // This build's layout is the system header's.
    tRasEntryLayout native = NativeRasEntryLayout(RAS_ENTRY_LATER);
    EXPECT_EQ(sizeof(RASCONNA), native.stride);
    EXPECT_EQ(offsetof(RASCONNA, hrasconn), native.handleOffset);
    EXPECT_EQ(offsetof(RASCONNA, szEntryName), native.entryNameOffset);
    EXPECT_EQ(offsetof(RASCONNA, szDeviceType), native.deviceTypeOffset);
    EXPECT_EQ(offsetof(RASCONNA, szDeviceName), native.deviceNameOffset);
}
