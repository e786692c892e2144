#include <gtest/gtest.h>

#include <string.h>

#include <atomic>
#include <thread>
#include <vector>

#include "common/tests/test_support.h"
#include "common/trace.h"
#include "plugins/plexa/discovery.h"
#include "powerline/tests/fake_rawport.h"
#include "powerline/tests/test_stations.h"
#include "tools/plcsim/answers.h"

using namespace fakerawport;
using namespace teststations;

namespace {

const char kAdapter[] = "\\Device\\NPF_{TEST}";

std::vector<uint8_t> Bytes(const tMgmtFrame& frame, size_t length)
{
    return std::vector<uint8_t>(frame.bytes, frame.bytes + length);
}

// Device answers come from the emulator's encoders, which share nothing with the engine's.
std::vector<uint8_t> NetStat(const tMacAddress& from, std::vector<tStationRate> stations, const tMacAddress& to = kPc)
{
    return AnswerNetStat(to, from, stations);
}

std::vector<uint8_t> StatRsp(const tMacAddress& from)
{
    return AnswerStatRsp(kPc, from);
}

std::vector<uint8_t> Description(const tMacAddress& from, bool remote)
{
    return AnswerDeviceDescription(kPc, from, remote);
}

std::vector<uint8_t> Quality(const tMacAddress& from, std::vector<tStationRate> stations)
{
    return AnswerQuality(kPc, from, stations);
}

std::vector<uint8_t> Hello(const tMacAddress& from, const tHello& hello, uint32_t ip)
{
    tHelloAnnouncement announcement;
    announcement.stream = hello.stream;
    announcement.state = hello.state;
    announcement.ip = hello.address;
    announcement.httpPort = hello.httpPort;
    announcement.station = hello.station;
    announcement.path = hello.path;
    return AnswerHello(kPc, from, ip, announcement);
}

// Counts sent frames by what they ask: "StatReq", "StatReq>ADDR", "NetStat", "ZivudDsc",
// "ZivudQuality", "WhoIsThere".
std::vector<std::string> Kinds(const std::vector<tSentFrame>& sent)
{
    std::vector<std::string> kinds;
    for (const tSentFrame& f : sent) {
        const uint8_t* b = f.bytes.data();
        if (b[12] == 0x08)
            kinds.push_back("WhoIsThere");
        else if (b[15] == kEntryStatReq)
            kinds.push_back(b[0] == 0xFF ? "StatReq" : "StatReq>" + MacToText(MacFromBytes(b), ""));
        else if (b[15] == kEntryNetStat)
            kinds.push_back("NetStat");
        else if (b[15] == kEntryVendor)
            kinds.push_back(b[20] == kZivudQuality ? "ZivudQuality" : "ZivudDsc");
    }
    return kinds;
}

int Count(const std::vector<std::string>& kinds, const std::string& kind)
{
    return static_cast<int>(std::count(kinds.begin(), kinds.end(), kind));
}

class DiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TraceCloseAll();
        TraceInit(("x /debug:" + m_dir.File("trace.log")).c_str());
        tFakeAdapter adapter;
        adapter.name = kAdapter;
        memcpy(adapter.station, kPc.bytes, 6);
        Install({adapter});
        SetSendsPending(false);
        m_discovery = DiscoveryCreate(nullptr);
        DiscoveryStart(m_discovery);
        m_adapter = PortFirstAdapter(m_discovery->port);
        ASSERT_NE(nullptr, m_adapter);
        m_set = DeviceSetOf(m_adapter);
        ASSERT_NE(nullptr, m_set);
    }
    void TearDown() override
    {
        DiscoveryDestroy(m_discovery);
        Uninstall();
        TraceCloseAll();
    }

    bool Feed(const std::vector<uint8_t>& frame)
    {
        bool changed = false;
        DiscoveryHandleFrame(m_discovery, m_adapter, frame.data(), frame.size(), changed);
        return changed;
    }
    bool Tick()
    {
        bool changed = false;
        DiscoveryTick(m_discovery, changed);
        return changed;
    }
    // Waits until the paced frames queued so far have left, however late the sender runs.
    void Drain()
    {
        size_t seen = static_cast<size_t>(-1);
        EXPECT_TRUE(testsupport::WaitFor(
            [&] {
                size_t now = Sent().size();
                bool settled = PortQueuedFrames(m_adapter) == 0 && now == seen;
                seen = now;
                if (!settled)
                    Sleep(25);
                return settled;
            },
            10000))
            << "the queue did not empty";
    }
    // Ticks until the adapter is in its steady cycle, with the counter back at 0.
    void SteadyState()
    {
        while (m_set->burst > 0)
            Tick();
    }
    tRemoteDevice* Remote(const tMacAddress& local, const tMacAddress& remote)
    {
        for (tLocalDevice& l : m_set->locals)
            if (l.address == local)
                for (tRemoteDevice& r : l.remotes)
                    if (r.address == remote)
                        return &r;
        return nullptr;
    }
    std::string TraceText() { return testsupport::ReadFileText(m_dir.File("trace.log")); }

    testsupport::CTempDir m_dir;
    tDiscovery* m_discovery = nullptr;
    tPortAdapter* m_adapter = nullptr;
    tDeviceSet* m_set = nullptr;
};

} // namespace

TEST_F(DiscoveryTest, NetStatFromANewLocalDeviceIsAChangeOnce)
{
    std::vector<uint8_t> answer = NetStat(kLocal, {{kRemote, 519}});
    EXPECT_TRUE(Feed(answer));
    EXPECT_FALSE(Feed(answer)) << "the same answer again changes nothing";
    ASSERT_EQ(1u, m_set->locals.size());
    EXPECT_EQ(0, m_set->locals[0].kind);
    tRemoteDevice* remote = Remote(kLocal, kRemote);
    ASSERT_NE(nullptr, remote);
    EXPECT_NEAR(14.0, remote->rate, 1e-9);
    EXPECT_EQ(0, remote->hs);
    EXPECT_TRUE(Feed(NetStat(kLocal, {{kRemote, 600}}))) << "a new rate is a change";

    std::string trace = TraceText();
    EXPECT_NE(std::string::npos, trace.find("[plexa] RX NetStat 020000000001 <020000000002>")) << trace;
    EXPECT_NE(std::string::npos, trace.find("[plexa] ++ tLocalDevice found: 020000000001")) << trace;
    EXPECT_NE(std::string::npos, trace.find("[plexa] ++ tRemoteDevice found: 020000000002")) << trace;
}

TEST_F(DiscoveryTest, FramesForOtherStationsAndOddEntriesAreIgnored)
{
    EXPECT_FALSE(Feed(NetStat(kLocal, {{kRemote, 519}}, Mac("02:00:00:00:00:99"))));
    EXPECT_FALSE(Feed(NetStat(kLocal, {{kRemote, 519}}, MacBroadcast())));
    tMgmtFrame frame;
    MgmtInit(frame, kPc, kLocal);
    std::vector<uint8_t> data(188, 0);
    MgmtAddEntry(frame, kEntryNetStat, 186, data.data());
    MgmtAddEntry(frame, kEntryNetStat, 188, data.data());
    data[0] = 0x80;
    MgmtAddEntry(frame, kEntryNetStat, 187, data.data());
    MgmtAddEntry(frame, kEntryStatRsp, 21, data.data());
    EXPECT_FALSE(Feed(Bytes(frame, MgmtLength(frame))));
    EXPECT_TRUE(m_set->locals.empty());
    EXPECT_TRUE(m_set->answered.empty());
}

TEST_F(DiscoveryTest, GroupBitRecordsGoToTheUnknownSetAndAreAsked)
{
    Feed(NetStat(kLocal, {{Mac("03:11:22:33:44:55"), 519}, {Mac("01:00:00:00:00:00"), 1}}));
    EXPECT_EQ(1u, m_set->unknown.count(Mac("02:11:22:33:44:55")));
    EXPECT_EQ(1u, m_set->unknown.size()) << "an empty record is nothing";
    EXPECT_TRUE(m_set->locals[0].remotes.empty());
    ClearSent();
    Tick(); // start-up tick: the directed requests follow the paced broadcasts
    Drain();
    EXPECT_EQ(1, Count(Kinds(Sent()), "StatReq>021122334455"));
}

TEST_F(DiscoveryTest, StartUpRunsThreeTicksWhenALocalDeviceAnswersAtOnce)
{
    EXPECT_EQ(5, m_set->burst);
    Tick();
    Drain();
    std::vector<std::string> first = Kinds(Sent());
    EXPECT_EQ((std::vector<std::string>{"ZivudDsc", "NetStat"}), first)
        << "no local device yet: no status round";
    Feed(NetStat(kLocal, {{kRemote, 519}}));
    EXPECT_EQ(2, m_set->burst) << "cut to two more start-up ticks";
    int startUpTicks = 1;
    while (m_set->burst > 0) {
        Tick();
        ++startUpTicks;
        Drain(); // the paced frames of the round leave, as they do within a tick
    }
    EXPECT_EQ(3, startUpTicks);
    std::vector<std::string> kinds = Kinds(Sent());
    EXPECT_EQ(3, Count(kinds, "NetStat"));
    EXPECT_EQ(2, Count(kinds, "StatReq")) << "status rounds once a local device is known";
    EXPECT_EQ(2, Count(kinds, "WhoIsThere"));
    EXPECT_EQ(2, Count(kinds, "ZivudQuality"));
}

TEST_F(DiscoveryTest, SteadyCycleOfFiveTicks)
{
    Feed(NetStat(kLocal, {{kRemote, 519}}));
    SteadyState();
    Drain();
    ClearSent();
    std::vector<std::vector<std::string>> perTick;
    for (int i = 0; i < 5; ++i) {
        Feed(NetStat(kLocal, {{kRemote, 519}})); // keep the devices alive
        Tick();
        Drain();
        perTick.push_back(Kinds(Sent()));
        ClearSent();
    }
    EXPECT_TRUE(perTick[0].empty());
    EXPECT_TRUE(perTick[1].empty());
    EXPECT_TRUE(perTick[2].empty()) << "directed requests: nobody to ask";
    EXPECT_EQ((std::vector<std::string>{"ZivudDsc", "NetStat"}), perTick[3]);
    EXPECT_EQ((std::vector<std::string>{"StatReq", "WhoIsThere", "ZivudQuality"}), perTick[4]);
    EXPECT_NE(std::string::npos, TraceText().find("[plexa] !! cleaning temporary lists on \\Device\\NPF_{TEST}"));
}

TEST_F(DiscoveryTest, SilentRemoteIsAskedFromAgeFifteenAndForgottenAtThirty)
{
    Feed(NetStat(kLocal, {{kRemote, 519}}));
    SteadyState();
    int asked = 0;
    bool gone = false;
    int ticks = Remote(kLocal, kRemote)->age; // the start-up ticks aged it already
    for (; ticks < 40 && !gone; ++ticks) {
        Feed(NetStat(kLocal, {})); // the local device still answers, without the remote
        ClearSent();
        bool changed = Tick();
        Drain(); // past the gap of the last broadcast, so the directed request leaves
        tRemoteDevice* remote = Remote(kLocal, kRemote);
        if (Count(Kinds(Sent()), "StatReq>020000000002") > 0) {
            ++asked;
            EXPECT_GT(remote ? remote->age : 99, 14);
        }
        if (!remote) {
            gone = true;
            EXPECT_TRUE(changed);
        }
    }
    EXPECT_TRUE(gone);
    EXPECT_EQ(30, ticks) << "removed at age 30";
    EXPECT_GE(asked, 3) << "asked at every cycle count 3 from age 15 on";
    EXPECT_NE(std::string::npos, TraceText().find("[plexa] -- remote device vanished: 020000000002"));
}

TEST_F(DiscoveryTest, SilentLocalAndAudioDevicesAreForgotten)
{
    Feed(NetStat(kLocal, {{kRemote, 519}}));
    tHello hello = {false, 2, 0x140012C6, 80, kRemote, ""};
    Feed(Hello(kRemote, hello, 0x140012C6));
    int localGone = 0, audioGone = 0;
    for (int tick = 1; tick <= 45; ++tick) {
        Tick();
        if (!localGone && m_set->locals.empty())
            localGone = tick;
        if (!audioGone && m_set->audios.empty())
            audioGone = tick;
    }
    EXPECT_EQ(15, localGone) << "with its remote devices";
    EXPECT_EQ(40, audioGone);
}

TEST_F(DiscoveryTest, StatRspMakesTheNextQualityReportCreateTheRemote)
{
    Feed(Description(kLocal, false));
    ASSERT_EQ(1u, m_set->locals.size());
    EXPECT_EQ(1, m_set->locals[0].kind);
    tMacAddress silent = Mac("02:00:00:00:00:07");
    EXPECT_FALSE(Feed(Quality(kLocal, {{silent, 2812}})));
    EXPECT_EQ(1u, m_set->unknown.count(silent)) << "never answered: only asked";
    EXPECT_EQ(nullptr, Remote(kLocal, silent));

    Feed(StatRsp(silent));
    EXPECT_EQ(1u, m_set->answered.count(silent));
    EXPECT_TRUE(Feed(Quality(kLocal, {{silent, 2812}})));
    tRemoteDevice* remote = Remote(kLocal, silent);
    ASSERT_NE(nullptr, remote);
    EXPECT_NEAR(85.0, remote->rate, 1e-9);
    EXPECT_EQ(0, remote->hs);

    // Reports from a sender that is no known local device are traced and ignored.
    EXPECT_FALSE(Feed(Quality(Mac("02:00:00:00:00:55"), {{silent, 1}})));
    EXPECT_NE(std::string::npos, TraceText().find("[plexa] RX ZivudQuality (unknown) 020000000055 <020000000007>"));
}

TEST_F(DiscoveryTest, RemoteDescriptionMarksHsDevicesOnlyOnceKnown)
{
    Feed(NetStat(kLocal, {}));
    EXPECT_FALSE(Feed(Description(kHs, true))) << "not yet a remote device: no flag set";
    EXPECT_EQ(1u, m_set->zivudRemote.count(kHs));
    EXPECT_TRUE(Feed(NetStat(kLocal, {{kHs, 2000}})));
    ASSERT_NE(nullptr, Remote(kLocal, kHs));
    EXPECT_EQ(1, Remote(kLocal, kHs)->hs) << "created with the HS flag";

    Feed(NetStat(kLocal, {{kRemote, 519}}));
    EXPECT_TRUE(Feed(Description(kRemote, true))) << "a known remote gets the flag at once";
    EXPECT_EQ(1, Remote(kLocal, kRemote)->hs);
    EXPECT_NE(std::string::npos, TraceText().find("[plexa] RX ZivudDevDsc (remote) 020000000003"));
}

TEST_F(DiscoveryTest, HelloCreatesAnAudioDeviceWithItsAddresses)
{
    tHello hello = {true, 0, 0x050012C6, 8000, kRemote, "/live.mp3"};
    EXPECT_TRUE(Feed(Hello(kRemote, hello, 0x050012C6)));
    ASSERT_EQ(1u, m_set->audios.size());
    const tAudioDevice& audio = m_set->audios[0];
    EXPECT_EQ(1, audio.stream);
    EXPECT_EQ("http://198.18.0.5/", audio.baseUrl);
    EXPECT_EQ("http://198.18.0.5:8000/live.mp3", audio.streamUrl);
    EXPECT_FALSE(Feed(Hello(kRemote, hello, 0x050012C6)));

    hello.httpPort = 80;
    hello.address = 0x060012C6; // differs from the packet's source
    EXPECT_TRUE(Feed(Hello(kRemote, hello, 0x050012C6)));
    EXPECT_EQ("http://198.18.0.5/live.mp3", m_set->audios[0].streamUrl);
    EXPECT_NE(std::string::npos,
              TraceText().find("[plexa] warning: source address is 198.18.0.5, but address in Hello frame is 198.18.0.6!"));

    hello.stream = false;
    EXPECT_TRUE(Feed(Hello(kRemote, hello, 0x050012C6)));
    EXPECT_EQ(0, m_set->audios[0].stream);
    EXPECT_EQ("", m_set->audios[0].streamUrl);

    // A Hello whose inner station differs from the sender is traced and ignored.
    hello.station = Mac("02:00:00:00:00:66");
    EXPECT_FALSE(Feed(Hello(Mac("02:00:00:00:00:77"), hello, 0x070012C6)));
    EXPECT_EQ(1u, m_set->audios.size());
    EXPECT_NE(std::string::npos, TraceText().find("[plexa] RX Hello 020000000077"));
}

TEST_F(DiscoveryTest, ForgedFloodsCannotGrowTheListsWithoutBound)
{
    Feed(NetStat(kLocal, {}));
    uint32_t next = 1;
    for (int frame = 0; frame < 200; ++frame) {
        std::vector<tStationRate> stations;
        for (int i = 0; i < 15; ++i, ++next) {
            tMacAddress a = {{0x02, 0x77, static_cast<uint8_t>(next >> 16), static_cast<uint8_t>(next >> 8),
                              static_cast<uint8_t>(next), 0}};
            if (i % 2)
                a.bytes[0] |= 1; // half of them stations still to be asked
            stations.push_back({a, 500});
        }
        Feed(NetStat(kLocal, stations));
        Feed(StatRsp(stations[0].address));
        tMacAddress forgedLocal = {{0x02, 0x66, static_cast<uint8_t>(frame), 0, 0, 1}};
        Feed(Description(forgedLocal, false));
    }
    EXPECT_LE(m_set->locals.size(), kMaxLocalDevices);
    for (const tLocalDevice& local : m_set->locals)
        EXPECT_LE(local.remotes.size(), kMaxRemoteDevices);
    EXPECT_LE(m_set->unknown.size(), kMaxTemporaryEntries);
    EXPECT_LE(m_set->answered.size(), kMaxTemporaryEntries);
}

TEST_F(DiscoveryTest, GroupAddressesAreNoDevices)
{
    const tMacAddress group = Mac("03:00:00:00:00:07");
    EXPECT_FALSE(Feed(NetStat(group, {{kRemote, 519}})));
    EXPECT_FALSE(Feed(Description(MacBroadcast(), false)));
    Feed(StatRsp(Mac("01:00:5E:00:00:01")));
    tHello hello = {true, 0, 0x050012C6, 80, group, "/x"};
    EXPECT_FALSE(Feed(Hello(group, hello, 0x050012C6)));
    EXPECT_TRUE(m_set->locals.empty());
    EXPECT_TRUE(m_set->audios.empty());
    EXPECT_TRUE(m_set->answered.empty());
    EXPECT_EQ(std::string::npos, TraceText().find("RX Hello 030000000007")) << "dropped before anything";

    // A quality report naming a group address neither creates it nor asks it.
    Feed(Description(kLocal, false));
    Feed(StatRsp(kRemote));
    EXPECT_TRUE(Feed(Quality(kLocal, {{group, 2812}, {kRemote, 2812}})));
    ASSERT_EQ(1u, m_set->locals[0].remotes.size());
    EXPECT_EQ(kRemote, m_set->locals[0].remotes[0].address);
    EXPECT_EQ(0u, m_set->unknown.count(group));
}

TEST_F(DiscoveryTest, StreamPathsThatWouldChangeTheAddressOrTheCommandLineAreRefused)
{
    for (const char* path : {"/a\" /evil \"b", "@evil.example/x", "/line\nbreak", "/caf\xE9"}) {
        tHello hello = {true, 0, 0x050012C6, 8000, kRemote, path};
        Feed(Hello(kRemote, hello, 0x050012C6));
        ASSERT_EQ(1u, m_set->audios.size()) << path;
        EXPECT_EQ(0, m_set->audios[0].stream) << path;
        EXPECT_EQ("", m_set->audios[0].streamUrl) << path;
        EXPECT_EQ("http://198.18.0.5/", m_set->audios[0].baseUrl) << "the device itself stays";
    }
    EXPECT_NE(std::string::npos, TraceText().find("[plexa] warning: stream path of 020000000002 refused"));
    tHello hello = {true, 0, 0x050012C6, 8000, kRemote, "/live stream.mp3"};
    EXPECT_TRUE(Feed(Hello(kRemote, hello, 0x050012C6)));
    EXPECT_EQ("http://198.18.0.5:8000/live stream.mp3", m_set->audios[0].streamUrl);
}

TEST_F(DiscoveryTest, AFloodOfForgedAnswersGetsABoundedRoundOfRequests)
{
    Feed(NetStat(kLocal, {{kRemote, 519}}));
    SteadyState();
    Drain();
    // The remote device falls silent; 1,024 invented stations answer.
    for (int i = 0; i < 30 && Remote(kLocal, kRemote)->age <= kRemoteDeviceAsked; ++i) {
        Feed(NetStat(kLocal, {}));
        Tick();
    }
    Drain();
    for (int i = 0; i < 1024; ++i)
        Feed(StatRsp(tMacAddress{{0x02, 0xBB, 0, 0, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)}}));
    EXPECT_LE(m_set->answered.size(), kMaxTemporaryEntries);
    Feed(StatRsp(kRemote));
    EXPECT_EQ(1u, m_set->answered.count(kRemote)) << "a known device is taken into a full set";

    ClearSent();
    while (m_set->cycle != 2) {
        Feed(NetStat(kLocal, {}));
        Tick();
    }
    Drain(); // the broadcasts of the last rounds leave
    ClearSent();
    Tick(); // cycle 3: the directed requests
    EXPECT_LE(PortQueuedFrames(m_adapter), static_cast<size_t>(kMaxDirectedRequests));
    Drain();
    std::vector<std::string> kinds = Kinds(Sent());
    EXPECT_EQ(static_cast<size_t>(kMaxDirectedRequests), kinds.size()) << "one bounded round";
    ASSERT_FALSE(kinds.empty());
    EXPECT_EQ(1, Count(kinds, "StatReq>020000000002")) << "the silent remote device is asked";
    EXPECT_EQ(0u, PortQueuedFrames(m_adapter)) << "nothing left over to hold up the next broadcasts";
}

TEST_F(DiscoveryTest, ChangesAreReportedAtMostFourTimesASecond)
{
    HANDLE cancel = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE refresh = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::thread flood([] {
        for (int i = 0; i < 100; ++i) {
            tMacAddress local = {{0x02, 0x66, 0, 0, 0, static_cast<uint8_t>(i % 8)}};
            Deliver(kAdapter, NetStat(local, {{kRemote, static_cast<uint16_t>(500 + i)}}));
            Sleep(10);
        }
    });
    int reports = 0;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 1000 && DiscoveryRun(m_discovery, refresh, cancel))
        ++reports;
    flood.join();
    EXPECT_GE(reports, 2);
    EXPECT_LE(reports, 5) << "a change every 10 ms, reported as a few";
    CloseHandle(cancel);
    CloseHandle(refresh);
}

TEST_F(DiscoveryTest, RunReportsChangesForcedUpdatesAndCancel)
{
    HANDLE cancel = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE refresh = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::thread answer([] {
        Sleep(200);
        Deliver(kAdapter, NetStat(kLocal, {{kRemote, 519}}));
    });
    EXPECT_TRUE(DiscoveryRun(m_discovery, refresh, cancel)) << "a new device";
    answer.join();
    EXPECT_EQ(1u, m_set->locals.size());

    SetEvent(m_discovery->changeEvent);
    EXPECT_TRUE(DiscoveryRun(m_discovery, refresh, cancel)) << "a forced update";

    SetEvent(cancel);
    EXPECT_FALSE(DiscoveryRun(m_discovery, refresh, cancel));
    ResetEvent(cancel);

    // The adapter disappears: the port removes it and the next wait reports a forced update.
    Fail(kAdapter);
    EXPECT_TRUE(DiscoveryRun(m_discovery, refresh, cancel));
    EXPECT_EQ(nullptr, PortFirstAdapter(m_discovery->port));
    std::string trace = TraceText();
    EXPECT_NE(std::string::npos, trace.find("[plexa] ## adapter removed: \\Device\\NPF_{TEST}"));
    EXPECT_NE(std::string::npos, trace.find("[plexa] force update signaled!"));
    EXPECT_NE(std::string::npos, trace.find("[plexa] cancel event signaled!"));

    // A refresh scans again and finds it.
    SetEvent(refresh);
    std::thread stop([&] {
        Sleep(300);
        SetEvent(cancel);
    });
    EXPECT_FALSE(DiscoveryRun(m_discovery, refresh, cancel));
    stop.join();
    EXPECT_NE(nullptr, PortFirstAdapter(m_discovery->port));
    CloseHandle(cancel);
    CloseHandle(refresh);
    m_adapter = nullptr;
}

namespace {
class CFastSchedule : public IDiscoverySchedule {
public:
    DWORD TickInterval() override { return 50; }
    HANDLE TriggerEvent() override { return trigger; }
    HANDLE trigger = CreateEventA(nullptr, FALSE, FALSE, nullptr);
};
} // namespace

TEST_F(DiscoveryTest, ScheduleGivesTheTickAndTheTrigger)
{
    CFastSchedule schedule;
    m_discovery->schedule = &schedule;
    EXPECT_EQ(50u, DiscoveryTickInterval(m_discovery));
    HANDLE cancel = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE refresh = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ClearSent();
    auto rounds = [this] {
        std::string trace = TraceText();
        size_t count = 0;
        for (size_t at = trace.find("sending NetStat broadcast"); at != std::string::npos;
             at = trace.find("sending NetStat broadcast", at + 1))
            ++count;
        return count;
    };
    // The trigger comes once the ticks have run their rounds, however slowly they come.
    std::atomic<bool> triggered{false};
    std::thread later([&] {
        testsupport::WaitFor([&] { return rounds() >= 6; }, 10000);
        triggered = true;
        SetEvent(schedule.trigger);
    });
    EXPECT_TRUE(DiscoveryRun(m_discovery, refresh, cancel));
    EXPECT_TRUE(triggered.load()) << "the run went on until the trigger";
    later.join();
    std::string trace = TraceText();
    EXPECT_GE(rounds(), 6u) << "ticks of 50 ms: five start-up rounds and the one at cycle 4";
    EXPECT_NE(std::string::npos, trace.find("[plexa] trigger event!"));
    m_discovery->schedule = nullptr;
    CloseHandle(cancel);
    CloseHandle(refresh);
    CloseHandle(schedule.trigger);
}
