#include <gtest/gtest.h>

#include <set>

#include "common/thread.h"
#include "tandem/request_client.h"
#include "tandem/server_thread.h"
#include "tandem/share_files.h"
#include "tandem/tests/tandem_test_support.h"

using namespace tandemtest;

namespace {

// A server that takes requests and answers only when told, so that the client's limits and
// order show.
class CHoldingServer {
public:
    explicit CHoldingServer(unsigned short port)
    {
        m_listener.Attach(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = kLoopback;
        address.sin_port = htons(port);
        bind(m_listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
        listen(m_listener.Get(), 64);
        m_thread.Start([this](CThread& self) { Run(self); });
    }
    ~CHoldingServer() { m_thread.Stop(); }

    size_t Count()
    {
        raii::CLock lock(m_lock);
        return m_held.size();
    }
    std::string Request(size_t index)
    {
        raii::CLock lock(m_lock);
        return index < m_held.size() ? m_held[index].second : std::string();
    }
    std::vector<std::string> Requests()
    {
        raii::CLock lock(m_lock);
        std::vector<std::string> requests;
        for (const auto& held : m_held)
            requests.push_back(held.second);
        return requests;
    }
    // Sends the bytes; closes the connection unless asked to keep it.
    void Reply(size_t index, const std::string& bytes, bool keepOpen = false)
    {
        raii::CLock lock(m_lock);
        SendBytes(m_held[index].first.Get(), bytes);
        if (!keepOpen)
            m_held[index].first.Close();
    }
    bool WaitForCount(size_t count, DWORD timeoutMs = 5000)
    {
        return WaitUntil([&] { return Count() >= count; }, timeoutMs);
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
            if (!connection)
                continue;
            u_long blocking = 0;
            ioctlsocket(connection.Get(), FIONBIO, &blocking);
            DWORD timeout = 2000;
            setsockopt(connection.Get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                       sizeof timeout);
            std::string header, payload;
            char c;
            while (recv(connection.Get(), &c, 1, 0) == 1 && c != ':')
                header += c;
            size_t length = static_cast<size_t>(atoi(header.c_str()));
            while (payload.size() < length && recv(connection.Get(), &c, 1, 0) == 1)
                payload += c;
            raii::CLock lock(m_lock);
            m_held.emplace_back(std::move(connection), payload);
        }
    }

    raii::CSocket m_listener;
    raii::CCriticalSection m_lock;
    std::vector<std::pair<raii::CSocket, std::string>> m_held;
    CThread m_thread;
};

class ClientTest : public ::testing::Test {
protected:
    void SetUp() override { limits.port = NextPort(); }
    void TearDown() override
    {
        if (client)
            client->Stop();
    }
    void Start(bool askForOs = false) { client.reset(new RequestClient(&results, &results, askForOs, stop, limits)); }

    tCancelFlag stop{false};
    CRecorder results;
    tClientLimits limits;
    std::unique_ptr<RequestClient> client;
};

class ClientWithServerTest : public ClientTest {
protected:
    void SetUp() override
    {
        ClientTest::SetUp();
        docs = shares.MakeFolder("docs");
        shares.WriteFile("docs\\a.txt", "hello");
        content = std::string(2500000, 'x') + "end";
        shares.WriteFile("docs\\sub\\b.bin", content);
        shares.Share("docs", docs);
        tServerLimits serverLimits;
        serverLimits.port = limits.port;
        server.reset(new CServerThread(nullptr, nullptr, nullptr, "desk", "1.0 09:05:03 07.02.26 ", stop,
                                       shares.Settings(), serverLimits));
        ASSERT_TRUE(WaitUntil([&] { return server->IsListening(); }, 5000));
    }
    void TearDown() override
    {
        ClientTest::TearDown();
        server->Stop();
    }

    CShares shares;
    std::string docs;
    std::string content;
    std::unique_ptr<CServerThread> server;
};

} // namespace

TEST_F(ClientWithServerTest, ListsDescribesAndDownloads)
{
    Start();
    CRecorder::tEvent event;
    int expand = client->Expand(kLoopback, "\\docs\\");
    ASSERT_TRUE(results.WaitFor("expand", expand, event));
    EXPECT_TRUE(event.success);
    ASSERT_EQ(2u, event.items.size());

    int info = client->GetHostInfo(kLoopback);
    ASSERT_TRUE(results.WaitFor("hostinfo", info, event));
    EXPECT_EQ("desk", event.info.name);
    EXPECT_EQ("1.0", event.info.version);
    EXPECT_EQ("09:05:03", event.info.buildTime);
    EXPECT_EQ("07.02.26", event.info.buildDate);
    EXPECT_EQ("", event.info.os);

    std::string target = shares.Root() + "\\downloads\\new\\b.bin";
    int retrieve = client->Retrieve(kLoopback, "\\docs\\sub\\b.bin", target);
    ASSERT_TRUE(results.WaitFor("finished", retrieve, event));
    EXPECT_TRUE(event.success);
    EXPECT_TRUE(results.WaitFor("started", retrieve, event));
    EXPECT_TRUE(testsupport::ReadFileText(target) == content) << "missing folders were created";
}

TEST_F(ClientWithServerTest, AsksForTheOperatingSystemWhenTold)
{
    Start(true);
    CRecorder::tEvent event;
    int info = client->GetHostInfo(kLoopback);
    ASSERT_TRUE(results.WaitFor("hostinfo", info, event));
    EXPECT_EQ(0u, event.info.os.find("Win"));
}

TEST_F(ClientWithServerTest, AMissingFileFailsAndLeavesNothing)
{
    Start();
    std::string target = shares.Root() + "\\missing.txt";
    CRecorder::tEvent event;
    int retrieve = client->Retrieve(kLoopback, "\\docs\\missing.txt", target);
    ASSERT_TRUE(results.WaitFor("finished", retrieve, event));
    EXPECT_FALSE(event.success);
    EXPECT_FALSE(testsupport::FileExists(target));
}

TEST_F(ClientTest, AHostThatCannotBeReachedFailsEveryJob)
{
    limits.connectAttempts = 2;
    Start();
    CRecorder::tEvent event;
    int expand = client->Expand(kLoopback, "\\");
    int info = client->GetHostInfo(kLoopback);
    int retrieve = client->Retrieve(kLoopback, "\\docs\\a.txt", "C:\\unused.txt");
    ASSERT_TRUE(results.WaitFor("expand", expand, event));
    EXPECT_FALSE(event.success);
    ASSERT_TRUE(results.WaitFor("finished", retrieve, event));
    EXPECT_FALSE(event.success);
    Sleep(200);
    EXPECT_FALSE(results.WaitFor("hostinfo", info, event, 0)) << "host info reports only what arrived";
}

TEST_F(ClientTest, NamesThatCouldLeaveAFolderAreDroppedFromListings)
{
    CHoldingServer peer(limits.port);
    Start();
    int expand = client->Expand(kLoopback, "\\share\\");
    ASSERT_TRUE(peer.WaitForCount(1));
    std::string listing = "ok\\0\\1\\..\\1\\0\\a/b\\0\\1\\x.\\0\\2\\C:y\\0\\1\\nul.txt\\0\\1\\sub\\1\\0";
    peer.Reply(0, std::to_string(listing.size()) + ":" + listing);
    CRecorder::tEvent event;
    ASSERT_TRUE(results.WaitFor("expand", expand, event));
    ASSERT_EQ(2u, event.items.size());
    EXPECT_EQ("ok", event.items[0].name);
    EXPECT_EQ("sub", event.items[1].name);
}

TEST_F(ClientTest, TheNewestListingGoesFirstOnceTenRun)
{
    CHoldingServer peer(limits.port);
    Start();
    for (int i = 0; i < 10; ++i)
        client->Expand(kLoopback, "\\h" + std::to_string(i) + "\\");
    ASSERT_TRUE(peer.WaitForCount(10));
    for (const char* name : {"\\q1\\", "\\q2\\", "\\q3\\"})
        client->Expand(kLoopback, name);
    Sleep(300);
    EXPECT_EQ(10u, peer.Count()) << "ten listings run at most";
    EXPECT_EQ(3, client->GetCounts().quickQueued);
    peer.Reply(0, "0:");
    ASSERT_TRUE(peer.WaitForCount(11));
    EXPECT_EQ("expand:\\q3\\", peer.Request(10));
    peer.Reply(1, "0:");
    ASSERT_TRUE(peer.WaitForCount(12));
    EXPECT_EQ("expand:\\q2\\", peer.Request(11));
}

TEST_F(ClientTest, DownloadsWaitAtFiveWithoutHoldingUpListings)
{
    CHoldingServer peer(limits.port);
    testsupport::CTempDir target;
    Start();
    for (int i = 0; i < 6; ++i)
        client->Retrieve(kLoopback, "\\s\\f" + std::to_string(i), target.File("f" + std::to_string(i)));
    ASSERT_TRUE(peer.WaitForCount(5));
    Sleep(300);
    EXPECT_EQ(5u, peer.Count());
    client->Expand(kLoopback, "\\s\\");
    ASSERT_TRUE(peer.WaitForCount(6)) << "a listing while five downloads run";
    EXPECT_EQ("expand:\\s\\", peer.Request(5));
    std::set<std::string> first;
    for (size_t i = 0; i < 5; ++i)
        first.insert(peer.Request(i));
    // Started in the order asked; their connections race each other.
    EXPECT_EQ((std::set<std::string>{"retrieve:\\s\\f0", "retrieve:\\s\\f1", "retrieve:\\s\\f2", "retrieve:\\s\\f3",
                                     "retrieve:\\s\\f4"}),
              first);
    peer.Reply(0, "0:");
    ASSERT_TRUE(peer.WaitForCount(7));
    EXPECT_EQ("retrieve:\\s\\f5", peer.Request(6));
}

TEST_F(ClientTest, ACancelledQueuedDownloadFailsWithoutConnecting)
{
    CHoldingServer peer(limits.port);
    testsupport::CTempDir target;
    Start();
    for (int i = 0; i < 5; ++i)
        client->Retrieve(kLoopback, "\\s\\run" + std::to_string(i), target.File("r" + std::to_string(i)));
    ASSERT_TRUE(peer.WaitForCount(5));
    tCancelHandle first = NewCancelFlag(), second = NewCancelFlag();
    int dropped = client->Retrieve(kLoopback, "\\s\\dropped", target.File("dropped"), first);
    client->Retrieve(kLoopback, "\\s\\kept", target.File("kept"), second);
    *first = true;
    CRecorder::tEvent event;
    ASSERT_TRUE(results.WaitFor("finished", dropped, event, 2000));
    EXPECT_FALSE(event.success);
    EXPECT_FALSE(results.WaitFor("started", dropped, event, 0));
    for (size_t i = 0; i < 5; ++i)
        peer.Reply(i, "0:");
    ASSERT_TRUE(peer.WaitForCount(6)) << "the other queued download runs";
    EXPECT_EQ("retrieve:\\s\\kept", peer.Request(5));
    for (const std::string& request : peer.Requests())
        EXPECT_EQ(std::string::npos, request.find("dropped")) << request;
    tClientJobInfo info;
    EXPECT_FALSE(client->GetJobInfo(dropped, info));
}

TEST_F(ClientTest, CancellingARunningDownloadDeletesThePartialFile)
{
    CHoldingServer peer(limits.port);
    testsupport::CTempDir target;
    Start();
    tCancelHandle cancel = NewCancelFlag();
    std::string file = target.File("partial.bin");
    int retrieve = client->Retrieve(kLoopback, "\\s\\big", file, cancel);
    ASSERT_TRUE(peer.WaitForCount(1));
    peer.Reply(0, "1000000:" + std::string(5000, 'p'), true);
    CRecorder::tEvent event;
    ASSERT_TRUE(results.WaitFor("started", retrieve, event));
    // The receive holds the file open to itself: its size is read from the directory.
    auto size = [&] {
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        return GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow : 0u;
    };
    ASSERT_TRUE(WaitUntil([&] { return size() == 5000; }, 3000));
    DWORD start = GetTickCount();
    *cancel = true;
    ASSERT_TRUE(results.WaitFor("finished", retrieve, event, 3000));
    EXPECT_FALSE(event.success);
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_FALSE(testsupport::FileExists(file));
}

TEST_F(ClientTest, ADownloadWhosePeerStallsFails)
{
    limits.transferStallMs = 1500;
    CHoldingServer peer(limits.port);
    testsupport::CTempDir target;
    Start();
    std::string file = target.File("stalled.bin");
    int retrieve = client->Retrieve(kLoopback, "\\s\\big", file);
    ASSERT_TRUE(peer.WaitForCount(1));
    peer.Reply(0, "1000000:" + std::string(100, 'p'), true);
    CRecorder::tEvent event;
    ASSERT_TRUE(results.WaitFor("finished", retrieve, event, 6000));
    EXPECT_FALSE(event.success);
    EXPECT_FALSE(testsupport::FileExists(file));
}

TEST_F(ClientTest, AListingThatNeverComesFails)
{
    limits.quickReplyMs = 500;
    CHoldingServer peer(limits.port);
    Start();
    DWORD start = GetTickCount();
    int expand = client->Expand(kLoopback, "\\s\\");
    CRecorder::tEvent event;
    ASSERT_TRUE(results.WaitFor("expand", expand, event, 5000));
    EXPECT_FALSE(event.success);
    EXPECT_LT(GetTickCount() - start, 2500u);
}

TEST_F(ClientTest, JobInfoCoversQueuedAndRunningJobs)
{
    CHoldingServer peer(limits.port);
    Start();
    int first = client->Retrieve(kLoopback, "\\s\\a", "C:\\t\\a");
    EXPECT_EQ(kFirstClientJobId, first);
    for (int i = 0; i < 4; ++i)
        client->Retrieve(kLoopback, "\\s\\x", "C:\\t\\x");
    int queued = client->Retrieve(kLoopback, "\\s\\q", "C:\\t\\q");
    EXPECT_EQ(first + 5, queued);
    ASSERT_TRUE(peer.WaitForCount(5));
    tClientJobInfo info;
    ASSERT_TRUE(client->GetJobInfo(first, info));
    EXPECT_EQ(CLIENT_JOB_RETRIEVE, info.type);
    EXPECT_EQ("\\s\\a", info.remotePath);
    EXPECT_EQ("C:\\t\\a", info.localPath);
    ASSERT_TRUE(client->GetJobInfo(queued, info));
    EXPECT_EQ("\\s\\q", info.remotePath);
    EXPECT_FALSE(client->GetJobInfo(first + 100, info));
}

TEST_F(ClientTest, AFullListingQueueDropsItsOldestEntry)
{
    limits.quickJobs = 1;
    limits.quickQueue = 2;
    CHoldingServer peer(limits.port);
    Start();
    client->Expand(kLoopback, "\\running\\");
    ASSERT_TRUE(peer.WaitForCount(1));
    int oldest = client->Expand(kLoopback, "\\a\\");
    client->Expand(kLoopback, "\\b\\");
    client->Expand(kLoopback, "\\c\\");
    CRecorder::tEvent event;
    ASSERT_TRUE(results.WaitFor("expand", oldest, event, 2000));
    EXPECT_FALSE(event.success) << "reported as failed, so that it can be asked for again";
    EXPECT_EQ(2, client->GetCounts().quickQueued);
}

TEST_F(ClientTest, StopDiscardsQueuedJobsAndEndsRunningOnes)
{
    CHoldingServer peer(limits.port);
    Start();
    for (int i = 0; i < 12; ++i)
        client->Expand(kLoopback, "\\x\\");
    ASSERT_TRUE(peer.WaitForCount(10));
    stop = true;
    DWORD start = GetTickCount();
    client->Stop();
    EXPECT_LT(GetTickCount() - start, 2000u);
    Sleep(100);
    EXPECT_EQ(10u, peer.Count()) << "queued listings are not run at shutdown";
    RequestClient::tCounts counts = client->GetCounts();
    EXPECT_EQ(0, counts.quick + counts.quickQueued);
}
