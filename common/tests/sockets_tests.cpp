#include <gtest/gtest.h>

#include <ws2tcpip.h>

#include <mutex>
#include <thread>
#include <vector>

#include "common/raii.h"
#include "common/sockets.h"
#include "common/tests/test_support.h"

using raii::CSocket;
using testsupport::CTempDir;
using testsupport::FileExists;

namespace {

const uint32_t kLoopback = htonl(INADDR_LOOPBACK);

class WinsockEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(m_winsock.Ok()); }

private:
    raii::CWinsockInit m_winsock;
};
::testing::Environment* const g_winsock = ::testing::AddGlobalTestEnvironment(new WinsockEnvironment);

CSocket Listener(unsigned short& port)
{
    CSocket listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = kLoopback;
    address.sin_port = htons(port);
    if (bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener.Get(), 4) != 0)
        return CSocket();
    int size = sizeof address;
    getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &size);
    port = ntohs(address.sin_port);
    return listener;
}

// Two connected TCP sockets on loopback, both non-blocking.
void ConnectedPair(CSocket& client, CSocket& server)
{
    unsigned short port = 0;
    CSocket listener = Listener(port);
    ASSERT_TRUE(listener.IsValid());
    client.Attach(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    tCancelFlag cancel{false};
    ASSERT_TRUE(SetBlocking(client.Get(), false));
    ASSERT_TRUE(ConnectWithRetry(client.Get(), kLoopback, port, 3, cancel));
    server.Attach(accept(listener.Get(), nullptr, nullptr));
    ASSERT_TRUE(server.IsValid());
    ASSERT_TRUE(SetBlocking(server.Get(), false));
}

bool SendRaw(SOCKET s, const std::string& bytes)
{
    SetBlocking(s, true);
    bool ok = send(s, bytes.data(), static_cast<int>(bytes.size()), 0) == static_cast<int>(bytes.size());
    SetBlocking(s, false);
    return ok;
}

std::string ReceiveAvailable(SOCKET s)
{
    std::string bytes;
    char buffer[4096];
    Sleep(100);
    for (;;) {
        int n = recv(s, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        bytes.append(buffer, n);
    }
    return bytes;
}

// Records the listener calls in order, as "S", "P<percent>", "F1"/"F0".
class CRecorder : public CProgressListener {
public:
    void Started(int id) override { Add("S", id); }
    void Progress(int id, int64_t percent, double) override { Add("P" + std::to_string(percent), id); }
    void Finished(int id, bool ok) override { Add(ok ? "F1" : "F0", id); }
    std::vector<std::string> Calls()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }
    int LastId() const { return m_lastId; }

private:
    void Add(const std::string& call, int id)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.push_back(call);
        m_lastId = id;
    }
    std::mutex m_mutex;
    std::vector<std::string> m_calls;
    int m_lastId = -1;
};

std::string Pattern(size_t size)
{
    std::string bytes(size, '\0');
    uint32_t x = 12345;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(x >> 24);
    }
    return bytes;
}

} // namespace

TEST(FramedHeader, SixtyThreeDigitsFitSixtyFourDoNot)
{
    CSocket a, b;
    ConnectedPair(a, b);
    tCancelFlag cancel{false};
    std::string header;
    ASSERT_TRUE(SendRaw(a.Get(), std::string(63, '7') + ":rest"));
    EXPECT_TRUE(ReceiveFramedHeader(b.Get(), header, kFramedHeaderMaximum, cancel));
    EXPECT_EQ(std::string(63, '7'), header);
    EXPECT_EQ("rest", ReceiveAvailable(b.Get())) << "the header reader takes nothing more";

    ASSERT_TRUE(SendRaw(a.Get(), std::string(64, '7')));
    EXPECT_FALSE(ReceiveFramedHeader(b.Get(), header, kFramedHeaderMaximum, cancel));
}

TEST(FramedHeader, AHeaderArrivingInPiecesIsReadWhole)
{
    CSocket a, b;
    ConnectedPair(a, b);
    tCancelFlag cancel{false};
    std::thread sender([&] {
        SendRaw(a.Get(), "1");
        Sleep(150);
        SendRaw(a.Get(), "2");
        Sleep(150);
        SendRaw(a.Get(), ":hello world!4:next");
    });
    std::string text;
    EXPECT_TRUE(ReceiveFramedString(b.Get(), text, cancel));
    sender.join();
    EXPECT_EQ("hello world!", text);
    EXPECT_TRUE(ReceiveFramedString(b.Get(), text, cancel)) << "the next message is left whole";
    EXPECT_EQ("next", text);
}

TEST(FramedString, RoundTripsIncludingEmptyAndBinary)
{
    CSocket a, b;
    ConnectedPair(a, b);
    tCancelFlag cancel{false};
    ASSERT_TRUE(SendFramed(a.Get(), "", nullptr, 0, 1, cancel, nullptr));
    EXPECT_EQ("0:", ReceiveAvailable(b.Get()));

    ASSERT_TRUE(SendFramed(a.Get(), "", nullptr, 0, 1, cancel, nullptr));
    std::string text = "x";
    EXPECT_TRUE(ReceiveFramedString(b.Get(), text, cancel));
    EXPECT_EQ("", text);

    std::string binary("a\0b:c\r\n", 7);
    ASSERT_TRUE(SendFramed(a.Get(), binary.data(), nullptr, binary.size(), 2, cancel, nullptr));
    EXPECT_TRUE(ReceiveFramedString(b.Get(), text, cancel));
    EXPECT_EQ(binary, text);

    // Large enough to need many socket calls on both sides.
    std::string big = Pattern(3 * 1000 * 1000 + 17);
    std::thread sender([&] { SendFramed(a.Get(), big.data(), nullptr, big.size(), 3, cancel, nullptr); });
    EXPECT_TRUE(ReceiveFramedString(b.Get(), text, cancel));
    sender.join();
    EXPECT_TRUE(text == big);
}

TEST(FramedString, BadLengthsFailBeforeThePayload)
{
    CSocket a, b;
    ConnectedPair(a, b);
    tCancelFlag cancel{false};
    std::string text;
    for (const char* bad : {"12a:", "-3:", ":", " 1:", "99999999999999999999999:"}) {
        ASSERT_TRUE(SendRaw(a.Get(), std::string(bad) + "xyz"));
        EXPECT_FALSE(ReceiveFramedString(b.Get(), text, cancel)) << bad;
        EXPECT_EQ("xyz", ReceiveAvailable(b.Get())) << bad << ": no payload byte was read";
    }
    // 64 MiB is the limit for texts in memory: one byte more is refused at once.
    ASSERT_TRUE(SendRaw(a.Get(), std::to_string(kFramedStringLimit + 1) + ":abc"));
    EXPECT_FALSE(ReceiveFramedString(b.Get(), text, cancel));
    EXPECT_EQ("abc", ReceiveAvailable(b.Get()));
}

TEST(FramedString, PeerClosingEarlyOrCancelFails)
{
    CSocket a, b;
    ConnectedPair(a, b);
    tCancelFlag cancel{false};
    std::string text;
    ASSERT_TRUE(SendRaw(a.Get(), "10:abc"));
    a.Close();
    EXPECT_FALSE(ReceiveFramedString(b.Get(), text, cancel));

    CSocket c, d;
    ConnectedPair(c, d);
    std::thread canceller([&] {
        Sleep(300);
        cancel = true;
    });
    DWORD start = GetTickCount();
    EXPECT_FALSE(ReceiveFramedString(d.Get(), text, cancel));
    DWORD elapsed = GetTickCount() - start;
    canceller.join();
    EXPECT_LT(elapsed, 2000u) << "the cancel flag is seen within a slice or two";
}

TEST(FramedFile, FileToFileWithListeners)
{
    CTempDir dir;
    std::string source = dir.File("source.bin");
    std::string target = dir.File("target.bin");
    std::string content = Pattern(2500 * 1000 + 3);
    testsupport::WriteFileText(source, content);

    CSocket a, b;
    ConnectedPair(a, b);
    tCancelFlag cancel{false};
    CRecorder sent, received;
    bool sendOk = false;
    std::thread sender([&] { sendOk = SendFramed(a.Get(), nullptr, source.c_str(), 0, 41, cancel, &sent); });
    EXPECT_TRUE(ReceiveFramedFile(b.Get(), target.c_str(), 42, cancel, &received));
    sender.join();
    EXPECT_TRUE(sendOk);
    EXPECT_TRUE(testsupport::ReadFileText(target) == content);
    std::vector<std::string> calls = received.Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ("S", calls.front());
    EXPECT_EQ("F1", calls.back());
    EXPECT_EQ(42, received.LastId());
    EXPECT_EQ("S", sent.Calls().front());
    EXPECT_EQ("F1", sent.Calls().back());
    EXPECT_EQ(41, sent.LastId());
}

TEST(FramedFile, EmptyFileHasNoProgress)
{
    CTempDir dir;
    std::string target = dir.File("empty.bin");
    CSocket a, b;
    ConnectedPair(a, b);
    tCancelFlag cancel{false};
    CRecorder received;
    ASSERT_TRUE(SendRaw(a.Get(), "0:"));
    EXPECT_TRUE(ReceiveFramedFile(b.Get(), target.c_str(), 7, cancel, &received));
    EXPECT_EQ((std::vector<std::string>{"S", "F1"}), received.Calls());
    ASSERT_TRUE(FileExists(target));
    EXPECT_EQ("", testsupport::ReadFileText(target));
}

// An existing target is replaced by a file made anew. One that another program holds open is
// left as it is and the receive fails: whether the holder lets it be deleted (the name stays
// until the holder closes it, and what is written there would go with it) or not.
TEST(FramedFile, AnExistingTargetIsReplacedUnlessHeldOpen)
{
    CTempDir dir;
    std::string target = dir.File("existing.bin");
    auto receive = [&](const std::string& framed) {
        CSocket a, b;
        ConnectedPair(a, b);
        tCancelFlag cancel{false};
        CRecorder received;
        EXPECT_TRUE(SendRaw(a.Get(), framed));
        bool ok = ReceiveFramedFile(b.Get(), target.c_str(), 3, cancel, &received);
        EXPECT_EQ(ok ? "F1" : "F0", received.Calls().back());
        return ok;
    };
    ASSERT_TRUE(testsupport::WriteFileText(target, std::string(10000, 'o')));
    EXPECT_TRUE(receive("5:fresh"));
    EXPECT_EQ("fresh", testsupport::ReadFileText(target));

    for (DWORD share : {DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE), DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)}) {
        ASSERT_TRUE(testsupport::WriteFileText(target, "old"));
        raii::CHandle holder(CreateFileA(target.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder.IsValid());
        EXPECT_FALSE(receive("5:fresh")) << share;
        if (!(share & FILE_SHARE_DELETE)) {
            EXPECT_EQ("old", testsupport::ReadFileText(target)) << "not deletable: untouched";
        }
    }
}

TEST(FramedFile, BadHeadersCreateNoFile)
{
    CTempDir dir;
    std::string target = dir.File("never.bin");
    CSocket a, b;
    ConnectedPair(a, b);
    tCancelFlag cancel{false};
    for (const char* bad : {"-5:", "abc:", "18446744073709551616:"}) {
        CRecorder received;
        ASSERT_TRUE(SendRaw(a.Get(), bad));
        EXPECT_FALSE(ReceiveFramedFile(b.Get(), target.c_str(), 1, cancel, &received)) << bad;
        EXPECT_EQ((std::vector<std::string>{"F0"}), received.Calls()) << bad;
        EXPECT_FALSE(FileExists(target)) << bad;
    }
    CRecorder overlong;
    ASSERT_TRUE(SendRaw(a.Get(), std::string(70, '1')));
    EXPECT_FALSE(ReceiveFramedFile(b.Get(), target.c_str(), 1, cancel, &overlong));
    EXPECT_EQ((std::vector<std::string>{"F0"}), overlong.Calls());
}

TEST(FramedFile, CancelOrEarlyCloseDeletesThePartialFile)
{
    CTempDir dir;
    std::string target = dir.File("partial.bin");
    {
        CSocket a, b;
        ConnectedPair(a, b);
        tCancelFlag cancel{false};
        CRecorder received;
        ASSERT_TRUE(SendRaw(a.Get(), "1000000:" + std::string(5000, 'x')));
        std::thread canceller([&] {
            EXPECT_TRUE(testsupport::WaitFor([&] { return FileExists(target); }, 5000)) << "being written";
            cancel = true;
        });
        EXPECT_FALSE(ReceiveFramedFile(b.Get(), target.c_str(), 9, cancel, &received));
        canceller.join();
        EXPECT_FALSE(FileExists(target));
        EXPECT_EQ("F0", received.Calls().back());
        EXPECT_EQ("S", received.Calls().front());
    }
    {
        CSocket a, b;
        ConnectedPair(a, b);
        tCancelFlag cancel{false};
        ASSERT_TRUE(SendRaw(a.Get(), "100:" + std::string(50, 'x')));
        a.Close();
        EXPECT_FALSE(ReceiveFramedFile(b.Get(), target.c_str(), 9, cancel, nullptr));
        EXPECT_FALSE(FileExists(target));
    }
}

TEST(FramedFile, MissingSourceOrUnwritableTargetFails)
{
    CTempDir dir;
    CSocket a, b;
    ConnectedPair(a, b);
    tCancelFlag cancel{false};
    CRecorder sent;
    EXPECT_FALSE(SendFramed(a.Get(), nullptr, dir.File("missing.bin").c_str(), 0, 5, cancel, &sent));
    EXPECT_EQ((std::vector<std::string>{"S", "F0"}), sent.Calls());
    EXPECT_EQ("", ReceiveAvailable(b.Get())) << "nothing was sent";

    CRecorder received;
    ASSERT_TRUE(SendRaw(a.Get(), "3:abc"));
    EXPECT_FALSE(ReceiveFramedFile(b.Get(), dir.File("no\\folder\\x.bin").c_str(), 6, cancel, &received));
    EXPECT_EQ((std::vector<std::string>{"S", "F0"}), received.Calls());
}

TEST(Datagrams, TextIsSentWithItsTerminatingZero)
{
    CSocket receiver(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = kLoopback;
    ASSERT_EQ(0, bind(receiver.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address));
    int size = sizeof address;
    getsockname(receiver.Get(), reinterpret_cast<sockaddr*>(&address), &size);
    DWORD timeout = 3000;
    setsockopt(receiver.Get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);

    ASSERT_TRUE(SendDatagram(ntohs(address.sin_port), "hello", kLoopback));
    char buffer[64];
    int n = recv(receiver.Get(), buffer, sizeof buffer, 0);
    ASSERT_EQ(6, n);
    EXPECT_EQ(std::string("hello", 6), std::string(buffer, 5) + buffer[5]);
    EXPECT_EQ('\0', buffer[5]);
    EXPECT_FALSE(SendDatagram(1, nullptr, kLoopback));
}

TEST(Interfaces, LoopbackOnlyWhenAskedFor)
{
    std::vector<tInterfaceEntry> all, external;
    ASSERT_TRUE(EnumerateInterfaces(all, true, true));
    ASSERT_TRUE(EnumerateInterfaces(external, false, false));
    bool loopbackSeen = false;
    for (const tInterfaceEntry& e : all) {
        EXPECT_EQ(e.address | ~e.netmask, e.broadcast);
        if (e.address == kLoopback) {
            loopbackSeen = true;
            EXPECT_EQ(htonl(0x7FFFFFFF), e.broadcast);
        }
    }
    EXPECT_TRUE(loopbackSeen);
    for (const tInterfaceEntry& e : external)
        EXPECT_NE(kLoopback, e.address);
    EXPECT_LE(external.size(), all.size());
    EXPECT_FALSE(GetLocalHostName().empty());
}

TEST(Connect, WithoutLimitUntilTheListenerAppears)
{
    unsigned short port = 0;
    {
        CSocket probe = Listener(port); // reserve a free port number, then free it
    }
    CSocket client(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    tCancelFlag cancel{false};
    CSocket listener;
    std::thread late([&] {
        Sleep(700);
        listener = Listener(port);
    });
    EXPECT_TRUE(ConnectWithRetry(client.Get(), kLoopback, port, 0, cancel));
    late.join();
    ASSERT_TRUE(listener.IsValid());
    CSocket server(accept(listener.Get(), nullptr, nullptr));
    EXPECT_TRUE(server.IsValid());

    // The event association is gone: the socket can be switched back to blocking.
    EXPECT_TRUE(SetBlocking(client.Get(), true));
}

TEST(Connect, LimitedAttemptsAndCancel)
{
    unsigned short port = 0;
    {
        CSocket probe = Listener(port);
    }
    tCancelFlag cancel{false};
    CSocket client(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    EXPECT_FALSE(ConnectWithRetry(client.Get(), kLoopback, port, 2, cancel));

    CSocket other(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    std::thread canceller([&] {
        Sleep(500);
        cancel = true;
    });
    DWORD start = GetTickCount();
    EXPECT_FALSE(ConnectWithRetry(other.Get(), kLoopback, port, 0, cancel));
    canceller.join();
    EXPECT_LT(GetTickCount() - start, 3000u);
}
