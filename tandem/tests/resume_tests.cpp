// Resumed downloads: the request text, the server sending a file's tail, the client appending
// it to the part already there, and the fall-back to the whole file against a peer that does
// not know the command (it closes the connection, as every peer does with unknown requests).
#include <gtest/gtest.h>

#include "common/thread.h"
#include "tandem/protocol.h"
#include "tandem/request_client.h"
#include "tandem/server_thread.h"
#include "tandem/tests/tandem_test_support.h"

using namespace tandemtest;

namespace {

class WinsockEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(m_winsock.Ok()); }

private:
    raii::CWinsockInit m_winsock;
};
::testing::Environment* const g_winsock = ::testing::AddGlobalTestEnvironment(new WinsockEnvironment);

TEST(ResumeRequestTest, OffsetAndPathTravelInTheArgument)
{
    std::string request = BuildResumeRequest("\\docs\\big.bin", 1234567890123LL);
    EXPECT_EQ(request, "resume:1234567890123:\\docs\\big.bin");
    tRequest parsed = ParseRequest(request);
    EXPECT_EQ(parsed.type, SERVER_JOB_RESUME);
    EXPECT_FALSE(parsed.quick) << "a resume is a download and counts as one";
    int64_t offset = 0;
    std::string path;
    ASSERT_TRUE(ParseResumeArgument(parsed.argument, offset, path));
    EXPECT_EQ(offset, 1234567890123LL);
    EXPECT_EQ(path, "\\docs\\big.bin");
    for (const char* bad : {"", "\\docs\\a", "-5:\\docs\\a", "x:\\docs\\a", ":\\docs\\a", "99999999999999999999:\\a"})
        EXPECT_FALSE(ParseResumeArgument(bad, offset, path)) << bad;
    EXPECT_EQ(ParseRequest("resumex:1:\\a").type, SERVER_JOB_UNKNOWN);
}

// A peer of an older kind: it knows "retrieve" only and closes every other connection unread.
class COldPeer {
public:
    COldPeer(unsigned short port, std::string content) : m_content(std::move(content))
    {
        m_listener.Attach(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = kLoopback;
        address.sin_port = htons(port);
        bind(m_listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
        listen(m_listener.Get(), 8);
        m_thread.Start([this](CThread& self) { Run(self); });
    }
    ~COldPeer() { m_thread.Stop(); }
    std::vector<std::string> Requests()
    {
        raii::CLock lock(m_lock);
        return m_requests;
    }

private:
    void Run(CThread& self)
    {
        while (!self.StopRequested()) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(m_listener.Get(), &readable);
            timeval wait = {0, 20000};
            if (select(0, &readable, nullptr, nullptr, &wait) <= 0)
                continue;
            raii::CSocket connection(accept(m_listener.Get(), nullptr, nullptr));
            u_long blocking = 0;
            ioctlsocket(connection.Get(), FIONBIO, &blocking);
            std::string header, payload;
            char c;
            while (recv(connection.Get(), &c, 1, 0) == 1 && c != ':')
                header += c;
            size_t length = static_cast<size_t>(atoi(header.c_str()));
            while (payload.size() < length && recv(connection.Get(), &c, 1, 0) == 1)
                payload += c;
            {
                raii::CLock lock(m_lock);
                m_requests.push_back(payload);
            }
            if (payload.compare(0, 9, "retrieve:") == 0)
                SendBytes(connection.Get(), std::to_string(m_content.size()) + ":" + m_content);
        }
    }

    std::string m_content;
    raii::CSocket m_listener;
    raii::CCriticalSection m_lock;
    std::vector<std::string> m_requests;
    CThread m_thread;
};

class ResumeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        limits.port = NextPort();
        content.reserve(3000000);
        for (int i = 0; content.size() < 3000000; ++i)
            content += std::to_string(i) + ",";
        target = shares.Root() + "\\got\\big.bin";
        CreateDirectoryA((shares.Root() + "\\got").c_str(), nullptr);
    }
    void TearDown() override
    {
        stop = true;
        if (client)
            client->Stop();
        if (server)
            server->Stop();
    }
    void StartServer()
    {
        std::string docs = shares.MakeFolder("docs");
        shares.WriteFile("docs\\big.bin", content);
        shares.Share("docs", docs);
        tServerLimits serverLimits;
        serverLimits.port = limits.port;
        server.reset(new CServerThread(&uploads, nullptr, nullptr, "desk", "1.0 ", stop, shares.Settings(), serverLimits));
        ASSERT_TRUE(WaitUntil([&] { return server->IsListening(); }, 5000));
    }

    tCancelFlag stop{false};
    tClientLimits limits;
    CShares shares;
    std::string content;
    std::string target;
    CRecorder results;
    CRecorder uploads;
    std::unique_ptr<CServerThread> server;
    std::unique_ptr<RequestClient> client;
};

TEST_F(ResumeTest, OnlyTheMissingTailIsSentAndAppended)
{
    StartServer();
    const size_t have = 1234567;
    testsupport::WriteFileText(target, content.substr(0, have));
    client.reset(new RequestClient(&results, &results, false, stop, limits));
    CRecorder::tEvent event;
    int id = client->RetrieveFrom(kLoopback, "\\docs\\big.bin", target, static_cast<int64_t>(have));
    ASSERT_TRUE(results.WaitFor("finished", id, event));
    EXPECT_TRUE(event.success);
    EXPECT_TRUE(testsupport::ReadFileText(target) == content);
    // The server's own count: the tail only (its progress is of the whole file).
    ASSERT_TRUE(uploads.WaitForCount("finished", 1));
    EXPECT_EQ(results.Count("finished"), 1u) << "one Finished, no second one from a fall-back";
}

TEST_F(ResumeTest, LocalBytesBeyondTheOffsetAreReplaced)
{
    StartServer();
    testsupport::WriteFileText(target, content.substr(0, 1000) + std::string(5000, '?'));
    client.reset(new RequestClient(&results, &results, false, stop, limits));
    CRecorder::tEvent event;
    int id = client->RetrieveFrom(kLoopback, "\\docs\\big.bin", target, 1000);
    ASSERT_TRUE(results.WaitFor("finished", id, event));
    EXPECT_TRUE(event.success);
    EXPECT_TRUE(testsupport::ReadFileText(target) == content);
}

TEST_F(ResumeTest, OffsetBeyondTheRemoteFileGetsNoReplyAndTheWholeFileFollows)
{
    StartServer();
    testsupport::WriteFileText(target, "short");
    client.reset(new RequestClient(&results, &results, false, stop, limits));
    CRecorder::tEvent event;
    int id = client->RetrieveFrom(kLoopback, "\\docs\\big.bin", target, static_cast<int64_t>(content.size()) + 10);
    ASSERT_TRUE(results.WaitFor("finished", id, event));
    EXPECT_TRUE(event.success);
    EXPECT_TRUE(testsupport::ReadFileText(target) == content);
}

TEST_F(ResumeTest, PeerWithoutTheCommandSendsTheWholeFileInstead)
{
    COldPeer peer(limits.port, content);
    testsupport::WriteFileText(target, content.substr(0, 500000));
    client.reset(new RequestClient(&results, &results, false, stop, limits));
    CRecorder::tEvent event;
    int id = client->RetrieveFrom(kLoopback, "\\docs\\big.bin", target, 500000);
    ASSERT_TRUE(results.WaitFor("finished", id, event));
    EXPECT_TRUE(event.success);
    EXPECT_TRUE(testsupport::ReadFileText(target) == content);
    std::vector<std::string> asked = peer.Requests();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0], "resume:500000:\\docs\\big.bin");
    EXPECT_EQ(asked[1], "retrieve:\\docs\\big.bin");
    EXPECT_EQ(results.Count("finished"), 1u);
}

TEST_F(ResumeTest, CancelledResumeKeepsWhatWasThere)
{
    StartServer();
    const size_t have = 100000;
    testsupport::WriteFileText(target, content.substr(0, have));
    client.reset(new RequestClient(&results, &results, false, stop, limits));
    tCancelHandle cancel = NewCancelFlag();
    *cancel = true;
    CRecorder::tEvent event;
    int id = client->RetrieveFrom(kLoopback, "\\docs\\big.bin", target, static_cast<int64_t>(have), cancel);
    ASSERT_TRUE(results.WaitFor("finished", id, event));
    EXPECT_FALSE(event.success);
    EXPECT_EQ(testsupport::ReadFileText(target), content.substr(0, have)) << "the part already there stays";
}

} // namespace
