#include <gtest/gtest.h>

#include "common/raii.h"
#include "common/tests/test_support.h"
#include "plugins/plexa/usage_collector.h"

namespace {

// The collector's registry settings, put back as they were after each test.
class CollectorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kCollectorKey);
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kCollectorKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        m_key.Attach(key);
        m_records = CUsageCollector::RecordFile();
        DeleteFileA(m_records.c_str());
    }
    void TearDown() override
    {
        m_key.Close();
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kCollectorKey);
        DeleteFileA(m_records.c_str());
    }
    void Set(const char* name, const std::string& value)
    {
        RegSetValueExA(m_key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    }
    void Allow(DWORD value)
    {
        RegSetValueExA(m_key.Get(), "CollectingAllowed", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    }
    std::string Get(const char* name)
    {
        char value[256] = "";
        DWORD size = sizeof value;
        RegQueryValueExA(m_key.Get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
        return value;
    }
    raii::CRegKey m_key;
    std::string m_records;
};

tLocalDevice Local(uint8_t last, int kind)
{
    tLocalDevice l;
    l.address = {{0x02, 0, 0, 0, 0, last}};
    l.kind = kind;
    return l;
}

tRemoteDevice Remote(uint8_t last, double rate)
{
    tRemoteDevice r;
    r.address = {{0x02, 0, 0, 0, 1, last}};
    r.rate = rate;
    return r;
}

} // namespace

TEST_F(CollectorTest, DefaultsAreWrittenBackWhenMissing)
{
    CUsageCollector collector;
    collector.Start();
    const tCollectorSettings& s = collector.Settings();
    EXPECT_EQ(38u, s.progId.size());
    EXPECT_EQ('{', s.progId.front());
    EXPECT_EQ(s.progId, Get("ProgId"));
    EXPECT_FALSE(Get("TransmissionValue").empty());
    EXPECT_EQ(3600000u, s.checkInterval);
    EXPECT_EQ(2592000u, s.submitInterval);
    EXPECT_EQ(1000u, collector.TickInterval());
    EXPECT_FALSE(collector.CollectingAllowed());
    EXPECT_EQ(nullptr, collector.TriggerEvent()) << "no trigger while collecting is not allowed";
    EXPECT_EQ(Md5Hex(s.progId), collector.CollectorId());
    collector.Stop();

    Set("DebugMode", "0x1");
    Set("TimerInterval", "250");
    Allow(1);
    CUsageCollector again;
    again.Start();
    EXPECT_EQ(s.progId, again.Settings().progId) << "the identifier stays";
    EXPECT_EQ("dbg_" + Md5Hex(s.progId), again.CollectorId());
    EXPECT_EQ(250u, again.TickInterval());
    EXPECT_TRUE(again.CollectingAllowed());
    EXPECT_EQ(nullptr, again.TriggerEvent()) << "until a GetState found collecting allowed";
    again.SetActive(true);
    EXPECT_NE(nullptr, again.TriggerEvent());
}

TEST_F(CollectorTest, OneFiringRecordsEveryPairOnce)
{
    // Long enough that the records before the firing come before it on a slow machine too.
    Set("CheckInterval", "2000");
    Allow(1);
    CUsageCollector collector;
    collector.Start();
    collector.SetActive(collector.CollectingAllowed()); // as GetState does
    raii::CHandle cancel(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    collector.BeforeGetState(cancel.Get());
    tLocalDevice first = Local(1, 0), second = Local(2, 1);
    tRemoteDevice remote = Remote(1, 13.971), hs = Remote(2, 85);
    hs.hs = 1;
    collector.Record(first, remote);
    EXPECT_FALSE(testsupport::FileExists(m_records)) << "nothing before the timer fired";

    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(collector.TriggerEvent(), 6000));
    collector.Record(first, remote);
    collector.Record(second, hs);
    collector.BeforeGetState(cancel.Get()); // the next GetState clears the flag
    collector.Record(first, remote);

    std::string text = testsupport::ReadFileText(m_records);
    ASSERT_EQ(2, std::count(text.begin(), text.end(), '\n')) << text;
    std::string progId = collector.Settings().progId;
    EXPECT_NE(std::string::npos, text.find(";" + Md5Hex("02:00:00:00:00:01" + progId) + ";" +
                                           Md5Hex("02:00:00:00:01:01" + progId) + ";"));
    EXPECT_NE(std::string::npos, text.find(";13.97 MBit/s;1;1;"));
    EXPECT_NE(std::string::npos, text.find(";85.00 MBit/s;2;2;"));
    EXPECT_EQ(std::string::npos, text.find("02:00")) << "no address leaves in clear";
}

TEST_F(CollectorTest, TimerIsNotRestartedByWakesAndEndsOnTheStopHandle)
{
    CCollectTimer timer(400);
    DWORD start = GetTickCount();
    DWORD fired = 0;
    // Woken every 50 ms: a timer that started its period again on each wake would never fire.
    for (int i = 0; i < 30 && fired == 0; ++i) {
        Sleep(50);
        timer.Wake();
        if (WaitForSingleObject(timer.TriggerEvent(), 0) == WAIT_OBJECT_0)
            fired = GetTickCount() - start;
    }
    ASSERT_NE(0u, fired) << "wakes do not push the period back";
    EXPECT_GE(fired, 350u);
    EXPECT_TRUE(timer.DataWanted());
    timer.ClearDataWanted();
    EXPECT_FALSE(timer.DataWanted());

    raii::CHandle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    timer.SetStopHandle(stop.Get());
    timer.Wake();
    SetEvent(stop.Get());
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(timer.TriggerEvent(), 900))
        << "stopped: no more firings";
}

TEST_F(CollectorTest, UploadAttemptsFollowTheSubmitInterval)
{
    Set("SubmitInterval", "0");
    Set("TransmissionValue", "not a time");
    Set("Server", "");
    CUsageCollector collector;
    collector.Start();
    EXPECT_EQ(0u, collector.Settings().lastAttempt.value) << "an unreadable time is time 0";
    testsupport::WriteFileText(m_records, "line;\r\n");
    raii::CHandle cancel(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    collector.BeforeGetState(cancel.Get());
    std::string first = Get("TransmissionValue");
    EXPECT_NE("not a time", first) << "the attempt counts, though no server answered";
    EXPECT_EQ("line;\r\n", testsupport::ReadFileText(m_records)) << "the records stay";
    Sleep(1100);
    collector.BeforeGetState(cancel.Get());
    EXPECT_NE(first, Get("TransmissionValue")) << "interval 0: every GetState attempts";

    Set("SubmitInterval", "2592000");
    CUsageCollector later;
    later.Start();
    std::string before = Get("TransmissionValue");
    Sleep(1100);
    later.BeforeGetState(cancel.Get());
    EXPECT_EQ(before, Get("TransmissionValue")) << "not due yet";
}
