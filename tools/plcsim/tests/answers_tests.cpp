// The emulated devices' answers, pinned byte by byte: these bytes are written out by hand from
// the formats, not produced by any encoder of the suite.
#include <gtest/gtest.h>

#include <string.h>

#include <deque>
#include <vector>

#include "powerline/tests/test_stations.h"
#include "tools/plcsim/answers.h"
#include "tools/plcsim/command_reader.h"

namespace {

using namespace teststations;

const tMacAddress kDevice = kAudio;

std::vector<uint8_t> Padded(std::vector<uint8_t> bytes)
{
    if (bytes.size() < 60)
        bytes.resize(60, 0);
    return bytes;
}

const std::vector<uint8_t> kHeader = {0x02, 0x00, 0x00, 0x00, 0x00, 0x10, 0x02, 0x00, 0x00, 0x00, 0x00, 0x04, 0x88, 0x7B};

std::vector<uint8_t> Join(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(Answers, StatRspAndTheDeviceDescriptionsRemoteBit)
{
    std::vector<uint8_t> statRsp = Join(kHeader, {0x01, 0x08, 22});
    statRsp.resize(statRsp.size() + 22, 0);
    EXPECT_EQ(Padded(statRsp), AnswerStatRsp(kPc, kDevice));

    std::vector<uint8_t> remote = Join(kHeader, {0x01, 0x02, 16, 0x00, 0x04, 0x87, 0x90, 0x01,
                                                 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(Padded(remote), AnswerDeviceDescription(kPc, kDevice, true));
    std::vector<uint8_t> local = remote;
    local[21] = 0x00;
    EXPECT_EQ(Padded(local), AnswerDeviceDescription(kPc, kDevice, false));

    // The PC reads the bit where the device put it.
    EXPECT_TRUE(ZivudDescribesRemote(remote.data() + 17));
    EXPECT_FALSE(ZivudDescribesRemote(local.data() + 17));
}

TEST(Answers, NetStatAndQualityRecords)
{
    std::vector<uint8_t> netStat = AnswerNetStat(kPc, kDevice, {{Mac("02:00:00:00:00:02"), 519},
                                                                {Mac("03:00:00:00:00:03"), 0x1234}});
    ASSERT_EQ(14u + 3 + 187, netStat.size());
    EXPECT_EQ(Join(kHeader, {0x01, 0x1A, 187, 0x00}), std::vector<uint8_t>(netStat.begin(), netStat.begin() + 18));
    // Record 0 at data byte 7: address, little-endian rate 519 = 0x0207, four more bytes.
    EXPECT_EQ((std::vector<uint8_t>{0x02, 0, 0, 0, 0, 0x02, 0x07, 0x02, 0, 0, 0, 0, 0x03, 0, 0, 0, 0, 0x03, 0x34, 0x12}),
              std::vector<uint8_t>(netStat.begin() + 17 + 7, netStat.begin() + 17 + 7 + 20));
    for (size_t i = 17 + 7 + 24; i < netStat.size(); ++i)
        ASSERT_EQ(0, netStat[i]) << "empty records at " << i;

    std::vector<tStationRate> many(40, {Mac("02:00:00:00:00:09"), 2812});
    many[0] = {Mac("02:00:00:00:00:02"), 2812};
    std::vector<uint8_t> quality = AnswerQuality(kPc, kDevice, many);
    ASSERT_EQ(14u + 3 + 4 + 31 * 8, quality.size()) << "31 records fit one entry";
    EXPECT_EQ(Join(kHeader, {0x01, 0x02, 252, 0x00, 0x04, 0x87, 0x98, 0x02, 0, 0, 0, 0, 0x02, 0x0A, 0xFC}),
              std::vector<uint8_t>(quality.begin(), quality.begin() + 29));
}

TEST(Answers, HelloAsAnAudioDeviceSendsIt)
{
    tHelloAnnouncement hello;
    hello.stream = true;
    hello.state = 1;
    hello.ip = 0x140012C6; // 198.18.0.20 in network order
    hello.httpPort = 8000;
    hello.station = kDevice;
    hello.path = "/live.mp3";
    const std::vector<uint8_t> expected = {
        // Ethernet: to the PC, from the device, IPv4
        0x02, 0x00, 0x00, 0x00, 0x00, 0x10, 0x02, 0x00, 0x00, 0x00, 0x00, 0x04, 0x08, 0x00,
        // IPv4: 62 bytes, id 0x1234, may fragment, TTL 64, UDP, checksum, 198.18.0.20 > 255.255.255.255
        0x45, 0x00, 0x00, 0x3E, 0x12, 0x34, 0x00, 0x00, 0x40, 0x11, 0xA2, 0x55, 0xC6, 0x12, 0x00, 0x14,
        0xFF, 0xFF, 0xFF, 0xFF,
        // UDP: 15472 > 15472, 42 bytes, checksum
        0x3C, 0x70, 0x3C, 0x70, 0x00, 0x2A, 0x88, 0xDA,
        // Hello: magic, version 1, kind 0, stream, state, four bytes, IPv4, port 8000, station,
        // path length 9, "/live.mp3"
        0x8B, 0x30, 0xB6, 0x01, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0xC6, 0x12, 0x00, 0x14,
        0x1F, 0x40, 0x02, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x09, 0x2F, 0x6C, 0x69, 0x76, 0x65,
        0x2E, 0x6D, 0x70, 0x33};
    std::vector<uint8_t> frame = AnswerHello(kPc, kDevice, 0x140012C6, hello);
    EXPECT_EQ(expected, frame);

    // The PC's checks and parser take these bytes as they are.
    tUdpPayload udp;
    ASSERT_TRUE(CheckUdpFrame(expected.data(), expected.size(), udp));
    EXPECT_EQ(0x140012C6u, udp.sourceAddress);
    tHello parsed;
    ASSERT_TRUE(ParseHello(udp.data, udp.length, parsed));
    EXPECT_TRUE(parsed.stream);
    EXPECT_EQ(1, parsed.state);
    EXPECT_EQ(8000, parsed.httpPort);
    EXPECT_EQ(kDevice, parsed.station);
    EXPECT_EQ("/live.mp3", parsed.path);

    hello.path.assign(1514, 'a');
    EXPECT_TRUE(AnswerHello(kPc, kDevice, 0x140012C6, hello).empty()) << "does not fit one frame";
}

TEST(CommandReader, SplitsLinesAndBoundsThem)
{
    std::deque<std::string> lines;
    std::string pending = "plug a\r\nunplug b\nrat";
    CCommandReader::SplitLines(pending, lines);
    EXPECT_EQ((std::deque<std::string>{"plug a", "unplug b"}), lines);
    EXPECT_EQ("rat", pending);
    pending += "e a 5\n";
    lines.clear();
    CCommandReader::SplitLines(pending, lines);
    EXPECT_EQ((std::deque<std::string>{"rate a 5"}), lines);

    lines.clear();
    pending.assign(2000, 'x');
    CCommandReader::SplitLines(pending, lines);
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(CCommandReader::kMaxLine, lines[0].size());
    EXPECT_TRUE(pending.empty());
}

namespace {

// A pipe for one reader: standard input as a test gives it.
struct tPipe {
    tPipe() { CreatePipe(&read, &write, nullptr, 0); }
    ~tPipe()
    {
        CloseHandle(read);
        if (write)
            CloseHandle(write);
    }
    void Write(const char* text)
    {
        DWORD written = 0;
        WriteFile(write, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
    }
    HANDLE read = nullptr, write = nullptr;
};

std::vector<std::string> Take(CCommandReader& reader, size_t count)
{
    std::vector<std::string> got;
    std::string line;
    for (int i = 0; i < 50 && got.size() < count; ++i) {
        WaitForSingleObject(reader.Ready(), 100);
        while (reader.Next(line))
            got.push_back(line);
    }
    return got;
}

} // namespace

TEST(CommandReader, ReadsAPipeUntilQuit)
{
    tPipe pipe;
    CCommandReader reader;
    ASSERT_TRUE(reader.Start(pipe.read));
    pipe.Write("list\nquit\nlist\n");
    EXPECT_EQ((std::vector<std::string>{"list", "quit"}), Take(reader, 3)) << "nothing is read after quit";
    EXPECT_TRUE(reader.Ended());
}

TEST(CommandReader, StopsWhileItWaitsForInput)
{
    tPipe pipe;
    CCommandReader reader;
    ASSERT_TRUE(reader.Start(pipe.read));
    pipe.Write("li");
    Sleep(100);
    DWORD start = GetTickCount();
    reader.Stop();
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_FALSE(reader.Ended());
}

TEST(CommandReader, TheLastLineCountsWhenTheWriterGoes)
{
    tPipe pipe;
    CCommandReader reader;
    ASSERT_TRUE(reader.Start(pipe.read));
    pipe.Write("plug a");
    CloseHandle(pipe.write);
    pipe.write = nullptr;
    EXPECT_EQ((std::vector<std::string>{"plug a"}), Take(reader, 1));
    for (int i = 0; i < 50 && !reader.Ended(); ++i)
        WaitForSingleObject(reader.Ready(), 100);
    EXPECT_TRUE(reader.Ended());
}
