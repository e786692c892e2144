// Chat: the history limit, what a received text may hold, and the channel between real
// sockets on loopback with a silent peer, an endless one and a recipient that does not answer.
#include <gtest/gtest.h>

#include <set>

#include "tandem/chat_channel.h"
#include "tandem/chat_history.h"
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

TEST(ChatHistoryTest, FirstLineHasNoBreakLaterOnesDo)
{
    std::string history;
    AppendHistoryLine(history, "desk: hello");
    AppendHistoryLine(history, "laptop: hi");
    EXPECT_EQ(history, "desk: hello\r\nlaptop: hi");
}

TEST(ChatHistoryTest, OldestLinesGoWhileTheHistoryIsBeyondTheLimit)
{
    std::string history;
    for (int i = 0; i < 5; ++i)
        AppendHistoryLine(history, "h: " + std::string(8, static_cast<char>('a' + i)), 30);
    // Each line is 11 characters, 13 with its break: never more than 30 before a new one.
    EXPECT_EQ(history, "h: cccccccc\r\nh: dddddddd\r\nh: eeeeeeee");
    EXPECT_EQ(HistoryTrimCount("abc\r\ndef", 100), 0u);
    EXPECT_EQ(HistoryTrimCount("abc\r\ndef", 5), 5u);
    EXPECT_EQ(HistoryTrimCount("abcdefgh", 5), 8u) << "a single line beyond the limit goes whole";
}

TEST(ChatHistoryTest, VeryManyMessagesStayBelowTheLimit)
{
    std::string history;
    size_t longest = 0;
    std::string line;
    for (int i = 0; i < 3000; ++i) {
        line = "host" + std::to_string(i % 7) + ": " + std::to_string(i) + std::string(static_cast<size_t>(i % 97), 'x');
        longest = std::max(longest, history.size() - HistoryTrimCount(history));
        AppendHistoryLine(history, line);
    }
    EXPECT_LE(longest, kChatHistoryLimit);
    EXPECT_GT(history.size(), kChatHistoryLimit - 200);
    EXPECT_EQ(history.substr(history.size() - line.size()), line) << "the newest line is last";
    EXPECT_EQ(history.find("host0: 0"), std::string::npos) << "the oldest are gone";
}

TEST(ChatHistoryTest, ReceivedTextsCannotForgeLines)
{
    EXPECT_EQ(CleanChatText("hi\r\nmallory: I am your admin", 1024), "hi  mallory: I am your admin");
    EXPECT_EQ(CleanChatText(std::string(2000, 'x'), 1024).size(), 1024u);
    EXPECT_EQ(CleanChatText(std::string("a\0b\tc", 5), 10), "a b c");
}

class CChatRecorder : public IChatListener {
public:
    void ChatMessage(uint32_t sender, const std::string& text) override
    {
        raii::CLock lock(m_lock);
        messages.emplace_back(sender, text);
    }
    size_t Count()
    {
        raii::CLock lock(m_lock);
        return messages.size();
    }
    std::pair<uint32_t, std::string> At(size_t i)
    {
        raii::CLock lock(m_lock);
        return messages.at(i);
    }

private:
    raii::CCriticalSection m_lock;
    std::vector<std::pair<uint32_t, std::string>> messages;
};

class ChatChannelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        options.port = NextPort();
        options.receiveMs = 1500;
        options.sendMs = 2000;
        options.connectAttempts = 2;
        channel.reset(new ChatChannel(&received, stop, options));
        ASSERT_TRUE(WaitUntil([&] { return channel->IsListening(); }, 5000));
    }
    void TearDown() override
    {
        stop = true;
        channel->Stop();
    }

    tCancelFlag stop{false};
    tChatOptions options;
    CChatRecorder received;
    std::unique_ptr<ChatChannel> channel;
};

TEST_F(ChatChannelTest, OwnMessageComesBackOnceThroughTheLocalHost)
{
    channel->AddRecipient(kLoopback);
    channel->Post("hello there");
    ASSERT_TRUE(WaitUntil([&] { return received.Count() >= 1; }, 5000));
    Sleep(300);
    ASSERT_EQ(received.Count(), 1u);
    EXPECT_EQ(received.At(0).first, kLoopback);
    EXPECT_EQ(received.At(0).second, "hello there");
}

TEST_F(ChatChannelTest, EveryRecipientGetsItsCopy)
{
    channel->AddRecipient(kLoopback);
    channel->AddRecipient(LoopbackAddress(2));
    channel->AddRecipient(LoopbackAddress(3));
    channel->RemoveRecipient(LoopbackAddress(3));
    EXPECT_EQ(channel->GetRecipients().size(), 2u);
    channel->Post("to all");
    ASSERT_TRUE(WaitUntil([&] { return received.Count() >= 2; }, 5000));
    std::set<uint32_t> senders = {received.At(0).first, received.At(1).first};
    EXPECT_TRUE(senders.count(kLoopback));
}

TEST_F(ChatChannelTest, SilentPeerHoldsUpNobody)
{
    // A peer that connects and sends half a header, and one that announces a huge message.
    raii::CSocket silent = Connect(options.port, 5000);
    ASSERT_TRUE(SendBytes(silent.Get(), "12"));
    raii::CSocket huge = Connect(options.port, 5000);
    ASSERT_TRUE(SendBytes(huge.Get(), "999999999:xxxx"));
    raii::CSocket sender = Connect(options.port, 5000, LoopbackAddress(9));
    ASSERT_TRUE(SendMessage(sender.Get(), "still here"));
    DWORD start = GetTickCount();
    ASSERT_TRUE(WaitUntil([&] { return received.Count() >= 1; }, 3000));
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_EQ(received.At(0).second, "still here");
    EXPECT_EQ(received.At(0).first, LoopbackAddress(9));
    // The announced giant is refused at once; the silent one is closed after its time.
    EXPECT_EQ(ReadUntilClose(huge.Get()), "");
    DWORD waited = GetTickCount();
    EXPECT_EQ(ReadUntilClose(silent.Get()), "");
    EXPECT_LT(GetTickCount() - waited, 4000u);
    EXPECT_EQ(received.Count(), 1u);
}

TEST_F(ChatChannelTest, RecipientThatDoesNotAnswerDelaysOnlyItsOwnCopy)
{
    // 127.0.0.5 has nobody listening on the port: its connects are refused and retried.
    channel->AddRecipient(LoopbackAddress(5));
    channel->AddRecipient(kLoopback);
    channel->Post("quick");
    DWORD start = GetTickCount();
    ASSERT_TRUE(WaitUntil([&] { return received.Count() >= 1; }, 5000));
    EXPECT_LT(GetTickCount() - start, 1500u);
}

TEST_F(ChatChannelTest, EmptyTextIsNotSent)
{
    channel->AddRecipient(kLoopback);
    channel->Post("");
    channel->Post("after");
    ASSERT_TRUE(WaitUntil([&] { return received.Count() >= 1; }, 5000));
    Sleep(200);
    EXPECT_EQ(received.Count(), 1u);
    EXPECT_EQ(received.At(0).second, "after");
}

} // namespace
