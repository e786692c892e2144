// The plug-in through its exports' functions over a fake dial-up world: real GetState cycles
// (with a short wait so that every call ends in a time-out, as a quiet second does), items,
// texts, hang-up, the call log written when a connection goes, TAPI and the RAS generations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/raii.h"
#include "common/tests/test_support.h"
#include "plugins/dialtrack/dialtrack_plugin.h"
#include "plugins/dialtrack/formats.h"
#include "plugins/dialtrack/providers.h"
#include "plugins/dialtrack/ras_conn_list.h"
#include "plugins/dialtrack/tests/fake_dialup.h"

namespace {

const char kModem[] = "Brindle 56k PCI Modem";

class DialtrackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DialtrackAttach(GetModuleHandleA(nullptr));
        DialtrackSetFolder(m_dir.Path());
        DialtrackSetTimeout(1);
    }
    void TearDown() override
    {
        DialtrackCleanup();
        DialtrackDetach(false);
        DialtrackSetTimeout(CDialtrackPlugin::kTimeoutMs);
    }

    // One GetState call that ends in a time-out, after `ms` of the fake world's time.
    CState* Cycle(uint32_t ms = 1000)
    {
        m_world.Advance(ms);
        return DialtrackGetState(m_cancel.Get(), m_refresh.Get());
    }

    // The top items of the tree, as "name: value" texts.
    static std::vector<std::string> TopTexts(CState* tree)
    {
        std::vector<std::string> texts;
        for (int32_t i = 0; tree && i < tree->GetCount(); ++i)
            texts.push_back(tree->GetAt(i)->GetName() + ": " + tree->GetAt(i)->GetValue());
        return texts;
    }

    // The connection's top item (named "Name of connection") with the given entry name.
    static CItem* Connection(CState* tree, const std::string& entry)
    {
        for (int32_t i = 0; tree && i < tree->GetCount(); ++i)
            if (tree->GetAt(i)->GetName() == "Name of connection" && tree->GetAt(i)->GetValue() == entry)
                return tree->GetAt(i);
        return nullptr;
    }

    static std::string Child(CItem* top, int32_t position)
    {
        CItem* child = top ? top->GetChildren().GetAt(position) : nullptr;
        return child ? child->GetValue() : "<missing>";
    }

    std::string Log() { return testsupport::ReadFileText(m_dir.File("connection.csv")); }
    std::string Stats() { return testsupport::ReadFileText(m_dir.File("stats.log")); }

    testsupport::CTempDir m_dir;
    CFakeDialup m_world;
    raii::CHandle m_cancel{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    raii::CHandle m_refresh{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
};

} // namespace

TEST_F(DialtrackTest, WithoutConnectionsAGetStateReturnsAfterASecondWithAnEmptyTree)
{
    DialtrackSetTimeout(CDialtrackPlugin::kTimeoutMs);
    DWORD start = GetTickCount();
    CState* tree = DialtrackGetState(m_cancel.Get(), m_refresh.Get());
    DWORD took = GetTickCount() - start;
    ASSERT_NE(nullptr, tree);
    EXPECT_EQ(0, tree->GetCount());
    EXPECT_GE(took, 900u);
    EXPECT_LT(took, 3000u);
    // The monitor's refresh and cancel end the wait at once.
    SetEvent(m_refresh.Get());
    start = GetTickCount();
    DialtrackGetState(m_cancel.Get(), m_refresh.Get());
    EXPECT_LT(GetTickCount() - start, 500u);
}

TEST_F(DialtrackTest, ANewConnectionGetsItsTopItemWithFourChildrenWithinOneTimeout)
{
    CState* tree = Cycle();
    EXPECT_EQ(0, tree->GetCount());
    tFakeConnection& dial = m_world.Dial(0x1234, "Office", kModem);
    dial.connectMs = 3722000; // RAS's count: 1 h 2 min 3 s after the cycle's second
    tree = Cycle();

    ASSERT_EQ(2, tree->GetCount()) << "the connection and the overview it brings";
    CItem* overview = tree->GetAt(0);
    EXPECT_EQ(19, overview->GetIcon());
    EXPECT_EQ(0u, overview->GetName().find("Connection monitor ("));
    EXPECT_EQ(4, overview->GetChildren().GetCount());

    CItem* top = Connection(tree, "Office");
    ASSERT_NE(nullptr, top);
    EXPECT_EQ(20, top->GetIcon());
    ASSERT_EQ(4, top->GetChildren().GetCount());
    CItem* device = top->GetChildren().GetAt(0);
    EXPECT_EQ(kModem, device->GetName());
    EXPECT_EQ("", device->GetValue());
    EXPECT_EQ(7, device->GetIcon()) << "Brindle 56k PCI";
    EXPECT_EQ("Duration of connection", top->GetChildren().GetAt(1)->GetName());
    EXPECT_EQ(18, top->GetChildren().GetAt(1)->GetIcon());
    EXPECT_EQ("0 Days 01:02:03", Child(top, 1));
    EXPECT_EQ("Upload data rate", top->GetChildren().GetAt(2)->GetName());
    EXPECT_EQ(6, top->GetChildren().GetAt(2)->GetIcon());
    EXPECT_EQ("0.00 Kbytes/s", Child(top, 2));
    EXPECT_EQ("Download data rate", top->GetChildren().GetAt(3)->GetName());
    EXPECT_EQ(5, top->GetChildren().GetAt(3)->GetIcon());

    // Ids are unique in the tree; the hang-up sits on four of the five items.
    std::vector<int32_t> ids = {overview->GetId(), top->GetId()};
    for (int32_t i = 0; i < 4; ++i)
        ids.push_back(top->GetChildren().GetAt(i)->GetId());
    for (size_t i = 0; i < ids.size(); ++i)
        for (size_t j = i + 1; j < ids.size(); ++j)
            EXPECT_NE(ids[i], ids[j]);
    ASSERT_NE(nullptr, top->GetActions());
    EXPECT_EQ("Disconnect", (*top->GetActions())[0].text);
    EXPECT_EQ(nullptr, device->GetActions());
    for (int32_t i = 1; i < 4; ++i)
        ASSERT_NE(nullptr, top->GetChildren().GetAt(i)->GetActions()) << i;
    ASSERT_NE(nullptr, overview->GetActions());
    EXPECT_EQ("Display connection statistics", (*overview->GetActions())[0].text);

    // The same connection in later cycles keeps its items.
    int32_t topId = top->GetId();
    tree = Cycle();
    EXPECT_EQ(2, tree->GetCount());
    EXPECT_EQ(topId, Connection(tree, "Office")->GetId());
}

TEST_F(DialtrackTest, ConstantTrafficShowsItsRateWhichFallsToZeroWhenItStops)
{
    tFakeConnection& dial = m_world.Dial(0x10, "Office", kModem);
    dial.receiveRate = 2048;
    dial.sendRate = 512;
    CState* tree = Cycle();
    for (int second = 0; second < 12; ++second)
        tree = Cycle();
    CItem* top = Connection(tree, "Office");
    EXPECT_EQ("2.00 Kbytes/s", Child(top, 3));
    EXPECT_EQ("0.50 Kbytes/s", Child(top, 2));

    m_world.Find(dial.handle)->receiveRate = 0;
    tree = Cycle(1000);
    EXPECT_NE("0.00 Kbytes/s", Child(Connection(tree, "Office"), 3)) << "the last ten seconds still hold traffic";
    for (int second = 0; second < 11; ++second)
        tree = Cycle();
    EXPECT_EQ("0.00 Kbytes/s", Child(Connection(tree, "Office"), 3));
    EXPECT_EQ("0.50 Kbytes/s", Child(Connection(tree, "Office"), 2));
}

TEST_F(DialtrackTest, TicksAndByteCountersThatWrapKeepTheFiguresGoing)
{
    m_world.tick = 0xFFFFFFFFu - 4500; // wraps in the fifth second
    tFakeConnection& dial = m_world.Dial(0x10, "Office", kModem);
    dial.received = 0xFFFFFFFFull - 3 * 4096; // the 32-bit counter wraps in the fourth second
    dial.receiveRate = 4096;
    Cycle();
    CState* tree = nullptr;
    for (int second = 0; second < 8; ++second) {
        tree = Cycle();
        if (second > 0) {
            EXPECT_EQ("4.00 Kbytes/s", Child(Connection(tree, "Office"), 3)) << second;
        }
    }
    // Through the connection object: the 64-bit count goes past 4 GB.
    CRASVersion version(false, false);
    CRASConnection connection(version);
    connection.Assign(dial.handle, "Office");
    connection.Connect();
    uint64_t before = connection.GetReceivedBytes();
    m_world.Find(dial.handle)->received = 0xFFFFFFF0ull;
    connection.RefreshCounters();
    m_world.Find(dial.handle)->received = 0x100000010ull;
    connection.RefreshCounters();
    EXPECT_EQ(0x100000010ull, connection.GetReceivedBytes());
    EXPECT_GT(connection.GetReceivedBytes(), before);
    // Elapsed ticks keep increasing over the tick counter's wrap.
    m_world.tick = 0xFFFFFF00u;
    CRASConnection ticking(version);
    ticking.Connect();
    m_world.tick += 0x80; // just before the wrap
    ticking.RefreshCounters();
    EXPECT_EQ(0x80u, ticking.GetElapsedTicks());
    m_world.tick += 0x100; // past it
    ticking.RefreshCounters();
    EXPECT_EQ(0x180u, ticking.GetElapsedTicks());
}

TEST_F(DialtrackTest, DurationsOfOneAndTwoDays)
{
    tFakeConnection& one = m_world.Dial(0x10, "One", kModem);
    one.connectMs = 86400000 - 1000; // the cycle adds the last second
    tFakeConnection& two = m_world.Dial(0x20, "Two", "Brindle 56k Pebble II");
    two.connectMs = 2 * 86400000 - 1000;
    CState* tree = Cycle();
    EXPECT_EQ("1 Day 00:00:00", Child(Connection(tree, "One"), 1));
    EXPECT_EQ("2 Days 00:00:00", Child(Connection(tree, "Two"), 1));
    EXPECT_EQ(9, Connection(tree, "Two")->GetChildren().GetAt(0)->GetIcon());
}

TEST_F(DialtrackTest, AVanishedConnectionLosesItsItemsAndIsLoggedInTheSameCycle)
{
    m_world.SetClock(2019, 10, 14, 9, 0, 0);
    tFakeConnection& dial = m_world.Dial(0x10, "Office", kModem);
    dial.connectMs = 0;
    dial.receiveRate = 1000;
    dial.sendRate = 100;
    Cycle(0);
    for (int second = 0; second < 90; ++second)
        Cycle();
    m_world.Drop(reinterpret_cast<HRASCONN>(0x10));
    CState* tree = Cycle(0);
    EXPECT_EQ(nullptr, Connection(tree, "Office"));
    ASSERT_EQ(1, tree->GetCount()) << "the overview stays";
    // 90 s from 09:00:00 UTC: the call started at 09:00:00 and lasted 90 s.
    EXPECT_EQ("2019/10/14 09:00:00;Office;00:00:01:30;9000;90000\r\n", Log());
    EXPECT_EQ("[Office_2019_0a]\r\nBytesReceived=90000\r\nBytesSent=9000\r\nDuration=90\r\n", Stats());
    // The overview shows this month's totals: the call was in another month.
    EXPECT_EQ("0:00 (h:min)", tree->GetAt(0)->GetChildren().GetAt(0)->GetValue());
}

TEST_F(DialtrackTest, HangUpFromEachOfTheFourItems)
{
    for (int32_t position = -1; position < 3; ++position) {
        uintptr_t handle = 0x100 + static_cast<uintptr_t>(position + 1);
        m_world.Dial(handle, "Office", kModem);
        CState* tree = Cycle();
        CItem* top = Connection(tree, "Office");
        ASSERT_NE(nullptr, top);
        CItem* item = position < 0 ? top : top->GetChildren().GetAt(position + 1);
        ASSERT_NE(nullptr, item->GetActions());
        const tItemAction& action = (*item->GetActions())[0];
        EXPECT_EQ("Disconnect", action.text);
        bool optionsChanged = false;
        // On the monitor's window thread the row menu only hands the work to the next wake-up.
        action.proc(nullptr, item->GetId(), &optionsChanged);
        EXPECT_FALSE(optionsChanged);
        EXPECT_TRUE(m_world.hangUps.empty() || m_world.hangUps.back() != reinterpret_cast<HRASCONN>(handle));
        DialtrackGetState(m_cancel.Get(), m_refresh.Get()); // wakes on the request
        ASSERT_FALSE(m_world.hangUps.empty());
        EXPECT_EQ(reinterpret_cast<HRASCONN>(handle), m_world.hangUps.back()) << position;
        tree = Cycle();
        EXPECT_EQ(nullptr, Connection(tree, "Office")) << "hung up, it leaves";
    }
    EXPECT_EQ(4u, m_world.hangUps.size());
    // The device item and a gone item offer nothing to hang up.
    m_world.Dial(0x200, "Office", kModem);
    CState* tree = Cycle();
    CItem* device = Connection(tree, "Office")->GetChildren().GetAt(0);
    EXPECT_EQ(nullptr, device->GetActions());
}

TEST_F(DialtrackTest, OverviewAppearsAtStartOnlyWithStatistics)
{
    testsupport::WriteFileText(m_dir.File("stats.log"), "");
    EXPECT_EQ(0, Cycle()->GetCount()) << "an empty stats.log is no statistics";
    DialtrackCleanup();

    // This month's totals over all names; other months and sections of other shapes do not
    // count, and garbage numbers read as far as they parse.
    tMonth now = CurrentLocalMonth();
    tMonth before = MonthsUpTo(now, 2)[0];
    std::string stats =
        "[" + StatsSectionName("Office", now.year, now.month) + "]\r\nBytesReceived=1048576\r\nBytesSent=524288\r\nDuration=3660\r\n" +
        "[" + StatsSectionName("Home", now.year, now.month) + "]\r\nBytesReceived=2097152\r\nBytesSent=0\r\nDuration=60\r\n" +
        "[" + StatsSectionName("Office", before.year, before.month) + "]\r\nBytesReceived=999999999\r\nBytesSent=1\r\nDuration=99999\r\n" +
        "[" + StatsSectionName("Garbage", now.year, now.month) + "]\r\nBytesReceived=12abc\r\nBytesSent=-7\r\nDuration=x\r\n" +
        "[not one of ours]\r\nBytesReceived=5\r\n";
    testsupport::WriteFileText(m_dir.File("stats.log"), stats);
    CState* tree = Cycle();
    ASSERT_EQ(1, tree->GetCount());
    CItem* overview = tree->GetAt(0);
    EXPECT_EQ("Connection monitor (" + YearMonthText(now) + ")", overview->GetName());
    EXPECT_EQ("", overview->GetValue());
    ASSERT_EQ(4, overview->GetChildren().GetCount());
    const char* names[] = {"Total connection duration", "Total sent data", "Total received data", "Total data volume"};
    const char* values[] = {"1:02 (h:min)", "0.50 MB", "3.00 MB", "3.50 MB"};
    const int32_t icons[] = {18, 6, 5, 1};
    for (int32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(names[i], overview->GetChildren().GetAt(i)->GetName());
        EXPECT_EQ(values[i], overview->GetChildren().GetAt(i)->GetValue());
        EXPECT_EQ(icons[i], overview->GetChildren().GetAt(i)->GetIcon());
    }
}

TEST_F(DialtrackTest, TapiLinesNameTheDevicesAndConnectionsAreStillFollowed)
{
    m_world.lines = {{"Brindle 56k Pebble USB s"}, {kModem}, {"broken", true, false}, {"no caps", false, true}};
    m_world.Dial(0x10, "Office", kModem);
    CState* tree = Cycle();
    EXPECT_EQ("Performance Plugin", m_world.appName);
    EXPECT_EQ(static_cast<DWORD>(LINEINITIALIZEEXOPTION_USEEVENT), m_world.initOptions);
    // Capabilities: 268 bytes first, then the size TAPI asked for.
    ASSERT_GE(m_world.capsSizes.size(), 2u);
    EXPECT_EQ(268u, m_world.capsSizes[0]);
    EXPECT_GT(m_world.capsSizes[1], 268u);
    // A line of the device's name and no TAPI call to match: followed through RAS.
    CItem* top = Connection(tree, "Office");
    ASSERT_NE(nullptr, top);
    EXPECT_EQ(4, top->GetChildren().GetCount());
    // The TAPI event wakes the cycle; a message for a call nobody knows changes nothing.
    LINEMESSAGE message = {};
    message.hDevice = 0x777;
    message.dwMessageID = LINE_CALLSTATE;
    message.dwParam1 = LINECALLSTATE_IDLE;
    m_world.messages.push_back(message);
    SetEvent(m_world.tapiEvent.Get());
    tree = DialtrackGetState(m_cancel.Get(), m_refresh.Get());
    EXPECT_TRUE(m_world.messages.empty());
    EXPECT_NE(nullptr, Connection(tree, "Office"));
    DialtrackCleanup();
    EXPECT_EQ(1, m_world.shutdowns);
}

TEST_F(DialtrackTest, WithoutTapiConnectionsAreFollowedThroughRas)
{
    m_world.tapiFails = true;
    m_world.lines = {{kModem}};
    m_world.Dial(0x10, "Office", kModem);
    CState* tree = Cycle();
    EXPECT_NE(nullptr, Connection(tree, "Office"));
    EXPECT_TRUE(m_world.capsSizes.empty());
    DialtrackCleanup();
    EXPECT_EQ(0, m_world.shutdowns) << "nothing to shut down";
}

TEST_F(DialtrackTest, OldRasCountsFromTheRegistryStartingAtZero)
{
    m_world.major = 4;
    m_world.minor = 10;
    m_world.oldRasReceived = 5000000; // what the adapter carried before this call
    m_world.oldRasSent = 7000;
    tFakeConnection& dial = m_world.Dial(0x10, "Office", kModem);
    dial.receiveRate = 1024;
    Cycle();
    for (int second = 0; second < 5; ++second)
        Cycle();
    EXPECT_EQ(RasEntryLayout(RAS_ENTRY_OLD, sizeof(void*)).stride, m_world.enumEntrySizes.back());
    EXPECT_EQ(0, m_world.statisticsCalls) << "old RAS has no statistics call";
    m_world.Drop(dial.handle);
    Cycle(0);
    // Six seconds at 1 KB/s since the connection was found: the registry counts less the base.
    EXPECT_NE(std::string::npos, Log().find(";Office;00:00:00:05;0;5120\r\n")) << Log();
    // The registry counter wraps at 32 bits: still increasing.
    CRASVersion old(true, false);
    CRASConnection connection(old);
    connection.Assign(reinterpret_cast<HRASCONN>(0x20), "Office");
    m_world.oldRasReceived = 0xFFFFFF00u;
    connection.Connect();
    m_world.oldRasReceived = 0x100;
    connection.RefreshCounters();
    EXPECT_EQ(0x200u, connection.GetReceivedBytes());
    m_world.oldRasKey = false; // the key cannot be read: the counts stay
    connection.RefreshCounters();
    EXPECT_EQ(0x200u, connection.GetReceivedBytes());
}

TEST_F(DialtrackTest, EnumerationGrowsItsBufferAndAnErrorEndsTheConnections)
{
    for (uintptr_t i = 1; i <= 3; ++i)
        m_world.Dial(i, "Call" + std::to_string(i), "Device " + std::to_string(i));
    CState* tree = Cycle();
    DWORD stride = static_cast<DWORD>(NativeRasEntryLayout(RAS_ENTRY_LATER).stride);
    ASSERT_GE(m_world.enumBufferSizes.size(), 2u);
    EXPECT_EQ(stride, m_world.enumBufferSizes[0]) << "room for one entry first";
    EXPECT_EQ(3 * stride, m_world.enumBufferSizes[1]) << "then what RAS asked for";
    EXPECT_NE(nullptr, Connection(tree, "Call3"));

    // A failing enumeration reads as none: every connection ends and is logged.
    m_world.enumError = 5;
    m_world.enumFailures = 1;
    tree = Cycle();
    EXPECT_EQ(nullptr, Connection(tree, "Call1"));
    EXPECT_EQ(3u, SplitLogLines(Log()).size());
    // Errors RAS asks to retry are tried five times at most.
    size_t before = m_world.enumEntrySizes.size();
    m_world.enumError = 603;
    m_world.enumFailures = 100;
    Cycle();
    EXPECT_EQ(5u, m_world.enumEntrySizes.size() - before);
}

TEST_F(DialtrackTest, EntryFormsFollowTheSystem)
{
    struct tCase {
        DWORD major, minor;
        tRasEntryForm form;
    } cases[] = {{4, 0, RAS_ENTRY_OLD}, {4, 90, RAS_ENTRY_OLD}, {5, 0, RAS_ENTRY_W2K}, {5, 1, RAS_ENTRY_LATER},
                 {10, 0, RAS_ENTRY_LATER}};
    for (size_t width : {size_t(4), sizeof(void*)})
        for (const tCase& c : cases) {
            m_world.major = c.major;
            m_world.minor = c.minor;
            m_world.handleSize = width;
            m_world.connections.clear();
            m_world.Dial(0xAB, "Office", kModem).deviceType = "isdn";
            m_world.Dial(0xCD, "Home", "Brindle ADSL Pebble USB");
            m_world.enumEntrySizes.clear();
            CRASVersion version;
            EXPECT_EQ(c.form, version.EntryForm());
            tRasEntryLayout layout = RasEntryLayout(c.form, width);
            CRASConnList list(version, layout);
            ASSERT_EQ(2u, list.GetCount()) << c.major << "." << c.minor << " width " << width;
            EXPECT_EQ(layout.stride, m_world.enumEntrySizes.front());
            EXPECT_EQ(reinterpret_cast<HRASCONN>(0xCD), list.GetHandle(1));
            EXPECT_EQ("Home", list.GetEntryName(1));
            EXPECT_EQ("Brindle ADSL Pebble USB", list.GetDeviceName(1));
            EXPECT_EQ("isdn", list.GetDeviceType(0));
            EXPECT_EQ("", list.GetEntryName(2)) << "past the end";
            EXPECT_EQ(nullptr, list.GetHandle(2));
        }
}

TEST_F(DialtrackTest, CleanupEndsARunningConnectionSoItsCallIsLogged)
{
    m_world.SetClock(2019, 11, 2, 23, 59, 0);
    tFakeConnection& dial = m_world.Dial(0x10, "Home", kModem);
    dial.connectMs = 600000; // up for ten minutes before the plug-in started
    dial.received = 1 << 20;
    dial.sent = 1 << 10;
    Cycle(0);
    Cycle(60000);
    DialtrackCleanup();
    // Ended at 00:00:00 on the 3rd after 11 minutes: it started at 23:49:00 on the 2nd.
    EXPECT_EQ("2019/11/2 23:49:00;Home;00:00:11:00;1024;1048576\r\n", Log());
    EXPECT_EQ("[Home_2019_0b]\r\nBytesReceived=1048576\r\nBytesSent=1024\r\nDuration=660\r\n", Stats());

    // The monitor starts again while the connection is still up; when it ends, the log holds
    // the one call, with the figures counted once.
    dial.received = 3 << 20;
    Cycle(0);
    Cycle(60000);
    m_world.Drop(dial.handle);
    Cycle(0);
    EXPECT_EQ("2019/11/2 23:49:00;Home;00:00:12:00;1024;3145728\r\n", Log());
    EXPECT_EQ("[Home_2019_0b]\r\nBytesReceived=3145728\r\nBytesSent=1024\r\nDuration=720\r\n", Stats());
}

TEST_F(DialtrackTest, ADeviceThatDialsAgainWithinASecondGetsAFreshItem)
{
    m_world.Dial(0x10, "Office", kModem);
    CState* tree = Cycle();
    int32_t first = Connection(tree, "Office")->GetId();
    m_world.Drop(reinterpret_cast<HRASCONN>(0x10));
    m_world.Dial(0x11, "Office", kModem);
    tree = Cycle();
    CItem* top = Connection(tree, "Office");
    ASSERT_NE(nullptr, top);
    EXPECT_NE(first, top->GetId());
    EXPECT_EQ(2, tree->GetCount()) << "the old item went, the overview and the new one stay";
    EXPECT_EQ(1u, SplitLogLines(Log()).size()) << "the first call was logged";
    // Hang-up acts on the new connection.
    (*top->GetActions())[0].proc(nullptr, top->GetId(), nullptr);
    DialtrackGetState(m_cancel.Get(), m_refresh.Get());
    ASSERT_EQ(1u, m_world.hangUps.size());
    EXPECT_EQ(reinterpret_cast<HRASCONN>(0x11), m_world.hangUps[0]);
}

TEST_F(DialtrackTest, TwoConnectionsOnDevicesOfOneNameKeepTheirOwnItems)
{
    m_world.Dial(0x10, "Work VPN", "WAN Miniport (PPTP)");
    m_world.Dial(0x20, "Club VPN", "WAN Miniport (PPTP)");
    CState* tree = Cycle();
    ASSERT_NE(nullptr, Connection(tree, "Work VPN"));
    ASSERT_NE(nullptr, Connection(tree, "Club VPN"));
    int32_t club = Connection(tree, "Club VPN")->GetId();
    m_world.Drop(reinterpret_cast<HRASCONN>(0x10));
    tree = Cycle();
    EXPECT_EQ(nullptr, Connection(tree, "Work VPN"));
    ASSERT_NE(nullptr, Connection(tree, "Club VPN"));
    EXPECT_EQ(club, Connection(tree, "Club VPN")->GetId());
}

TEST(ModelIcons, FirstMatchingRowWins)
{
    EXPECT_EQ(9, ModelIcon("Brindle 56k Pebble II"));
    EXPECT_EQ(8, ModelIcon("Brindle 56k Pebble USB"));
    EXPECT_EQ(8, ModelIcon("Brindle 56k Pebble USB s")) << "found by the row before its own";
    EXPECT_EQ(7, ModelIcon("The Brindle 56k PCI #2"));
    EXPECT_EQ(11, ModelIcon("Brindle ADSL Pebble USB"));
    EXPECT_EQ(1, ModelIcon("Standard 56000 bps Modem"));
    EXPECT_EQ(1, ModelIcon(""));
}
