#include <gtest/gtest.h>

#include <string.h>

#include <thread>
#include <vector>

#include "common/tests/test_support.h"
#include "powerline/packet_port.h"
#include "powerline/tests/fake_rawport.h"

using namespace fakerawport;
using testsupport::WaitFor;

namespace {

struct tEvents {
    std::vector<std::pair<int, std::string>> calls;
};

void Record(int event, tPortAdapter* adapter, void* user)
{
    static_cast<tEvents*>(user)->calls.emplace_back(event, adapter->name);
}

tFakeAdapter MakeAdapter(const char* name, uint8_t last)
{
    tFakeAdapter a;
    a.name = name;
    const uint8_t station[6] = {0x02, 0, 0, 0, 0, last};
    memcpy(a.station, station, 6);
    return a;
}

class PacketPortTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        PortDestroy(m_port);
        Uninstall();
    }
    void Create(const std::vector<tFakeAdapter>& adapters, uint8_t promiscuous = 0)
    {
        Install(adapters);
        const uint8_t program[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
        m_port = PortCreate(Record, &m_events, promiscuous, program, sizeof program);
    }
    tEvents m_events;
    tPacketPort* m_port = nullptr;
};

std::vector<uint8_t> Frame(uint8_t marker)
{
    std::vector<uint8_t> frame(60, 0);
    frame[12] = 0x88;
    frame[13] = 0x7B;
    frame[20] = marker;
    return frame;
}

} // namespace

TEST_F(PacketPortTest, ScanningOpensEachAdapterOnceWhateverItsCase)
{
    Create({MakeAdapter("\\Device\\NPF_{A}", 1), MakeAdapter("\\DEVICE\\npf_{a}", 2), MakeAdapter("\\Device\\NPF_{B}", 3)});
    ASSERT_TRUE(PortScanAdapters(m_port));
    ASSERT_TRUE(PortScanAdapters(m_port));
    EXPECT_EQ(2, PortAdapterCount(m_port));
    ASSERT_EQ(2u, m_events.calls.size());
    EXPECT_EQ(PORT_ADAPTER_ADDED, m_events.calls[0].first);

    tPortAdapter* first = PortFirstAdapter(m_port);
    ASSERT_NE(nullptr, first);
    EXPECT_EQ("\\Device\\NPF_{A}", first->name);
    EXPECT_EQ(1, first->station[5]);
    tPortAdapter* second = PortNextAdapter(first);
    ASSERT_NE(nullptr, second);
    EXPECT_EQ("\\Device\\NPF_{B}", second->name);
    EXPECT_EQ(nullptr, PortNextAdapter(second));

    tFakeAdapter* fake = Adapter("\\Device\\NPF_{A}");
    EXPECT_EQ(0x09u, fake->packetFilter) << "directed and broadcast frames";
    EXPECT_EQ(16u, fake->program.size()) << "the creator's filter program is installed";
    EXPECT_EQ(32u, PostedReads("\\Device\\NPF_{A}"));
}

TEST_F(PacketPortTest, PromiscuousPortSetsThePromiscuousFilter)
{
    Create({MakeAdapter("A", 1)}, 1);
    PortScanAdapters(m_port);
    EXPECT_EQ(0x20u, Adapter("A")->packetFilter);
}

TEST_F(PacketPortTest, AdapterThatCannotBeConfiguredIsSkippedAndTriedAgain)
{
    tFakeAdapter broken = MakeAdapter("A", 1);
    broken.failAddressQuery = true;
    Create({broken, MakeAdapter("B", 2)});
    PortScanAdapters(m_port);
    EXPECT_EQ(1, PortAdapterCount(m_port));
    ASSERT_EQ(1u, m_events.calls.size());
    EXPECT_EQ("B", m_events.calls[0].second);
    EXPECT_EQ(1, Adapter("A")->closes) << "opened, failed, closed again";

    Adapter("A")->failAddressQuery = false;
    PortScanAdapters(m_port);
    EXPECT_EQ(2, PortAdapterCount(m_port));

    tFakeAdapter noFilter = MakeAdapter("C", 3);
    noFilter.failFilterProgram = true;
    PortDestroy(m_port);
    m_events.calls.clear();
    Create({noFilter});
    PortScanAdapters(m_port);
    EXPECT_EQ(0, PortAdapterCount(m_port));
    EXPECT_TRUE(m_events.calls.empty());
}

TEST_F(PacketPortTest, WithoutAdaptersOnlyTheCallersHandlesCount)
{
    Create({});
    PortScanAdapters(m_port);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE other = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    HANDLE handles[2] = {event, other};
    DWORD which = 99;
    EXPECT_EQ(nullptr, PortWait(m_port, handles, 2, &which, 1000));
    EXPECT_EQ(WAIT_OBJECT_0 + 1, which);
    ResetEvent(other);
    DWORD start = GetTickCount();
    EXPECT_EQ(nullptr, PortWait(m_port, handles, 2, &which, 150));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), which);
    EXPECT_GE(GetTickCount() - start, 140u);

    // -1 waits without limit: only the handle ends it.
    std::thread later([&] {
        Sleep(300);
        SetEvent(event);
    });
    EXPECT_EQ(nullptr, PortWait(m_port, handles, 2, &which, -1));
    later.join();
    EXPECT_EQ(WAIT_OBJECT_0, which);
    CloseHandle(event);
    CloseHandle(other);
}

TEST_F(PacketPortTest, FramesAreHandedOutInPlaceAndTheReadIsPostedAgain)
{
    Create({MakeAdapter("A", 1), MakeAdapter("B", 2)});
    PortScanAdapters(m_port);
    HANDLE cancel = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(Deliver("B", Frame(7)));
    ASSERT_TRUE(Deliver("B", Frame(8)));
    DWORD which = 0;
    tReceivedFrame* frame = PortWait(m_port, &cancel, 1, &which, 1000);
    ASSERT_NE(nullptr, frame);
    EXPECT_EQ("B", frame->adapter->name);
    EXPECT_EQ(60u, frame->length);
    EXPECT_EQ(7, frame->data[20]);
    EXPECT_EQ(30u, PostedReads("B")) << "one read handed out, one completed and waiting";

    // The next wait re-arms the handed-out read first, then takes the next frame in order.
    frame = PortWait(m_port, &cancel, 1, &which, 1000);
    ASSERT_NE(nullptr, frame);
    EXPECT_EQ(8, frame->data[20]);
    PortRearm(frame);
    EXPECT_EQ(nullptr, frame->data);
    EXPECT_EQ(32u, PostedReads("B"));
    EXPECT_EQ(nullptr, PortWait(m_port, &cancel, 1, &which, 50));
    CloseHandle(cancel);
}

TEST_F(PacketPortTest, FailedReadRemovesTheAdapterOnceAndTheWaitGoesOn)
{
    Create({MakeAdapter("A", 1), MakeAdapter("B", 2)});
    PortScanAdapters(m_port);
    HANDLE cancel = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(Fail("A"));
    DWORD which = 0;
    DWORD start = GetTickCount();
    EXPECT_EQ(nullptr, PortWait(m_port, &cancel, 1, &which, 300));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), which);
    EXPECT_GE(GetTickCount() - start, 280u) << "the rest of the time-out is waited for";
    EXPECT_EQ(1, PortAdapterCount(m_port));
    ASSERT_EQ(3u, m_events.calls.size());
    EXPECT_EQ(PORT_ADAPTER_REMOVED, m_events.calls[2].first);
    EXPECT_EQ("A", m_events.calls[2].second);
    EXPECT_EQ(0u, PostedReads("A")) << "its reads were cancelled";
    EXPECT_EQ(1, Adapter("A")->closes);

    // A later scan finds it again as new.
    PortScanAdapters(m_port);
    EXPECT_EQ(2, PortAdapterCount(m_port));
    CloseHandle(cancel);
}

TEST_F(PacketPortTest, PacingKeepsTheGapsBetweenFrames)
{
    // Gaps long enough that a sender thread a loaded machine wakes late cannot pass for one
    // that did not wait; only the lower bounds are exact.
    const DWORD kGap = 500;
    Create({MakeAdapter("A", 1)});
    PortScanAdapters(m_port);
    tPortAdapter* adapter = PortFirstAdapter(m_port);
    std::vector<uint8_t> frame = Frame(1);

    PortQueueFrame(adapter, frame.data(), frame.size(), kGap);
    ASSERT_EQ(1u, Sent().size()) << "the first frame leaves at once, on the caller's thread";
    frame[20] = 2;
    PortQueueFrame(adapter, frame.data(), frame.size(), kGap);
    EXPECT_EQ(1u, Sent().size()) << "the second waits for the gap";
    ASSERT_TRUE(WaitFor([&] { return Sent().size() == 2; }, kGap + 5000));
    DWORD gap = Sent()[1].tick - Sent()[0].tick;
    EXPECT_GE(gap, kGap - 10);

    // After the gap has passed and with an empty queue, a frame leaves at once again.
    Sleep(kGap + 100);
    ClearSent();
    PortQueueFrame(adapter, frame.data(), frame.size(), 100);
    ASSERT_EQ(1u, Sent().size());

    // Three at once with gaps 100, 100, 20: after 0, 100 and 200 ms at the earliest.
    Sleep(150);
    ClearSent();
    for (DWORD gapMs : {100u, 100u, 20u}) {
        frame[21] = static_cast<uint8_t>(gapMs + frame[21]); // three different frames
        PortQueueFrame(adapter, frame.data(), frame.size(), gapMs);
    }
    ASSERT_TRUE(WaitFor([&] { return Sent().size() == 3; }, 5000));
    std::vector<tSentFrame> sent = Sent();
    EXPECT_GE(sent[1].tick - sent[0].tick, 90u);
    EXPECT_GE(sent[2].tick - sent[0].tick, 190u);
}

TEST_F(PacketPortTest, ImmediateSendsNeedNoCompletionWait)
{
    Create({MakeAdapter("A", 1)});
    SetSendsPending(false);
    PortScanAdapters(m_port);
    std::vector<uint8_t> frame = Frame(3);
    PortQueueFrame(PortFirstAdapter(m_port), frame.data(), frame.size(), 0);
    PortQueueFrame(PortFirstAdapter(m_port), frame.data(), frame.size(), 0);
    EXPECT_EQ(2u, Sent().size()) << "gap 0: no pacing";
}

TEST_F(PacketPortTest, TheQueueIsBoundedAndTakesNoFrameTwice)
{
    Create({MakeAdapter("A", 1)});
    SetSendsPending(false);
    PortScanAdapters(m_port);
    tPortAdapter* adapter = PortFirstAdapter(m_port);
    std::vector<uint8_t> frame = Frame(0);
    EXPECT_EQ(PORT_FRAME_SENT, PortQueueFrame(adapter, frame.data(), frame.size(), 1000));
    // The gap of 1000 ms holds everything else back while the queue fills.
    frame[21] = 1;
    EXPECT_EQ(PORT_FRAME_QUEUED, PortQueueFrame(adapter, frame.data(), frame.size(), 20));
    EXPECT_EQ(PORT_FRAME_ALREADY_QUEUED, PortQueueFrame(adapter, frame.data(), frame.size(), 20))
        << "a request for a station that has one waiting";
    for (size_t i = 2; i <= kPortQueueLimit; ++i) {
        frame[21] = static_cast<uint8_t>(i);
        frame[22] = static_cast<uint8_t>(i >> 8);
        ASSERT_EQ(PORT_FRAME_QUEUED, PortQueueFrame(adapter, frame.data(), frame.size(), 20)) << i;
    }
    EXPECT_EQ(kPortQueueLimit, PortQueuedFrames(adapter));
    frame[23] = 0xEE;
    EXPECT_EQ(PORT_FRAME_DROPPED, PortQueueFrame(adapter, frame.data(), frame.size(), 20)) << "full";
    EXPECT_EQ(PORT_FRAME_DROPPED, PortQueueFrame(adapter, frame.data(), 0, 20));
    EXPECT_EQ(PORT_FRAME_DROPPED, PortQueueFrame(adapter, frame.data(), kRawMaxFrame + 1, 20));
    EXPECT_EQ(1u, Sent().size());

    // Sending outside the pacing does not wait for the queue.
    frame[23] = 0xEF;
    EXPECT_TRUE(PortSendNow(adapter, frame.data(), frame.size()));
    ASSERT_EQ(2u, Sent().size());
    EXPECT_EQ(0xEF, Sent()[1].bytes[23]);

    // A lower bound holds for the next frame.
    PortSetQueueLimit(m_port, 2);
    frame[23] = 0xEE;
    EXPECT_EQ(PORT_FRAME_DROPPED, PortQueueFrame(adapter, frame.data(), frame.size(), 20)) << "lower bound now";
}

TEST_F(PacketPortTest, ALateSendCompletionIsWaitedForWithinItsLimit)
{
    Create({MakeAdapter("A", 1)});
    PortScanAdapters(m_port);
    tPortAdapter* adapter = PortFirstAdapter(m_port);
    std::vector<uint8_t> frame = Frame(5);
    SetSendsPending(true);
    EXPECT_TRUE(PortSendNow(adapter, frame.data(), frame.size())) << "997, then the event";
    SetSendsNeverComplete(true);
    DWORD start = GetTickCount();
    EXPECT_FALSE(PortSendNow(adapter, frame.data(), frame.size()));
    DWORD waited = GetTickCount() - start;
    EXPECT_GE(waited, kPortSendCompletionMs - 100);
    EXPECT_LT(waited, kPortSendCompletionMs + 2000) << "not forever";
    SetSendsNeverComplete(false);
}

TEST_F(PacketPortTest, AnAdapterRemovedWhileItsFramesWaitTakesThemAlong)
{
    Create({MakeAdapter("A", 1), MakeAdapter("B", 2)});
    SetSendsPending(false);
    PortScanAdapters(m_port);
    tPortAdapter* a = PortFirstAdapter(m_port);
    std::vector<uint8_t> frame = Frame(9);
    // Gaps long enough that the removal comes before the second frame is due, however late.
    PortQueueFrame(a, frame.data(), frame.size(), 1000);
    for (uint8_t i = 1; i <= 5; ++i) {
        frame[21] = i;
        PortQueueFrame(a, frame.data(), frame.size(), 1000);
    }
    ASSERT_TRUE(Fail("A"));
    HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD which = 0;
    PortWait(m_port, &never, 1, &which, 100);
    EXPECT_EQ(1, PortAdapterCount(m_port));
    Sleep(1500);
    EXPECT_EQ(1u, Sent().size()) << "nothing of the removed adapter leaves after it is gone";
    CloseHandle(never);
}
