#include <gtest/gtest.h>

#include <string.h>

#include <random>
#include <vector>

#include "powerline/frames.h"

namespace {

tMacAddress Mac(const char* text)
{
    tMacAddress address;
    EXPECT_TRUE(MacFromText(text, address)) << text;
    return address;
}

struct tEntry {
    uint8_t type;
    std::vector<uint8_t> data;
};

void Collect(uint8_t type, size_t length, const uint8_t* data, void* context)
{
    static_cast<std::vector<tEntry>*>(context)->push_back({type, std::vector<uint8_t>(data, data + length)});
}

// A Hello as an audio device at 198.18.0.5 sends it (stream at port 8000, path "/audio.mp3"),
// written out byte by byte with its checksums.
std::vector<uint8_t> HelloFrame()
{
    return {0x02, 0x00, 0x00, 0x00, 0x00, 0x10, 0x02, 0x00, 0x00, 0x00, 0x00, 0x03, 0x08, 0x00,
            // IPv4
            0x45, 0x00, 0x00, 0x3F, 0x00, 0x01, 0x00, 0x00, 0x40, 0x11, 0xB4, 0x96, 0xC6, 0x12, 0x00, 0x05,
            0xFF, 0xFF, 0xFF, 0xFF,
            // UDP
            0x3C, 0x70, 0x3C, 0x70, 0x00, 0x2B, 0x44, 0xD9,
            // Hello
            0x8B, 0x30, 0xB6, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC6, 0x12, 0x00, 0x05,
            0x1F, 0x40, 0x02, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x0A, 0x2F, 0x61, 0x75, 0x64, 0x69,
            0x6F, 0x2E, 0x6D, 0x70, 0x33};
}

void FixIpChecksum(std::vector<uint8_t>& frame)
{
    frame[24] = frame[25] = 0;
    uint16_t sum = static_cast<uint16_t>(~InetChecksum(frame.data() + 14, 20, 0));
    memcpy(&frame[24], &sum, 2);
}

} // namespace

TEST(MacAddress, TextFormsAndOrder)
{
    tMacAddress a = Mac("02:12:34:56:9a:bc");
    EXPECT_EQ("02:12:34:56:9A:BC", MacToText(a, ":"));
    EXPECT_EQ("021234569ABC", MacToText(a, ""));
    EXPECT_EQ("02-12-34-56-9A-BC", MacToText(a, "-"));
    EXPECT_EQ(a, Mac("021234569ABC"));
    tMacAddress bad;
    for (const char* text : {"", "02:12:34:56:9A", "02:12:34:56:9A:BC:00", "02:12:34:56:9A:BG", "2:12:34:56:9A:BC"})
        EXPECT_FALSE(MacFromText(text, bad)) << text;
    EXPECT_TRUE(Mac("02:00:00:00:00:01") < Mac("02:00:00:00:00:02"));
    EXPECT_TRUE(Mac("01:FF:FF:FF:FF:FF") < Mac("02:00:00:00:00:00"));
    EXPECT_EQ(Mac("02:11:22:33:44:55"), MacAnd(Mac("03:11:22:33:44:55"), MacNot(MacGroupBit())));
    EXPECT_EQ("FF:FF:FF:FF:FF:FF", MacToText(MacBroadcast(), ":"));
}

TEST(MgmtFrame, RequestsAreBuiltByteForByte)
{
    tMgmtFrame frame;
    tMacAddress pc = Mac("02:00:00:00:00:10");
    EXPECT_EQ(17u, BuildStatReq(frame, Mac("02:00:00:00:00:01"), pc));
    EXPECT_EQ(0x88, frame.bytes[12]);
    EXPECT_EQ(0x7B, frame.bytes[13]);
    EXPECT_EQ(1, frame.bytes[14]);
    EXPECT_EQ(kEntryStatReq, frame.bytes[15]);
    EXPECT_EQ(0, frame.bytes[16]);
    EXPECT_EQ(0, memcmp(frame.bytes + 6, pc.bytes, 6));

    EXPECT_EQ(204u, BuildNetStatRequest(frame, pc));
    EXPECT_EQ(kEntryNetStat, frame.bytes[15]);
    EXPECT_EQ(187, frame.bytes[16]);
    EXPECT_EQ(0x80, frame.bytes[17]);
    EXPECT_EQ(0, frame.bytes[18]);
    EXPECT_EQ(0xFF, frame.bytes[0]);

    EXPECT_EQ(21u, BuildZivudDescriptionRequest(frame, pc));
    EXPECT_EQ(0, memcmp(frame.bytes + 15, "\x02\x04\x00\x04\x87\x10", 6));
    EXPECT_EQ(22u, BuildZivudQualityRequest(frame, pc));
    EXPECT_EQ(0, memcmp(frame.bytes + 15, "\x02\x05\x00\x04\x87\x18\x01", 7));
}

TEST(MgmtFrame, EntriesBeyondTheLimitsAreRefused)
{
    tMgmtFrame frame;
    MgmtInit(frame, MacBroadcast(), MacZero());
    for (int i = 0; i < 127; ++i)
        ASSERT_TRUE(MgmtAddEntry(frame, 0x07, 0, nullptr)) << i;
    tMgmtFrame before = frame;
    EXPECT_FALSE(MgmtAddEntry(frame, 0x07, 0, nullptr)) << "a 128th entry";
    EXPECT_EQ(0, memcmp(&before, &frame, sizeof frame));

    MgmtInit(frame, MacBroadcast(), MacZero());
    std::vector<uint8_t> data(255, 0xAB);
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(MgmtAddEntry(frame, 0x1A, 255, data.data()));
    EXPECT_EQ(15u + 5 * 257, MgmtLength(frame));
    before = frame;
    EXPECT_FALSE(MgmtAddEntry(frame, 0x1A, 255, data.data())) << "would pass 1514 bytes";
    EXPECT_EQ(0, memcmp(&before, &frame, sizeof frame));
    EXPECT_TRUE(MgmtAddEntry(frame, 0x1A, 1514 - 15 - 5 * 257 - 2, data.data())) << "exactly 1514 fits";
    EXPECT_EQ(1514u, MgmtLength(frame));
}

TEST(MgmtFrame, ParsingStopsAtEntriesThatRunPastTheEnd)
{
    tMgmtFrame frame;
    MgmtInit(frame, MacBroadcast(), MacZero());
    const uint8_t data[4] = {1, 2, 3, 4};
    MgmtAddEntry(frame, 0x08, 2, data);
    MgmtAddEntry(frame, 0x09, 4, data);
    MgmtAddEntry(frame, 0x0A, 1, data);
    size_t length = MgmtLength(frame);

    std::vector<tEntry> entries;
    EXPECT_TRUE(MgmtParse(frame.bytes, length, Collect, &entries));
    ASSERT_EQ(3u, entries.size());
    EXPECT_EQ(0x09, entries[1].type);
    EXPECT_EQ(4u, entries[1].data.size());

    entries.clear();
    EXPECT_FALSE(MgmtParse(frame.bytes, 15 + 4 + 3, Collect, &entries)) << "second entry cut";
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(0x08, entries[0].type);

    frame.bytes[14] = 0x83; // the reserved bit is ignored: still three entries
    entries.clear();
    EXPECT_TRUE(MgmtParse(frame.bytes, length, Collect, &entries));
    EXPECT_EQ(3u, entries.size());

    frame.bytes[14] = 0x80;
    EXPECT_FALSE(MgmtParse(frame.bytes, length, Collect, &entries)) << "no entries";
    frame.bytes[14] = 5;
    entries.clear();
    EXPECT_FALSE(MgmtParse(frame.bytes, length, Collect, &entries)) << "the count lies";
    EXPECT_EQ(3u, entries.size());
    EXPECT_FALSE(MgmtParse(frame.bytes, 14, Collect, &entries));
    frame.bytes[13] = 0x7C;
    EXPECT_FALSE(MgmtParse(frame.bytes, length, Collect, &entries)) << "other EtherType";
}

TEST(MgmtFrame, StationRecords)
{
    std::vector<uint8_t> netstat(187, 0);
    const uint8_t empty[6] = {0x01, 0, 0, 0, 0, 0};
    const uint8_t unknown[6] = {0x03, 0x11, 0x22, 0x33, 0x44, 0x55};
    const uint8_t remote[6] = {0x02, 0x12, 0x34, 0x56, 0x9A, 0xBC};
    memcpy(&netstat[7], empty, 6);
    memcpy(&netstat[7 + 12], unknown, 6);
    memcpy(&netstat[7 + 24], remote, 6);
    netstat[7 + 24 + 6] = 0x07; // 519 little-endian
    netstat[7 + 24 + 7] = 0x02;
    tMacAddress address;
    uint16_t raw = 0;
    EXPECT_FALSE(NetStatRecord(netstat.data(), 0, address, raw)) << "01:00:00:00:00:00 is empty";
    EXPECT_TRUE(NetStatRecord(netstat.data(), 1, address, raw));
    EXPECT_EQ(Mac("02:11:22:33:44:55"), MacAnd(address, MacNot(MacGroupBit())));
    EXPECT_TRUE(NetStatRecord(netstat.data(), 2, address, raw));
    EXPECT_EQ(519, raw);
    EXPECT_FALSE(NetStatRecord(netstat.data(), 14, address, raw));

    EXPECT_EQ(2, ZivudQualityCount(20));
    EXPECT_EQ(1, ZivudQualityCount(12));
    EXPECT_EQ(0, ZivudQualityCount(11));
    std::vector<uint8_t> quality = {0, 4, 0x87, 0x98, 2, 0x12, 0x34, 0x56, 0x9A, 0xBC, 0x0A, 0xFC};
    ZivudQualityRecord(quality.data(), 0, address, raw);
    EXPECT_EQ(Mac("02:12:34:56:9A:BC"), address);
    EXPECT_EQ(2812, raw) << "big-endian";
    EXPECT_EQ(0x18, ZivudSubtype(quality.data())) << "the high bit of the subtype is ignored";
    EXPECT_TRUE(IsZivudEntry(quality.size(), quality.data()));
    EXPECT_FALSE(IsZivudEntry(3, quality.data()));
}

TEST(Rates, ConversionsMeetAtTheKnees)
{
    EXPECT_NEAR(6.0, ZivudQualityRate(252), 1e-9);
    EXPECT_NEAR(14.0, ZivudQualityRate(519), 1e-9);
    EXPECT_NEAR(85.0, ZivudQualityRate(2812), 1e-9);
    EXPECT_NEAR(0.0, ZivudQualityRate(0), 1e-9);
    EXPECT_NEAR(10.0, ZivudQualityRate(385), 0.02);
    EXPECT_NEAR(14.0, NetStatRate(519), 1e-9);
    EXPECT_NEAR(-0.1297891297891298, NetStatRate(0), 1e-12);
    EXPECT_GT(NetStatRate(2000), NetStatRate(1999));
}

TEST(Checksums, InternetChecksumAsStoredInMemory)
{
    // A well-known IPv4 header whose checksum field holds B8 61.
    std::vector<uint8_t> header = {0x45, 0x00, 0x00, 0x73, 0x00, 0x00, 0x40, 0x00, 0x40, 0x11,
                                   0x00, 0x00, 0xC0, 0xA8, 0x00, 0x01, 0xC0, 0xA8, 0x00, 0xC7};
    uint16_t sum = static_cast<uint16_t>(~InetChecksum(header.data(), header.size(), 0));
    memcpy(&header[10], &sum, 2);
    EXPECT_EQ(0xB8, header[10]);
    EXPECT_EQ(0x61, header[11]);
    EXPECT_EQ(0xFFFF, InetChecksum(header.data(), header.size(), 0)) << "a header with its checksum verifies";

    const uint8_t odd[3] = {0x01, 0x02, 0x03};
    EXPECT_EQ(InetChecksum(odd, 2, 0) + 0x03, InetChecksum(odd, 3, 0)) << "an odd last byte is a low byte";
    const uint8_t carry[4] = {0xFF, 0xFF, 0x02, 0x00};
    EXPECT_EQ(0x0002, InetChecksum(carry, 4, 0)) << "carries are folded in";
}

TEST(WhoIsThere, FortySevenBytesWithValidChecksums)
{
    uint8_t frame[kWhoIsThereLength];
    tMacAddress pc = Mac("02:00:00:00:00:10");
    ASSERT_EQ(47u, BuildWhoIsThere(frame, pc, 0x12345678));
    EXPECT_EQ(0, memcmp(frame, MacBroadcast().bytes, 6));
    EXPECT_EQ(0, memcmp(frame + 6, pc.bytes, 6));
    EXPECT_EQ(0x08, frame[12]);
    EXPECT_EQ(0x45, frame[14]);
    EXPECT_EQ(33, frame[16] << 8 | frame[17]);
    EXPECT_EQ(0x78, frame[18]) << "identification: low byte first";
    EXPECT_EQ(0x56, frame[19]);
    EXPECT_EQ(0x40, frame[20]);
    EXPECT_EQ(255, frame[22]);
    EXPECT_EQ(17, frame[23]);
    EXPECT_EQ(0xFFFF, InetChecksum(frame + 14, 20, 0));
    EXPECT_EQ(0, memcmp(frame + 26, "\0\0\0\0\xFF\xFF\xFF\xFF", 8));
    EXPECT_EQ(15472, frame[34] << 8 | frame[35]);
    EXPECT_EQ(15472, frame[36] << 8 | frame[37]);
    EXPECT_EQ(13, frame[38] << 8 | frame[39]);
    EXPECT_EQ(0, memcmp(frame + 42, "\x8B\x30\xB6\x01\x01", 5));
    // UDP checksum over pseudo-header and datagram
    uint8_t pseudo[12] = {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 17, 0, 13};
    EXPECT_EQ(0xFFFF, InetChecksum(frame + 34, 13, InetChecksum(pseudo, 12, 0)));

    tUdpPayload udp;
    EXPECT_FALSE(CheckUdpFrame(frame, sizeof frame, udp)) << "do-not-fragment datagrams are dropped";
}

TEST(Hello, AcceptedOnlyWhenEveryCheckPasses)
{
    std::vector<uint8_t> frame = HelloFrame();
    tUdpPayload udp;
    ASSERT_TRUE(CheckUdpFrame(frame.data(), frame.size(), udp));
    EXPECT_EQ(0x050012C6u, udp.sourceAddress);
    EXPECT_EQ(25u + 10, udp.length);
    tHello parsed;
    ASSERT_TRUE(ParseHello(udp.data, udp.length, parsed));
    EXPECT_TRUE(parsed.stream);
    EXPECT_EQ(8000, parsed.httpPort);
    EXPECT_EQ(0, parsed.state);
    EXPECT_EQ(Mac("02:00:00:00:00:03"), parsed.station);
    EXPECT_EQ("/audio.mp3", parsed.path);
    EXPECT_EQ("198.18.0.5", Ipv4ToText(parsed.address));

    // The path length may not point past the payload.
    std::vector<uint8_t> payload(udp.data, udp.data + udp.length);
    payload[24] = 11;
    EXPECT_FALSE(ParseHello(payload.data(), payload.size(), parsed));
    payload[24] = 10;
    payload[4] = 1;
    EXPECT_FALSE(ParseHello(payload.data(), payload.size(), parsed)) << "a WhoIsThere is no Hello";
    EXPECT_FALSE(ParseHello(payload.data(), 24, parsed));

    std::vector<uint8_t> bad = frame;
    bad[20] = 0x40;
    FixIpChecksum(bad);
    EXPECT_FALSE(CheckUdpFrame(bad.data(), bad.size(), udp)) << "do not fragment";
    bad = frame;
    bad[25] ^= 1;
    EXPECT_FALSE(CheckUdpFrame(bad.data(), bad.size(), udp)) << "IP checksum";
    bad = frame;
    bad[frame.size() - 1] ^= 1;
    EXPECT_FALSE(CheckUdpFrame(bad.data(), bad.size(), udp)) << "UDP checksum";
    bad[40] = bad[41] = 0;
    EXPECT_TRUE(CheckUdpFrame(bad.data(), bad.size(), udp)) << "a zero UDP checksum is not verified";
    bad = frame;
    bad[16] = 0x05; // total length far beyond the frame
    FixIpChecksum(bad);
    EXPECT_FALSE(CheckUdpFrame(bad.data(), bad.size(), udp));
    bad = frame;
    bad[14] = 0x44; // header length 16
    FixIpChecksum(bad);
    EXPECT_FALSE(CheckUdpFrame(bad.data(), bad.size(), udp));
    bad = frame;
    bad[23] = 6;
    FixIpChecksum(bad);
    EXPECT_FALSE(CheckUdpFrame(bad.data(), bad.size(), udp)) << "TCP";
    bad = frame;
    bad[36] = 0;
    bad[40] = bad[41] = 0;
    EXPECT_FALSE(CheckUdpFrame(bad.data(), bad.size(), udp)) << "other port";
    EXPECT_FALSE(CheckUdpFrame(frame.data(), 33, udp)) << "runt";
}

TEST(Parsers, RandomBytesNeverReadPastTheFrame)
{
    // Each input lives in a buffer of exactly its size, so a read past it is a real overrun
    // that the sanitizer build and the fuzz harness catch; here every length from 0 to 1514
    // and every lie in counts and lengths must simply be survived.
    std::mt19937 random(12345);
    std::vector<tEntry> entries;
    for (int round = 0; round < 20000; ++round) {
        size_t length = random() % 1515;
        std::unique_ptr<uint8_t[]> frame(new uint8_t[length ? length : 1]);
        for (size_t i = 0; i < length; ++i)
            frame[i] = static_cast<uint8_t>(random());
        if (length > 14 && round % 2) {
            frame[12] = 0x88;
            frame[13] = 0x7B;
        }
        entries.clear();
        MgmtParse(frame.get(), length, Collect, &entries);
        for (const tEntry& e : entries)
            ASSERT_LE(e.data.size(), length);
        tUdpPayload udp;
        if (CheckUdpFrame(frame.get(), length, udp)) {
            ASSERT_LE(udp.data + udp.length, frame.get() + length);
            tHello hello;
            ParseHello(udp.data, udp.length, hello);
        }
    }
}

TEST(MacAddress, GroupAddressesNameNoStation)
{
    EXPECT_TRUE(MacIsGroup(MacBroadcast()));
    EXPECT_TRUE(MacIsGroup(Mac("01:00:5E:00:00:01")));
    EXPECT_TRUE(MacIsGroup(Mac("03:11:22:33:44:55")));
    EXPECT_FALSE(MacIsGroup(Mac("02:11:22:33:44:55")));
    EXPECT_FALSE(MacIsGroup(Mac("FE:FF:FF:FF:FF:FF")));
}

TEST(Zivud, DescriptionTellsRemoteFromLocalByBitZeroOfByteFour)
{
    // 00 04 87, subtype 0x90 (0x10 with the answer bit), then the byte that matters.
    uint8_t data[16] = {0x00, 0x04, 0x87, 0x90, 0x01};
    ASSERT_TRUE(IsZivudEntry(sizeof data, data));
    EXPECT_EQ(kZivudDeviceDescription, ZivudSubtype(data));
    EXPECT_TRUE(ZivudDescribesRemote(data));
    data[4] = 0xFE;
    EXPECT_FALSE(ZivudDescribesRemote(data)) << "only bit 0 counts";
    data[4] = 0x03;
    EXPECT_TRUE(ZivudDescribesRemote(data));
}

TEST(Hello, StreamPathsThatCouldChangeAnAddressOrACommandLineAreUnsafe)
{
    for (const char* path : {"", "/", "/live.mp3", "/live stream", "/a?b=c&d=%20", "/x\\y"})
        EXPECT_TRUE(IsSafeStreamPath(path)) << path;
    for (const char* path : {"live.mp3", "@evil.example/x", ":99/x", "/a\"b", "/a\tb", "/a\rb", "/a\nb",
                             "/caf\xE9", "/\x7F"})
        EXPECT_FALSE(IsSafeStreamPath(path)) << path;
    EXPECT_FALSE(IsSafeStreamPath(std::string("/a\0b", 4)));
}
