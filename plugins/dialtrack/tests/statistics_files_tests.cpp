// "connection.csv" and "stats.log" byte for byte, and what the files survive: names that would
// break them, garbage, a last line of megabytes, a log held open elsewhere, deletions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/raii.h"
#include "common/tests/test_support.h"
#include "plugins/dialtrack/statistics_files.h"

namespace {

CCallRecord Call(const std::string& name, int y, int mo, int d, int h, int mi, int s, uint32_t duration,
                 uint64_t sent, uint64_t received)
{
    CCallRecord record;
    record.m_entryName = name;
    record.m_start = {y, mo, d, h, mi, s};
    record.m_duration = duration;
    record.m_sent = sent;
    record.m_received = received;
    return record;
}

class StatisticFilesTest : public ::testing::Test {
protected:
    std::string Log() { return testsupport::ReadFileText(m_dir.File("connection.csv")); }
    std::string Stats() { return testsupport::ReadFileText(m_dir.File("stats.log")); }
    void SetLog(const std::string& text) { testsupport::WriteFileText(m_dir.File("connection.csv"), text); }

    testsupport::CTempDir m_dir;
    CStatisticFiles m_files{m_dir.Path()};
};

} // namespace

TEST_F(StatisticFilesTest, CallsAreLoggedAndTotalledPerMonth)
{
    ASSERT_TRUE(m_files.WriteCall(Call("Office", 2026, 10, 31, 23, 50, 0, 3600, 1000, 250000)));
    ASSERT_TRUE(m_files.WriteCall(Call("Office", 2026, 11, 1, 8, 0, 5, 65, 12, 345)));
    ASSERT_TRUE(m_files.WriteCall(Call("Home", 2026, 11, 2, 9, 3, 0, 2 * 86400 + 1, 0, 1)));
    ASSERT_TRUE(m_files.WriteCall(Call("Office", 2026, 11, 20, 18, 0, 0, 60, 8, 55)));
    EXPECT_EQ("2026/10/31 23:50:00;Office;00:01:00:00;1000;250000\r\n"
              "2026/11/1 08:00:05;Office;00:00:01:05;12;345\r\n"
              "2026/11/2 09:03:00;Home;02:00:00:01;0;1\r\n"
              "2026/11/20 18:00:00;Office;00:00:01:00;8;55\r\n",
              Log());
    // A call counts in the month it started in, October's section ends in "_0a".
    EXPECT_EQ("[Office_2026_0a]\r\nBytesReceived=250000\r\nBytesSent=1000\r\nDuration=3600\r\n"
              "[Office_2026_0b]\r\nBytesReceived=400\r\nBytesSent=20\r\nDuration=125\r\n"
              "[Home_2026_0b]\r\nBytesReceived=1\r\nBytesSent=0\r\nDuration=172801\r\n",
              Stats());

    std::vector<tMonthlyEntry> entries = m_files.LoadMonthlyEntries();
    ASSERT_EQ(3u, entries.size());
    EXPECT_EQ("Office", entries[1].entryName);
    EXPECT_EQ(2026, entries[1].year);
    EXPECT_EQ(11, entries[1].month);
    EXPECT_EQ(400u, entries[1].received);
    EXPECT_EQ(20u, entries[1].sent);
    EXPECT_EQ(125u, entries[1].duration);

    std::vector<tLoggedCall> calls;
    ASSERT_TRUE(m_files.ReadCalls(calls));
    ASSERT_EQ(4u, calls.size());
    EXPECT_EQ("Home", calls[2].record.m_entryName);
    EXPECT_EQ("2026/11/2 09:03:00;Home;02:00:00:01;0;1\r\n", calls[2].line);
}

TEST_F(StatisticFilesTest, ACallSeenAgainReplacesItsLineAndCountsOnce)
{
    ASSERT_TRUE(m_files.WriteCall(Call("Home", 2026, 10, 5, 20, 0, 0, 600, 10, 100)));
    ASSERT_TRUE(m_files.WriteCall(Call("Office", 2026, 10, 6, 20, 0, 0, 600, 10, 100)));
    // The same Office call, seen again: it started when the logged one did and runs longer.
    ASSERT_TRUE(m_files.WriteCall(Call("Office", 2026, 10, 6, 20, 0, 0, 900, 30, 300)));
    EXPECT_EQ("2026/10/5 20:00:00;Home;00:00:10:00;10;100\r\n"
              "2026/10/6 20:00:00;Office;00:00:15:00;30;300\r\n",
              Log());
    EXPECT_EQ("[Home_2026_0a]\r\nBytesReceived=100\r\nBytesSent=10\r\nDuration=600\r\n"
              "[Office_2026_0a]\r\nBytesReceived=300\r\nBytesSent=30\r\nDuration=900\r\n",
              Stats());
    // A later call of the same name after the first had ended is a call of its own.
    ASSERT_TRUE(m_files.WriteCall(Call("Office", 2026, 10, 6, 21, 0, 0, 60, 1, 2)));
    EXPECT_EQ(3u, SplitLogLines(Log()).size());
}

TEST_F(StatisticFilesTest, NamesThatWouldBreakTheFilesAreStoredSafely)
{
    std::string stored = SanitizeEntryName("Work; [Dial]=up\r\nline");
    EXPECT_EQ("Work_ _Dial__up__line", stored);
    ASSERT_TRUE(m_files.WriteCall(Call(stored, 2026, 12, 1, 0, 0, 0, 1, 2, 3)));
    EXPECT_EQ("2026/12/1 00:00:00;Work_ _Dial__up__line;00:00:00:01;2;3\r\n", Log());
    EXPECT_EQ("[Work_ _Dial__up__line_2026_0c]\r\nBytesReceived=3\r\nBytesSent=2\r\nDuration=1\r\n", Stats());
    std::vector<tMonthlyEntry> entries = m_files.LoadMonthlyEntries();
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(stored, entries[0].entryName);
    EXPECT_EQ(12, entries[0].month);
}

TEST_F(StatisticFilesTest, ALastLineThatDoesNotParseIsKeptAndTheCallAppended)
{
    const std::string good = "2026/10/6 20:00:00;Office;00:00:15:00;30;300\r\n";
    const CCallRecord next = Call("Office", 2026, 10, 6, 20, 5, 0, 60, 1, 1); // would continue `good`
    struct tCase {
        const char* what;
        std::string before;
    } cases[] = {
        {"garbage", good + "garbage;;;\r\n"},
        {"no final line end", good + "half a line"},
        {"a line of megabytes", good + std::string(3 * 1024 * 1024, 'x') + "\r\n"},
        {"megabytes without any line end", std::string(2 * 1024 * 1024, 'y')},
        {"binary", good + std::string("\0\xff\r\r\n\n\0", 7)},
    };
    for (const tCase& c : cases) {
        SetLog(c.before);
        testsupport::WriteFileText(m_dir.File("stats.log"), "");
        ASSERT_TRUE(m_files.WriteCall(next)) << c.what;
        std::string log = Log();
        std::string expected = c.before;
        if (expected.size() < 2 || expected.compare(expected.size() - 2, 2, "\r\n") != 0)
            expected += "\r\n";
        expected += "2026/10/6 20:05:00;Office;00:00:01:00;1;1\r\n";
        EXPECT_EQ(expected.size(), log.size()) << c.what;
        EXPECT_TRUE(log == expected) << c.what;
        EXPECT_EQ("[Office_2026_0a]\r\nBytesReceived=1\r\nBytesSent=1\r\nDuration=60\r\n", Stats()) << c.what;
    }
    // The log's last line parses and continues: replaced, also when it had no line end.
    SetLog("x\r\n" + good.substr(0, good.size() - 2));
    ASSERT_TRUE(m_files.WriteCall(next));
    EXPECT_EQ("x\r\n2026/10/6 20:05:00;Office;00:00:01:00;1;1\r\n", Log());
}

TEST_F(StatisticFilesTest, GarbageTotalsReadAsZeroOrAsFarAsTheyParse)
{
    testsupport::WriteFileText(m_dir.File("stats.log"),
                               "[Office_2026_0a]\r\nBytesReceived=12abc\r\nBytesSent=-5\r\nDuration=zz\r\n"
                               "[Office_2026_0b]\r\nBytesReceived=99999999999999999999999\r\nDuration=-40\r\n"
                               "junk without a section\r\n[Office_2026_13]\r\n[=]\r\n[]\r\n");
    std::vector<tMonthlyEntry> entries = m_files.LoadMonthlyEntries();
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ(12u, entries[0].received);
    EXPECT_EQ(0u, entries[0].sent);
    EXPECT_EQ(0u, entries[0].duration);
    EXPECT_EQ(UINT64_MAX, entries[1].received);
    EXPECT_EQ(0u, entries[1].sent) << "a missing key reads as 0";
    EXPECT_EQ(0u, entries[1].duration);
    // Adding to a garbage total starts from what parsed.
    ASSERT_TRUE(m_files.WriteCall(Call("Office", 2026, 10, 1, 0, 0, 0, 10, 1, 1)));
    entries = m_files.LoadMonthlyEntries();
    EXPECT_EQ(13u, entries[0].received);
    EXPECT_EQ(1u, entries[0].sent);
    EXPECT_EQ(10u, entries[0].duration);
}

TEST_F(StatisticFilesTest, ALogHeldOpenElsewhereLeavesBothFilesAlone)
{
    SetLog("kept\r\n");
    raii::CHandle holder(CreateFileA(m_dir.File("connection.csv").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder.IsValid());
    EXPECT_FALSE(m_files.WriteCall(Call("Office", 2026, 10, 1, 0, 0, 0, 10, 1, 1)));
    holder.Close();
    EXPECT_EQ("kept\r\n", Log());
    EXPECT_FALSE(testsupport::FileExists(m_dir.File("stats.log")));
}

TEST_F(StatisticFilesTest, DeletingCallsKeepsEveryOtherLineByteForByte)
{
    const std::string a = "2026/10/1 10:00:00;A;00:00:00:10;1;2\r\n";
    const std::string b = "2026/10/2 10:00:00;B;00:00:00:10;1;2\r\n";
    const std::string c = "2026/10/3 10:00:00;C;00:00:00:10;1;2\r\n";
    SetLog(a + "not a call\r\n" + b + a + c + "tail");
    std::vector<tLoggedCall> calls;
    ASSERT_TRUE(m_files.ReadCalls(calls));
    ASSERT_EQ(4u, calls.size()) << "lines that do not parse are not listed";
    ASSERT_TRUE(m_files.DeleteCalls({calls[0].line, calls[3].line}));
    EXPECT_EQ("not a call\r\n" + b + a + "tail", Log()) << "one line per selected call, the first of equal ones";
    // A line deleted meanwhile (the log changed under the window) deletes nothing else.
    ASSERT_TRUE(m_files.DeleteCalls({c}));
    EXPECT_EQ("not a call\r\n" + b + a + "tail", Log());
    // No temporary file is left behind.
    WIN32_FIND_DATAA found;
    raii::CFindHandle find(FindFirstFileA((m_dir.Path() + "\\*.tmp").c_str(), &found));
    EXPECT_FALSE(find.IsValid());
}

TEST_F(StatisticFilesTest, DeleteAllCutsBothFiles)
{
    ASSERT_TRUE(m_files.WriteCall(Call("Office", 2026, 10, 1, 0, 0, 0, 10, 1, 1)));
    EXPECT_TRUE(m_files.StatsExistAndNotEmpty());
    ASSERT_TRUE(m_files.DeleteAll());
    EXPECT_EQ("", Log());
    EXPECT_EQ("", Stats());
    EXPECT_FALSE(m_files.StatsExistAndNotEmpty());
    EXPECT_TRUE(m_files.LoadMonthlyEntries().empty());
    // Writing starts afresh.
    ASSERT_TRUE(m_files.WriteCall(Call("Office", 2026, 10, 2, 0, 0, 0, 20, 2, 2)));
    EXPECT_EQ("[Office_2026_0a]\r\nBytesReceived=2\r\nBytesSent=2\r\nDuration=20\r\n", Stats());
    std::vector<tLoggedCall> calls;
    ASSERT_TRUE(m_files.ReadCalls(calls));
    EXPECT_EQ(1u, calls.size());
}

TEST_F(StatisticFilesTest, WithoutFilesThereIsNothingToShow)
{
    EXPECT_FALSE(m_files.StatsExistAndNotEmpty());
    EXPECT_TRUE(m_files.LoadMonthlyEntries().empty());
    std::vector<tLoggedCall> calls;
    EXPECT_TRUE(m_files.ReadCalls(calls));
    EXPECT_TRUE(calls.empty());
}
