#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <set>

#include "common/trace.h"
#include "tandem/server_thread.h"
#include "tandem/tests/hostile_paths.h"
#include "tandem/tests/tandem_test_support.h"

using namespace tandemtest;

namespace {

// The owner's side of uploads: records notifications, hands out cancel flags, and can hold
// the admission question open.
class COwner : public IUploadNotification, public IAdmissionCheck {
public:
    tCancelHandle UploadStarting(int serial) override
    {
        tServerJobInfo info;
        bool found = server && server->GetJobInfo(serial, info);
        raii::CLock lock(m_lock);
        notices.push_back(serial);
        if (found)
            infos[serial] = info;
        flags[serial] = NewCancelFlag();
        return flags[serial];
    }
    bool IsAdmitted(uint32_t address) override
    {
        ++asked;
        if (hold)
            WaitForSingleObject(release.Get(), 20000);
        return refused.count(address) == 0;
    }
    tCancelHandle Flag(int serial)
    {
        raii::CLock lock(m_lock);
        return flags[serial];
    }
    size_t Notices()
    {
        raii::CLock lock(m_lock);
        return notices.size();
    }

    CServerThread* server = nullptr;
    std::atomic<int> asked{0};
    std::atomic<bool> hold{false};
    raii::CHandle release{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    std::set<uint32_t> refused;
    raii::CCriticalSection m_lock;
    std::vector<int> notices;
    std::map<int, tServerJobInfo> infos;
    std::map<int, tCancelHandle> flags;
};

std::string RandomBytes(size_t size)
{
    std::string bytes(size, '\0');
    uint32_t x = 2463534242u;
    for (char& c : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    return bytes;
}

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        docs = shares.MakeFolder("docs");
        shares.WriteFile("docs\\a.txt", "hello");
        shares.MakeFolder("docs\\sub");
        shares.MakeFolder("docs\\empty");
        shares.WriteFile("secret.txt", "not shared");
        shares.Share("docs", docs);
        limits.port = NextPort();
    }
    void TearDown() override
    {
        if (server)
            server->Stop();
        SetEvent(owner.release.Get());
    }
    void Start(const std::string& name = "desk")
    {
        server.reset(new CServerThread(&uploads, &owner, &owner, name, "1.0 09:05:03 07.02.26 ", stop,
                                       shares.Settings(), limits));
        owner.server = server.get();
        ASSERT_TRUE(WaitUntil([&] { return server->IsListening(); }, 5000));
    }

    CShares shares;
    std::string docs;
    tServerLimits limits;
    tCancelFlag stop{false};
    CRecorder uploads;
    COwner owner;
    std::unique_ptr<CServerThread> server;
};

} // namespace

TEST_F(ServerTest, ListsTheSharesAndTheFoldersInThem)
{
    shares.Share("  spaced  ", docs);
    Start();
    std::string reply;
    ASSERT_TRUE(Ask(limits.port, "expand:\\", reply));
    EXPECT_EQ("docs\\1\\0\\spaced\\1\\0", reply);
    ASSERT_TRUE(Ask(limits.port, "expand:\\docs\\", reply));
    tListingParse listing;
    ParseListing(reply, listing);
    std::set<std::string> names;
    for (const ShareItem& item : listing.items)
        names.insert(item.name + (item.isFolder ? "/" : "=" + std::to_string(item.size)));
    EXPECT_EQ((std::set<std::string>{"a.txt=5", "empty/", "sub/"}), names);
    ASSERT_TRUE(Ask(limits.port, "expand:\\docs\\empty\\", reply));
    EXPECT_EQ("", reply);
    ASSERT_TRUE(Ask(limits.port, "expand:\\docs\\a.txt", reply));
    EXPECT_EQ("", reply) << "a file has no listing";
}

TEST_F(ServerTest, AnEmptySharesSectionListsNothing)
{
    testsupport::WriteFileText(shares.Settings(), "[shares]\r\n");
    Start();
    std::string reply = "x";
    ASSERT_TRUE(Ask(limits.port, "expand:\\", reply));
    EXPECT_EQ("", reply);
}

TEST_F(ServerTest, ServesAFileByteForByteAndTellsTheOwner)
{
    std::string content = RandomBytes(3 * 1000 * 1000 + 17);
    shares.WriteFile("docs\\sub\\big file.bin", content);
    Start();
    std::string reply;
    ASSERT_TRUE(Ask(limits.port, "retrieve:\\docs\\sub\\big file.bin", reply));
    EXPECT_TRUE(reply == content);
    ASSERT_TRUE(uploads.WaitForCount("finished", 1));
    std::vector<CRecorder::tEvent> events = uploads.Events();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ("started", events.front().what);
    EXPECT_TRUE(events.back().success);
    ASSERT_EQ(1u, owner.Notices());
    int serial = owner.notices[0];
    EXPECT_EQ(serial, events.back().id);
    EXPECT_EQ(SERVER_JOB_RETRIEVE, owner.infos[serial].type);
    EXPECT_EQ(kLoopback, owner.infos[serial].client);
    EXPECT_EQ("\\docs\\sub\\big file.bin", owner.infos[serial].path);
    EXPECT_EQ(1, owner.asked.load());
}

TEST_F(ServerTest, FoldersMissingFilesAndRefusedHostsGetNoReplyAtAll)
{
    Start();
    for (const char* path : {"\\docs\\sub\\", "\\docs\\sub", "\\docs\\missing.txt", "\\nothing\\a.txt", "\\"}) {
        raii::CSocket connection = Connect(limits.port);
        ASSERT_TRUE(SendMessage(connection.Get(), std::string("retrieve:") + path));
        EXPECT_EQ("", ReadUntilClose(connection.Get())) << path;
    }
    owner.refused.insert(kLoopback);
    raii::CSocket connection = Connect(limits.port);
    ASSERT_TRUE(SendMessage(connection.Get(), "retrieve:\\docs\\a.txt"));
    EXPECT_EQ("", ReadUntilClose(connection.Get()));
    EXPECT_EQ(0u, owner.Notices()) << "nothing was uploaded";
}

TEST_F(ServerTest, HostilePathsGetNeitherListingsNorFiles)
{
    Start();
    for (const std::string& path : HostileSharePaths()) {
        std::string reply = "x";
        EXPECT_TRUE(Ask(limits.port, "expand:" + path, reply)) << path;
        EXPECT_EQ("", reply) << path;
        raii::CSocket connection = Connect(limits.port);
        ASSERT_TRUE(SendMessage(connection.Get(), "retrieve:" + path));
        EXPECT_EQ("", ReadUntilClose(connection.Get())) << path;
    }
    EXPECT_EQ(0u, owner.Notices());
}

TEST_F(ServerTest, DescribesItselfWithAndWithoutTheOperatingSystem)
{
    Start("desk top");
    std::string reply;
    ASSERT_TRUE(Ask(limits.port, "gethostinfo", reply));
    EXPECT_EQ("desk top\n1.0 09:05:03 07.02.26 \n", reply);
    ASSERT_TRUE(Ask(limits.port, "gethostinfoex", reply));
    ASSERT_EQ(0u, reply.find("desk top\n1.0 09:05:03 07.02.26 Win"));
    EXPECT_EQ(" \n", reply.substr(reply.size() - 2));
    HostInfo info;
    ParseHostInfoReply(reply, true, info);
    EXPECT_FALSE(info.os.empty());
    server->SetHostName("renamed");
    ASSERT_TRUE(Ask(limits.port, "gethostinfo", reply));
    EXPECT_EQ(0u, reply.find("renamed\n"));
}

TEST_F(ServerTest, UnknownAndOversizedRequestsAreClosedWithoutReply)
{
    Start();
    for (const std::string& bytes : {std::string("7:unknown"), std::string("12:expandx:\\abc"),
                                     std::string("99999999:expand"), std::string(70, '1') + ":x",
                                     std::string("-5:ab"), std::string("x:ab")}) {
        raii::CSocket connection = Connect(limits.port);
        ASSERT_TRUE(SendBytes(connection.Get(), bytes));
        EXPECT_EQ("", ReadUntilClose(connection.Get())) << bytes;
    }
    std::string reply;
    EXPECT_TRUE(Ask(limits.port, "expand:\\", reply)) << "and it still answers";
}

TEST_F(ServerTest, APeerThatSendsNothingDoesNotHoldUpOthers)
{
    Start();
    raii::CSocket idle = Connect(limits.port);
    raii::CSocket half = Connect(limits.port);
    ASSERT_TRUE(SendBytes(half.Get(), "100:expand:")); // a request that never completes
    DWORD start = GetTickCount();
    std::string reply;
    ASSERT_TRUE(Ask(limits.port, "expand:\\", reply));
    EXPECT_LT(GetTickCount() - start, 2000u);
    EXPECT_EQ("docs\\1\\0", reply);
}

TEST_F(ServerTest, HundredsOfIdleConnectionsDoNotStopItAnsweringARealClient)
{
    limits.pendingRequests = 64;
    limits.pendingPerAddress = 16;
    Start();
    std::vector<raii::CSocket> idle;
    for (int i = 0; i < 300; ++i) {
        raii::CSocket connection = Connect(limits.port, 5000, LoopbackAddress(2 + i % 3));
        if (connection)
            idle.push_back(std::move(connection));
    }
    EXPECT_GT(idle.size(), 250u);
    std::string reply;
    DWORD start = GetTickCount();
    ASSERT_TRUE(Ask(limits.port, "expand:\\", reply));
    EXPECT_LT(GetTickCount() - start, 3000u);
    EXPECT_EQ("docs\\1\\0", reply);
    EXPECT_LE(server->GetCounts().pending, 64);
}

TEST_F(ServerTest, ARequestThatTakesTooLongIsDropped)
{
    limits.requestMs = 400;
    Start();
    raii::CSocket trickle = Connect(limits.port, 10000);
    DWORD start = GetTickCount();
    // One byte every 100 ms would take seconds; the server closes at its limit.
    std::string request = "40:expand:\\docs\\aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa";
    for (size_t i = 0; i < request.size() && GetTickCount() - start < 1500; ++i) {
        if (!SendBytes(trickle.Get(), request.substr(i, 1)))
            break;
        Sleep(100);
    }
    EXPECT_EQ("", ReadUntilClose(trickle.Get()));
    EXPECT_LT(GetTickCount() - start, 3000u);
}

TEST_F(ServerTest, DownloadsBeyondTheLimitWaitWhileListingsGoOn)
{
    shares.WriteFile("docs\\f.bin", RandomBytes(1000));
    owner.hold = true; // every admission question stays open until released
    Start();
    std::vector<raii::CSocket> downloads;
    for (int i = 0; i < 11; ++i) {
        downloads.push_back(Connect(limits.port, 20000));
        ASSERT_TRUE(SendMessage(downloads.back().Get(), "retrieve:\\docs\\f.bin"));
    }
    ASSERT_TRUE(WaitUntil([&] { return owner.asked.load() == 10; }, 5000));
    Sleep(300);
    EXPECT_EQ(10, owner.asked.load()) << "the eleventh download waits";
    CServerThread::tCounts counts = server->GetCounts();
    EXPECT_EQ(10, counts.downloads);
    EXPECT_EQ(1, counts.waiting);
    std::string reply;
    ASSERT_TRUE(Ask(limits.port, "expand:\\", reply)) << "a listing is not held up by downloads";
    SetEvent(owner.release.Get());
    for (auto& connection : downloads) {
        std::string payload;
        EXPECT_TRUE(Unframe(ReadUntilClose(connection.Get()), payload));
        EXPECT_EQ(1000u, payload.size());
    }
    EXPECT_EQ(11, owner.asked.load());
}

TEST_F(ServerTest, PingConnectionsAreBoundedPerAddress)
{
    limits.pingJobsPerAddress = 3;
    Start();
    std::vector<raii::CSocket> pings;
    for (int i = 0; i < 5; ++i) {
        pings.push_back(Connect(limits.port, 3000, LoopbackAddress(9)));
        ASSERT_TRUE(SendMessage(pings.back().Get(), "ping"));
    }
    ASSERT_TRUE(WaitUntil([&] { return server->GetCounts().pings == 3; }, 3000));
    Sleep(300);
    EXPECT_EQ(3, server->GetCounts().pings);
    // The refused ones were closed; the others stay open and silent.
    int closed = 0;
    for (auto& ping : pings) {
        DWORD timeout = 300;
        setsockopt(ping.Get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
        char byte;
        if (recv(ping.Get(), &byte, 1, 0) == 0)
            ++closed;
    }
    EXPECT_EQ(2, closed);
    raii::CSocket other = Connect(limits.port, 3000, LoopbackAddress(10));
    ASSERT_TRUE(SendMessage(other.Get(), "ping"));
    EXPECT_TRUE(WaitUntil([&] { return server->GetCounts().pings == 4; }, 3000)) << "another host still may";
}

TEST_F(ServerTest, APingConnectionThatFallsSilentIsClosed)
{
    // Far more silence allowed than between two pings, so that a slow turn of this thread
    // cannot pass for silence.
    limits.pingSilenceMs = 2000;
    Start();
    raii::CSocket ping = Connect(limits.port, 5000);
    ASSERT_TRUE(SendMessage(ping.Get(), "ping"));
    for (int i = 0; i < 12; ++i) {
        Sleep(200);
        ASSERT_TRUE(SendMessage(ping.Get(), "ping")) << "pings in time keep it";
    }
    EXPECT_EQ(1, server->GetCounts().pings) << "open longer than the silence allowed";
    DWORD start = GetTickCount();
    EXPECT_EQ("", ReadUntilClose(ping.Get()));
    EXPECT_LT(GetTickCount() - start, 2000u + 3000u);
    EXPECT_TRUE(WaitUntil([&] { return server->GetCounts().pings == 0; }, 3000));
}

TEST_F(ServerTest, TheOwnersCancelFlagEndsAnUpload)
{
    shares.WriteFile("docs\\huge.bin", RandomBytes(64 * 1000 * 1000));
    Start();
    raii::CSocket connection = Connect(limits.port, 10000);
    ASSERT_TRUE(SendMessage(connection.Get(), "retrieve:\\docs\\huge.bin"));
    ASSERT_TRUE(WaitUntil([&] { return owner.Notices() == 1; }, 5000));
    // The peer reads nothing: the send soon waits on it.
    Sleep(300);
    DWORD start = GetTickCount();
    *owner.Flag(owner.notices[0]) = true;
    CRecorder::tEvent finished;
    ASSERT_TRUE(uploads.WaitFor("finished", owner.notices[0], finished, 3000));
    EXPECT_FALSE(finished.success);
    EXPECT_LT(GetTickCount() - start, 1000u);
}

TEST_F(ServerTest, AnUploadWhosePeerStopsReadingIsCancelled)
{
    limits.transferStallMs = 500;
    shares.WriteFile("docs\\huge.bin", RandomBytes(64 * 1000 * 1000));
    Start();
    raii::CSocket connection = Connect(limits.port, 10000);
    ASSERT_TRUE(SendMessage(connection.Get(), "retrieve:\\docs\\huge.bin"));
    ASSERT_TRUE(WaitUntil([&] { return owner.Notices() == 1; }, 5000));
    CRecorder::tEvent finished;
    ASSERT_TRUE(uploads.WaitFor("finished", owner.notices[0], finished, 5000));
    EXPECT_FALSE(finished.success);
    EXPECT_FALSE(owner.Flag(owner.notices[0])->load()) << "ended by the server, not by the owner";
}

TEST_F(ServerTest, StopEndsRunningAndWaitingJobsPromptly)
{
    shares.WriteFile("docs\\huge.bin", RandomBytes(64 * 1000 * 1000));
    Start();
    raii::CSocket ping = Connect(limits.port);
    ASSERT_TRUE(SendMessage(ping.Get(), "ping"));
    raii::CSocket download = Connect(limits.port);
    ASSERT_TRUE(SendMessage(download.Get(), "retrieve:\\docs\\huge.bin"));
    raii::CSocket idle = Connect(limits.port);
    ASSERT_TRUE(WaitUntil([&] { return owner.Notices() == 1 && server->GetCounts().pings == 1; }, 5000));
    stop = true;
    DWORD start = GetTickCount();
    server->Stop();
    EXPECT_LT(GetTickCount() - start, 2000u);
    EXPECT_FALSE(server->IsListening());
    CServerThread::tCounts counts = server->GetCounts();
    EXPECT_EQ(0, counts.pings + counts.downloads + counts.quick + counts.waiting + counts.pending);
}

TEST_F(ServerTest, JobInfoIsKnownOnlyWhileTheJobIs)
{
    Start();
    tServerJobInfo info;
    EXPECT_FALSE(server->GetJobInfo(0, info));
    raii::CSocket ping = Connect(limits.port, 3000, LoopbackAddress(7));
    ASSERT_TRUE(SendMessage(ping.Get(), "ping:x"));
    ASSERT_TRUE(WaitUntil([&] { return server->GetCounts().pings == 1; }, 3000));
    ASSERT_TRUE(server->GetJobInfo(0, info)) << "serial numbers count accepted connections from 0";
    EXPECT_EQ(SERVER_JOB_PING, info.type);
    EXPECT_EQ(LoopbackAddress(7), info.client);
    EXPECT_EQ("x", info.path);
}
