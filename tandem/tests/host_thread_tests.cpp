#include <gtest/gtest.h>

#include "tandem/host_thread.h"
#include "tandem/server_thread.h"
#include "tandem/tests/tandem_test_support.h"

using namespace tandemtest;

namespace {

// Sends one datagram to 127.0.0.1:port. Under Wine a datagram socket bound to another loopback
// address still sends from 127.0.0.1, so every datagram of these tests comes from there.
void Datagram(unsigned short port, const std::string& bytes)
{
    raii::CSocket sender(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    sockaddr_in target = {};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = kLoopback;
    target.sin_port = htons(port);
    sendto(sender.Get(), bytes.data(), static_cast<int>(bytes.size()), 0, reinterpret_cast<const sockaddr*>(&target),
           sizeof target);
}

const std::string kAnnounce("announce", 9); // with its terminating zero

class DiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        options.announcePort = NextPort();
        options.requestPort = NextPort();
        // An interface without address: this host sends no announces of its own, and every
        // datagram from 127.0.0.1 is another host's.
        tInterfaceEntry none = {0, 0, 0xFFFFFFFF};
        interfaces.push_back(none);
    }
    void TearDown() override
    {
        stop = true;
        if (discovery)
            discovery->Stop();
        if (server)
            server->Stop();
    }
    void StartServer()
    {
        tServerLimits limits;
        limits.port = options.requestPort;
        server.reset(new CServerThread(nullptr, nullptr, nullptr, "peer", "1.0 x y ", serverStop, shares.Settings(),
                                       limits));
        ASSERT_TRUE(WaitUntil([&] { return server->IsListening(); }, 5000));
    }
    void StartDiscovery()
    {
        discovery.reset(new CHostThread(&events, interfaces, stop, options));
        ASSERT_TRUE(WaitUntil([&] { return discovery->IsListening(); }, 5000));
    }
    std::vector<uint32_t> Appeared()
    {
        std::vector<uint32_t> addresses;
        for (const auto& event : events.Events())
            if (event.what == "appeared")
                addresses.push_back(event.address);
        return addresses;
    }

    tDiscoveryOptions options;
    std::vector<tInterfaceEntry> interfaces;
    tCancelFlag stop{false};
    tCancelFlag serverStop{false};
    CShares shares;
    CRecorder events;
    std::unique_ptr<CServerThread> server;
    std::unique_ptr<CHostThread> discovery;
};

} // namespace

TEST_F(DiscoveryTest, AnAnnounceMakesAHostAppearOnceAndPingsItsServer)
{
    StartServer();
    StartDiscovery();
    Datagram(options.announcePort, kAnnounce);
    ASSERT_TRUE(events.WaitForCount("appeared", 1, 3000));
    CRecorder::tEvent appeared = events.Events()[0];
    EXPECT_EQ(kLoopback, appeared.address);
    EXPECT_EQ("", appeared.name);
    EXPECT_EQ(HOST_ANNOUNCED, appeared.kind);
    EXPECT_TRUE(WaitUntil([&] { return server->GetCounts().pings == 1; }, 3000)) << "the ping connection is up";
    Datagram(options.announcePort, kAnnounce);
    Datagram(options.announcePort, "announce and more words");
    Sleep(500);
    EXPECT_EQ(1u, events.Count("appeared")) << "a host already tracked raises nothing";
    EXPECT_EQ(1u, discovery->GetTrackedCount());
}

TEST_F(DiscoveryTest, TextAfterTheAnnounceWordDoesNotMatter)
{
    StartServer();
    StartDiscovery();
    Datagram(options.announcePort, "announce and more words");
    EXPECT_TRUE(events.WaitForCount("appeared", 1, 3000));
}

TEST_F(DiscoveryTest, OtherDatagramsRaiseNothing)
{
    StartServer();
    StartDiscovery();
    Datagram(options.announcePort, "hello");
    Datagram(options.announcePort, "announc");
    Datagram(options.announcePort, std::string("\0announce", 9));
    Datagram(options.announcePort, std::string(2000, 'a'));
    Sleep(500);
    EXPECT_EQ(0u, events.Events().size());
    Datagram(options.announcePort, kAnnounce);
    EXPECT_TRUE(events.WaitForCount("appeared", 1, 3000)) << "and it still listens";
}

TEST_F(DiscoveryTest, ItsOwnAnnouncesComeBackAndRaiseNothing)
{
    // Its interface is 127.0.0.1 itself: every announce it sends arrives from there.
    interfaces.clear();
    interfaces.push_back(tInterfaceEntry{kLoopback, 0xFFFFFFFF, kLoopback});
    options.announceMs = 200;
    StartServer();
    StartDiscovery();
    Sleep(1000);
    EXPECT_EQ(0u, events.Events().size());
}

TEST_F(DiscoveryTest, AHostWhoseServerEndsDisappearsWithinTwoSeconds)
{
    StartServer();
    StartDiscovery();
    discovery->HostSeen(LoopbackAddress(8), "by hand", HOST_ADDED);
    ASSERT_TRUE(WaitUntil([&] { return server->GetCounts().pings == 1; }, 3000));
    EXPECT_EQ("by hand", events.Events()[0].name);
    serverStop = true;
    DWORD start = GetTickCount();
    server->Stop();
    ASSERT_TRUE(events.WaitForCount("disappeared", 1, 5000));
    EXPECT_LT(GetTickCount() - start, 2000u);
    EXPECT_EQ(LoopbackAddress(8), events.Events().back().address);
    EXPECT_EQ(0u, discovery->GetTrackedCount());
}

TEST_F(DiscoveryTest, AHostWithoutServerAppearsAndGoesAgain)
{
    options.connectAttempts = 3;
    StartDiscovery();
    discovery->HostSeen(LoopbackAddress(9), "", HOST_ADDED);
    ASSERT_TRUE(events.WaitForCount("disappeared", 1, 5000));
    std::vector<CRecorder::tEvent> all = events.Events();
    ASSERT_EQ(2u, all.size());
    EXPECT_EQ("appeared", all[0].what) << "appeared comes first, before the connection is tried";
}

TEST_F(DiscoveryTest, AConnectionThatHangsGivesUpAtItsLimit)
{
    // A listener that never accepts, its queue filled: further connects are neither taken nor
    // refused, as with a host that has gone from the network.
    raii::CSocket listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = kLoopback;
    address.sin_port = htons(options.requestPort);
    ASSERT_EQ(0, bind(listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address));
    ASSERT_EQ(0, listen(listener.Get(), 1));
    std::vector<raii::CSocket> fillers;
    for (int i = 0; i < 4; ++i) {
        fillers.emplace_back(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        SetBlocking(fillers.back().Get(), false);
        connect(fillers.back().Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    }
    Sleep(200);
    options.connectMs = 800;
    StartDiscovery();
    DWORD start = GetTickCount();
    discovery->HostSeen(kLoopback, "", HOST_ADDED);
    ASSERT_TRUE(events.WaitForCount("disappeared", 1, 8000));
    EXPECT_LT(GetTickCount() - start, 4000u);
}

TEST_F(DiscoveryTest, ForgettingAHostRaisesDisappearedAtOnceAndItComesBackWhenHeard)
{
    StartServer();
    StartDiscovery();
    Datagram(options.announcePort, kAnnounce);
    ASSERT_TRUE(events.WaitForCount("appeared", 1, 3000));
    discovery->ForgetHost(kLoopback);
    EXPECT_EQ(1u, events.Count("disappeared")) << "raised on the caller's thread before returning";
    EXPECT_FALSE(discovery->IsTracked(kLoopback));
    discovery->ForgetHost(kLoopback);
    EXPECT_EQ(1u, events.Count("disappeared")) << "an untracked host raises nothing";
    Datagram(options.announcePort, kAnnounce);
    EXPECT_TRUE(events.WaitForCount("appeared", 2, 3000));
    Sleep(300);
    EXPECT_EQ(1u, events.Count("disappeared")) << "the forgotten ping ended without a second event";
}

TEST_F(DiscoveryTest, StoppingWithHostsPingingRaisesNothing)
{
    StartServer();
    StartDiscovery();
    discovery->HostSeen(LoopbackAddress(12), "", HOST_ADDED);
    discovery->HostSeen(LoopbackAddress(13), "", HOST_ADDED);
    ASSERT_TRUE(WaitUntil([&] { return server->GetCounts().pings == 2; }, 3000));
    stop = true;
    DWORD start = GetTickCount();
    discovery->Stop();
    EXPECT_LT(GetTickCount() - start, 2000u);
    EXPECT_EQ(0u, events.Count("disappeared"));
    discovery->HostSeen(LoopbackAddress(14), "", HOST_ADDED);
    EXPECT_EQ(2u, events.Count("appeared")) << "nothing starts after Stop";
}

TEST_F(DiscoveryTest, ForgedAnnouncesStartABoundedNumberOfPings)
{
    options.announcedHosts = 3;
    StartServer();
    StartDiscovery();
    // As the broadcast thread calls it for announces from ten different senders.
    for (int i = 20; i < 30; ++i)
        discovery->HostSeen(LoopbackAddress(i), "", HOST_ANNOUNCED);
    ASSERT_TRUE(events.WaitForCount("appeared", 3, 3000));
    Sleep(500);
    EXPECT_EQ(3u, events.Count("appeared"));
    EXPECT_EQ(3u, discovery->GetTrackedCount());
    discovery->HostSeen(LoopbackAddress(40), "typed", HOST_ADDED);
    EXPECT_EQ(4u, events.Count("appeared")) << "a host the user adds is always tracked";
}
