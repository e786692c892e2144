// The shared options service on loopback, without root: the service listens on 127.0.0.1 on
// ports of its own, and so does the peer it fetches from. Requesters connect from other
// loopback addresses (127.0.0.x). Datagrams all come from 127.0.0.1: Wine sends every datagram
// of a socket bound to a loopback address from 127.0.0.1, so tests with several proclaiming
// senders run in namespaces (tests/integration/shared_options_test.py).
#include <gtest/gtest.h>

#include <ws2tcpip.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "common/raii.h"
#include "common/tests/test_support.h"
#include "common/thread.h"
#include "monitor/fetch_schedule.h"
#include "monitor/shared_options.h"

using raii::CSocket;
using testsupport::WaitFor;

namespace {

class WinsockEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(m_winsock.Ok()); }

private:
    raii::CWinsockInit m_winsock;
};
::testing::Environment* const g_winsock = ::testing::AddGlobalTestEnvironment(new WinsockEnvironment);

uint32_t Address(const char* dotted)
{
    in_addr a = {};
    inet_pton(AF_INET, dotted, &a);
    return a.s_addr;
}

sockaddr_in Endpoint(uint32_t address, unsigned short port)
{
    sockaddr_in e = {};
    e.sin_family = AF_INET;
    e.sin_addr.s_addr = address;
    e.sin_port = htons(port);
    return e;
}

unsigned short PortOf(SOCKET s)
{
    sockaddr_in local = {};
    int size = sizeof local;
    getsockname(s, reinterpret_cast<sockaddr*>(&local), &size);
    return ntohs(local.sin_port);
}

// Stands in for the monitor: serves a fixed text and records what it is handed.
class CFakeHost : public IOptionsHost {
public:
    std::string BuildSharedOptions() override
    {
        raii::CLock lock(m_lock);
        ++m_builds;
        return m_served;
    }
    void DispatchShareableOptions(const std::string& text) override
    {
        raii::CLock lock(m_lock);
        m_received.push_back(text);
    }
    int ProclamationId() override { return id; }

    void Serve(const std::string& text)
    {
        raii::CLock lock(m_lock);
        m_served = text;
    }
    std::vector<std::string> Received()
    {
        raii::CLock lock(m_lock);
        return m_received;
    }
    int Builds()
    {
        raii::CLock lock(m_lock);
        return m_builds;
    }

    std::atomic<int> id{-1};

private:
    raii::CCriticalSection m_lock;
    std::string m_served;
    std::vector<std::string> m_received;
    int m_builds = 0;
};

// Another monitor: proclaims to the service and answers its fetches, with its text or with the
// start of one and then nothing.
class CFakePeer {
public:
    enum tMode { kServe, kTrickle };

    CFakePeer(unsigned short& port, tMode mode = kServe, std::string text = std::string())
        : m_address(Address("127.0.0.1")), m_mode(mode), m_text(std::move(text))
    {
        m_datagram.Attach(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
        sockaddr_in local = Endpoint(m_address, 0);
        bound = bind(m_datagram.Get(), reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
        m_listener.Attach(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        local = Endpoint(m_address, port);
        bound = bound && bind(m_listener.Get(), reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
                listen(m_listener.Get(), 8) == 0;
        if (bound && port == 0)
            port = PortOf(m_listener.Get());
        if (bound)
            m_thread.Start([this](CThread& self) { Listen(self); });
    }
    ~CFakePeer() { m_thread.Stop(); }

    void Proclaim(const std::string& bytes, unsigned short port)
    {
        sockaddr_in target = Endpoint(Address("127.0.0.1"), port);
        sendto(m_datagram.Get(), bytes.data(), static_cast<int>(bytes.size()), 0,
               reinterpret_cast<sockaddr*>(&target), sizeof target);
    }

    bool bound = false;
    std::atomic<int> fetches{0};
    std::atomic<DWORD> closedAt{0}; // when the service closed a trickled fetch

private:
    void Listen(CThread& self)
    {
        std::vector<CSocket> held;
        while (!self.StopRequested()) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(m_listener.Get(), &readable);
            for (CSocket& c : held)
                FD_SET(c.Get(), &readable);
            timeval wait = {0, 20000};
            if (select(0, &readable, nullptr, nullptr, &wait) <= 0)
                continue;
            for (CSocket& c : held)
                if (c && FD_ISSET(c.Get(), &readable)) {
                    char byte;
                    if (recv(c.Get(), &byte, 1, 0) <= 0) {
                        closedAt = GetTickCount();
                        c.Close();
                    }
                }
            if (!FD_ISSET(m_listener.Get(), &readable))
                continue;
            CSocket connection(accept(m_listener.Get(), nullptr, nullptr));
            if (!connection)
                continue;
            ++fetches;
            if (m_mode == kServe) {
                std::string framed = std::to_string(m_text.size()) + ":" + m_text;
                send(connection.Get(), framed.data(), static_cast<int>(framed.size()), 0);
            } else {
                // The first bytes at once, the rest never: the service's receive must give up.
                send(connection.Get(), "100:ab", 6, 0);
                held.push_back(std::move(connection));
            }
        }
    }

    uint32_t m_address;
    tMode m_mode;
    std::string m_text;
    CSocket m_datagram;
    CSocket m_listener;
    CThread m_thread;
};

std::string Proclamation(const std::string& id)
{
    return std::string("watchpost_sharedoptions\0", 24) + id + std::string(1, '\0');
}
const std::string kTagOnly("watchpost_sharedoptions\0", 24);

// The service on 127.0.0.1, which is also its own interface; that interface's "broadcast
// address" is 127.0.0.4, where the test listens for proclamations.
class OptionsServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_broadcasts.Attach(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
        sockaddr_in local = Endpoint(Address("127.0.0.4"), 0);
        ASSERT_EQ(0, bind(m_broadcasts.Get(), reinterpret_cast<sockaddr*>(&local), sizeof local));
        u_long nonBlocking = 1;
        ioctlsocket(m_broadcasts.Get(), FIONBIO, &nonBlocking);
    }

    void StartService()
    {
        tOptionsEndpoints endpoints;
        endpoints.bindAddress = Address("127.0.0.1");
        endpoints.proclamationPort = 0;
        endpoints.requestPort = 0;
        endpoints.peerProclamationPort = PortOf(m_broadcasts.Get());
        endpoints.peerRequestPort = m_peerPort;
        endpoints.interfaces = [](std::vector<tInterfaceEntry>& list) {
            list = {tInterfaceEntry{Address("127.0.0.1"), Address("255.0.0.0"), Address("127.0.0.4")}};
            return true;
        };
        m_service.reset(new COptionsService(m_host, endpoints));
        m_service->Start();
        ASSERT_TRUE(m_service->ProclamationsBound());
        ASSERT_TRUE(m_service->RequestsBound());
    }
    void TearDown() override { m_service.reset(); }

    unsigned short UdpPort() const { return m_service->LocalProclamationPort(); }

    // Asks the service for its options from a loopback address; the whole reply.
    std::string Request(const char* from)
    {
        CSocket c(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in local = Endpoint(Address(from), 0);
        sockaddr_in service = Endpoint(Address("127.0.0.1"), m_service->LocalRequestPort());
        if (bind(c.Get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
            connect(c.Get(), reinterpret_cast<sockaddr*>(&service), sizeof service) != 0)
            return "(no connection)";
        DWORD timeout = 10000;
        setsockopt(c.Get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
        std::string reply;
        std::vector<char> buffer(1 << 16);
        int n;
        while ((n = recv(c.Get(), buffer.data(), static_cast<int>(buffer.size()), 0)) > 0)
            reply.append(buffer.data(), n);
        return reply;
    }

    std::vector<std::string> ReceiveBroadcasts()
    {
        std::vector<std::string> datagrams;
        char buffer[256];
        int n;
        while ((n = recv(m_broadcasts.Get(), buffer, sizeof buffer, 0)) > 0)
            datagrams.emplace_back(buffer, n);
        return datagrams;
    }

    CFakeHost m_host;
    unsigned short m_peerPort = 0; // the first peer made chooses it
    CSocket m_broadcasts;
    std::unique_ptr<COptionsService> m_service;
};

} // namespace

TEST_F(OptionsServiceTest, RepeatedIdsAreFetchedOnceAndNewIdsAgain)
{
    CFakePeer peer(m_peerPort, CFakePeer::kServe, "plexa.dll:00;");
    ASSERT_TRUE(peer.bound);
    StartService();

    // Not proclamations: no tag, a tag without a zero byte, the wrong tag, an empty datagram.
    for (const std::string& junk : {std::string("no zero byte"), std::string("watchpost_sharedoptions"),
                                     std::string("watchpost_sharedoption\0" "1\0", 25), std::string(3, '\0')})
        peer.Proclaim(junk, UdpPort());
    for (int i = 0; i < 3; ++i)
        peer.Proclaim(Proclamation("7"), UdpPort());
    ASSERT_TRUE(WaitFor([&] { return m_host.Received().size() == 1; }, 5000));
    EXPECT_EQ("plexa.dll:00;", m_host.Received()[0]);
    Sleep(1500);
    EXPECT_EQ(1, peer.fetches.load()) << "repetitions of an id ask for nothing";
    EXPECT_EQ(1u, m_host.Received().size());

    peer.Proclaim(Proclamation("8"), UdpPort());
    peer.Proclaim(Proclamation("8"), UdpPort());
    EXPECT_TRUE(WaitFor([&] { return m_host.Received().size() == 2; }, 5000)) << "a new id is fetched again";
    Sleep(1500);
    EXPECT_EQ(2, peer.fetches.load());
}

// Without an id there is nothing to remember: each one asks again, but a sender is fetched
// from at most once a second, and a burst is folded into one more fetch.
TEST_F(OptionsServiceTest, TagOnlyDatagramsAskEveryTimeAtMostOncePerSecond)
{
    CFakePeer peer(m_peerPort, CFakePeer::kServe, "x");
    StartService();
    peer.Proclaim(kTagOnly, UdpPort());
    ASSERT_TRUE(WaitFor([&] { return m_host.Received().size() == 1; }, 5000));
    Sleep(1100);
    peer.Proclaim(kTagOnly, UdpPort());
    ASSERT_TRUE(WaitFor([&] { return m_host.Received().size() == 2; }, 5000));

    Sleep(1100);
    for (int i = 0; i < 10; ++i)
        peer.Proclaim(kTagOnly, UdpPort());
    EXPECT_TRUE(WaitFor([&] { return m_host.Received().size() == 4; }, 6000));
    Sleep(1500); // and no more after that
    EXPECT_EQ(4u, m_host.Received().size()) << "ten at once: one fetch now, one when the second is up";
    EXPECT_EQ(4, peer.fetches.load());
}

// The own interfaces are known from the first kickstart on; before that, even their datagrams
// are heard.
TEST_F(OptionsServiceTest, OwnInterfaceDatagramsAreIgnoredOnceKnown)
{
    CFakePeer own(m_peerPort, CFakePeer::kServe, "own");
    m_host.Serve("served");
    StartService();
    own.Proclaim(Proclamation("1"), UdpPort());
    ASSERT_TRUE(WaitFor([&] { return own.fetches == 1; }, 5000));

    m_host.id = 4242;
    std::vector<std::string> sent;
    WaitFor([&] {
        for (const std::string& d : ReceiveBroadcasts())
            sent.push_back(d);
        return sent.size() >= 3;
    }, 5000);
    ASSERT_EQ(3u, sent.size()) << "a kickstart proclaims three times";
    for (const std::string& d : sent)
        EXPECT_EQ(Proclamation("4242"), d);

    own.Proclaim(Proclamation("2"), UdpPort());
    own.Proclaim(kTagOnly, UdpPort());
    Sleep(1500);
    EXPECT_EQ(1, own.fetches.load()) << "datagrams from an own interface ask for nothing";
    EXPECT_TRUE(ReceiveBroadcasts().empty()) << "three, not more";
    EXPECT_EQ("6:served", Request("127.0.0.3")) << "requests are still answered";
}

// A requester that does not read holds a worker until the send's deadline; one address gets at
// most two requests at a time, and others are served meanwhile.
TEST_F(OptionsServiceTest, RequestsAreServedWhileAnotherPeerDoesNotRead)
{
    std::string big(8 * 1024 * 1024, 'A');
    m_host.Serve(big);
    StartService();
    sockaddr_in service = Endpoint(Address("127.0.0.1"), m_service->LocalRequestPort());

    std::vector<CSocket> stalled;
    for (int i = 0; i < 3; ++i) {
        CSocket c(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        int small = 1024;
        setsockopt(c.Get(), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&small), sizeof small);
        sockaddr_in local = Endpoint(Address("127.0.0.6"), 0);
        bind(c.Get(), reinterpret_cast<sockaddr*>(&local), sizeof local);
        ASSERT_EQ(0, connect(c.Get(), reinterpret_cast<sockaddr*>(&service), sizeof service));
        stalled.push_back(std::move(c));
        if (i < 2) {
            ASSERT_TRUE(WaitFor([&] { return m_host.Builds() == i + 1; }, 3000));
        }
    }
    Sleep(300);
    EXPECT_EQ(2, m_host.Builds()) << "the third request of one address is not served";

    // The first two stalled requests are being served: their connections are alive. Looked
    // at before the other request, which on a slow machine may outlast the serve's deadline.
    for (int i = 0; i < 2; ++i) {
        u_long pending = 0;
        ioctlsocket(stalled[i].Get(), FIONREAD, &pending);
        EXPECT_GT(pending, 0u) << "request " << i;
        char byte;
        EXPECT_EQ(1, recv(stalled[i].Get(), &byte, 1, 0)) << "request " << i;
    }

    EXPECT_TRUE(Request("127.0.0.7") == std::to_string(big.size()) + ":" + big) << "another address is served";

    // The third was closed at once, with nothing sent.
    char byte;
    EXPECT_LE(recv(stalled[2].Get(), &byte, 1, 0), 0);
}

TEST_F(OptionsServiceTest, StopEndsHeldWorkAtOnceAndClosesThePorts)
{
    CFakePeer slow(m_peerPort, CFakePeer::kTrickle);
    StartService();
    unsigned short requestPort = m_service->LocalRequestPort();
    slow.Proclaim(Proclamation("1"), UdpPort());
    ASSERT_TRUE(WaitFor([&] { return slow.fetches == 1; }, 5000));
    Sleep(200);
    DWORD start = GetTickCount();
    m_service->Stop();
    DWORD took = GetTickCount() - start;
    EXPECT_LT(took, 2000u) << "a held fetch ends with the service, not at its deadline";
    EXPECT_FALSE(m_service->RequestsBound());
    EXPECT_TRUE(WaitFor([&] { return slow.closedAt != 0; }, 1000)) << "the held connection is closed";

    CSocket probe(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in service = Endpoint(Address("127.0.0.1"), requestPort);
    EXPECT_NE(0, connect(probe.Get(), reinterpret_cast<sockaddr*>(&service), sizeof service));
}

TEST(FetchSchedule, OneFetchPerSenderAtATimeAndPerInterval)
{
    CFetchSchedule schedule(1000, 4);
    EXPECT_EQ(CFetchSchedule::kFetchNow, schedule.Request(1, 5000));
    EXPECT_EQ(CFetchSchedule::kFetchNow, schedule.Request(2, 5000)) << "senders are independent";
    EXPECT_EQ(CFetchSchedule::kFolded, schedule.Request(1, 5100)) << "under way";
    EXPECT_EQ(CFetchSchedule::kFolded, schedule.Request(1, 5200));
    schedule.Finished(1);
    EXPECT_TRUE(schedule.Due(5999).empty()) << "not before the interval is up";
    EXPECT_EQ(std::vector<uint32_t>{1}, schedule.Due(6000)) << "what was folded is fetched once";
    EXPECT_TRUE(schedule.Due(9000).empty()) << "still fetching";
    schedule.Finished(1);
    EXPECT_TRUE(schedule.Due(9000).empty()) << "nothing more was asked for";

    EXPECT_EQ(CFetchSchedule::kFetchNow, schedule.Request(1, 9000)) << "after a quiet interval, at once";
    schedule.Finished(1);
    EXPECT_EQ(CFetchSchedule::kFolded, schedule.Request(1, 9500)) << "finished, but too recent";
    EXPECT_EQ(std::vector<uint32_t>{1}, schedule.Due(10000));
    schedule.Postpone(1); // no room to start it
    EXPECT_TRUE(schedule.Due(10500).empty());
    EXPECT_EQ(std::vector<uint32_t>{1}, schedule.Due(11000)) << "a postponed fetch comes again";

    // Ticks wrap after 49 days.
    CFetchSchedule wrapping(1000, 4);
    EXPECT_EQ(CFetchSchedule::kFetchNow, wrapping.Request(7, 0xFFFFFF00u));
    wrapping.Finished(7);
    EXPECT_EQ(CFetchSchedule::kFolded, wrapping.Request(7, 0x100u));
    EXPECT_EQ(std::vector<uint32_t>{7}, wrapping.Due(0x300u));
}

TEST(FetchSchedule, RemembersABoundedNumberOfSenders)
{
    CFetchSchedule schedule(1000, 3);
    for (uint32_t sender = 1; sender <= 3; ++sender)
        EXPECT_EQ(CFetchSchedule::kFetchNow, schedule.Request(sender, 0));
    EXPECT_EQ(CFetchSchedule::kRefused, schedule.Request(4, 100)) << "all three are fetching";
    schedule.Finished(1);
    schedule.Finished(2);
    EXPECT_EQ(CFetchSchedule::kFolded, schedule.Request(2, 200));
    EXPECT_EQ(CFetchSchedule::kRefused, schedule.Request(4, 500)) << "none is quiet for an interval yet";
    EXPECT_EQ(CFetchSchedule::kFetchNow, schedule.Request(4, 1500)) << "sender 1 is forgotten";
    EXPECT_EQ(3u, schedule.Senders());
    EXPECT_EQ(std::vector<uint32_t>{2}, schedule.Due(1500)) << "a folded fetch is never forgotten";
}
