#include <gtest/gtest.h>

#include <string.h>

#include "tools/plcsim/emulator.h"

namespace {

const char kScenario[] = R"(
; a small home network
[local kitchen]
address = 02:00:00:00:00:01
kind = homeplug
port = veth-b
key = HomeKey

[local office]
address = 02:00:00:00:00:0A
kind = hs
port = veth-b
key = HomeKey

[remote study]
address = 02:00:00:00:00:02
kind = hs
key = HomeKey
rate = 519
quality = 2812

[remote garage]
address = 02:00:00:00:00:03
key = HomeKey
rate = 300
quality = 252
group = yes

[remote speaker]
address = 02:00:00:00:00:04
key = HomeKey
rate = 400
audio = yes
ip = 198.18.0.20
stream = yes
http_port = 8000
path = /live.mp3
state = 1

[remote neighbour]
address = 02:00:00:00:00:05
key = OtherKey
rate = 600
)";

tMacAddress Mac(const char* text)
{
    tMacAddress a;
    MacFromText(text, a);
    return a;
}

const tMacAddress kPc = Mac("02:00:00:00:00:10");

CEmulator Make()
{
    tScenario scenario;
    std::string error;
    EXPECT_TRUE(ParseScenario(kScenario, scenario, error)) << error;
    return CEmulator(scenario);
}

std::vector<std::string> Descriptions(const std::vector<tEmulatorFrame>& frames)
{
    std::vector<std::string> d;
    for (const tEmulatorFrame& f : frames)
        d.push_back(f.description);
    return d;
}

struct tCollected {
    std::vector<std::pair<uint8_t, std::vector<uint8_t>>> entries;
};
void Collect(uint8_t type, size_t length, const uint8_t* data, void* context)
{
    static_cast<tCollected*>(context)->entries.emplace_back(type, std::vector<uint8_t>(data, data + length));
}

} // namespace

TEST(Scenario, ParsesDevicesAndReportsTheBadLine)
{
    tScenario scenario;
    std::string error;
    ASSERT_TRUE(ParseScenario(kScenario, scenario, error)) << error;
    ASSERT_EQ(6u, scenario.devices.size());
    EXPECT_EQ(ROLE_LOCAL, scenario.devices[0].role);
    EXPECT_EQ(KIND_HS, scenario.devices[1].kind);
    EXPECT_EQ("veth-b", scenario.devices[0].port);
    EXPECT_EQ(2812, scenario.devices[2].quality);
    EXPECT_TRUE(scenario.devices[3].group);
    EXPECT_TRUE(scenario.devices[4].audio);
    EXPECT_EQ(8000, scenario.devices[4].httpPort);
    EXPECT_EQ("/live.mp3", scenario.devices[4].path);

    struct {
        const char* text;
        const char* error;
    } bad[] = {
        {"address = 02:00:00:00:00:01\n", "line 1: a setting before the first device section"},
        {"[local a]\naddress = 02:00:00:00:00:01\nrate = 70000\n", "line 3: bad value for rate: 70000"},
        {"[local a]\naddress = 03:00:00:00:00:01\n", "line 2: bad value for address: 03:00:00:00:00:01"},
        {"[router a]\n", "line 1: expected [local NAME] or [remote NAME]"},
        {"[local a]\naddress = 02:00:00:00:00:01\n[remote a]\n", "line 3: device a is defined twice"},
        {"[local a]\ncolour = red\n", "line 2: unknown setting colour"},
        {"[local a]\nno equals here\n", "line 2: expected key = value"},
        {"[local a]\nkind = hs\n", "device a has no address"},
        {"; nothing\n", "the scenario names no device"},
        {"[local a]\naddress = 02:00:00:00:00:01\nip = 198.18.0.300\n", "line 3: bad value for ip: 198.18.0.300"},
    };
    for (const auto& b : bad) {
        EXPECT_FALSE(ParseScenario(b.text, scenario, error)) << b.text;
        EXPECT_EQ(b.error, error);
    }
}

TEST(Emulator, StatReqIsAnsweredByEveryDeviceWithTheSameKey)
{
    CEmulator emulator = Make();
    tMgmtFrame request;
    size_t length = BuildStatReq(request, MacBroadcast(), kPc);
    std::vector<tEmulatorFrame> answers = emulator.OnFrame("veth-b", request.bytes, length);
    EXPECT_EQ((std::vector<std::string>{"StatRsp from kitchen", "StatRsp from office", "StatRsp from study",
                                        "StatRsp from garage", "StatRsp from speaker"}),
              Descriptions(answers));
    for (const tEmulatorFrame& answer : answers) {
        EXPECT_EQ(0, memcmp(answer.bytes.data(), kPc.bytes, 6)) << "addressed to the requester";
        tCollected c;
        EXPECT_TRUE(MgmtParse(answer.bytes.data(), answer.bytes.size(), Collect, &c));
        EXPECT_EQ(kEntryStatRsp, c.entries[0].first);
        EXPECT_EQ(22u, c.entries[0].second.size());
    }

    length = BuildStatReq(request, Mac("02:00:00:00:00:05"), kPc);
    EXPECT_TRUE(emulator.OnFrame("veth-b", request.bytes, length).empty()) << "another network key";
    length = BuildStatReq(request, Mac("02:00:00:00:00:02"), kPc);
    EXPECT_EQ(1u, emulator.OnFrame("veth-b", request.bytes, length).size());
    EXPECT_TRUE(emulator.OnFrame("eth9", request.bytes, length).empty()) << "no local device on that port";

    std::string reply;
    EXPECT_TRUE(emulator.Command("unplug study", reply));
    EXPECT_EQ("ok unplug study", reply);
    EXPECT_TRUE(emulator.OnFrame("veth-b", request.bytes, length).empty());
    EXPECT_TRUE(emulator.Command("key neighbour HomeKey", reply));
    length = BuildStatReq(request, Mac("02:00:00:00:00:05"), kPc);
    EXPECT_EQ(1u, emulator.OnFrame("veth-b", request.bytes, length).size()) << "same key now";
    EXPECT_FALSE(emulator.Command("unplug nobody", reply));
    EXPECT_FALSE(emulator.Command("rate study fast", reply));
}

TEST(Emulator, NetStatAndZivudAnswers)
{
    CEmulator emulator = Make();
    tMgmtFrame request;
    size_t length = BuildNetStatRequest(request, kPc);
    std::vector<tEmulatorFrame> answers = emulator.OnFrame("veth-b", request.bytes, length);
    ASSERT_EQ((std::vector<std::string>{"NetStat from kitchen"}), Descriptions(answers)) << "HomePlug 1.0 locals only";
    tCollected c;
    ASSERT_TRUE(MgmtParse(answers[0].bytes.data(), answers[0].bytes.size(), Collect, &c));
    const std::vector<uint8_t>& data = c.entries[0].second;
    ASSERT_EQ(187u, data.size());
    EXPECT_EQ(0, data[0] & 0x80);
    tMacAddress address;
    uint16_t raw;
    ASSERT_TRUE(NetStatRecord(data.data(), 0, address, raw));
    EXPECT_EQ(Mac("02:00:00:00:00:02"), address);
    EXPECT_EQ(519, raw);
    ASSERT_TRUE(NetStatRecord(data.data(), 1, address, raw));
    EXPECT_EQ(Mac("03:00:00:00:00:03"), address) << "reported with the group bit";
    EXPECT_FALSE(NetStatRecord(data.data(), 3, address, raw)) << "the neighbour has another key";

    length = BuildZivudDescriptionRequest(request, kPc);
    EXPECT_EQ((std::vector<std::string>{"ZivudDevDsc (local) from office", "ZivudDevDsc (remote) from study"}),
              Descriptions(emulator.OnFrame("veth-b", request.bytes, length)));

    length = BuildZivudQualityRequest(request, kPc);
    answers = emulator.OnFrame("veth-b", request.bytes, length);
    ASSERT_EQ((std::vector<std::string>{"ZivudQuality from office"}), Descriptions(answers));
    c.entries.clear();
    MgmtParse(answers[0].bytes.data(), answers[0].bytes.size(), Collect, &c);
    EXPECT_EQ(3, ZivudQualityCount(c.entries[0].second.size()));
    ZivudQualityRecord(c.entries[0].second.data(), 0, address, raw);
    EXPECT_EQ(2812, raw);
}

TEST(Emulator, WhoIsThereBringsAValidHello)
{
    CEmulator emulator = Make();
    uint8_t request[kWhoIsThereLength];
    BuildWhoIsThere(request, kPc, 42);
    std::vector<tEmulatorFrame> answers = emulator.OnFrame("veth-b", request, sizeof request);
    ASSERT_EQ((std::vector<std::string>{"Hello from speaker"}), Descriptions(answers));
    const std::vector<uint8_t>& hello = answers[0].bytes;
    EXPECT_EQ(0, memcmp(hello.data(), kPc.bytes, 6));
    tUdpPayload udp;
    ASSERT_TRUE(CheckUdpFrame(hello.data(), hello.size(), udp)) << "passes the PC's checks";
    tHello parsed;
    ASSERT_TRUE(ParseHello(udp.data, udp.length, parsed));
    EXPECT_EQ(Mac("02:00:00:00:00:04"), parsed.station);
    EXPECT_EQ("/live.mp3", parsed.path);
    EXPECT_EQ(1, parsed.state);
    EXPECT_EQ("198.18.0.20", Ipv4ToText(udp.sourceAddress));

    // Its own answers seen again on the link are not answered.
    EXPECT_TRUE(emulator.OnFrame("veth-b", hello.data(), hello.size()).empty());
    EXPECT_EQ("02:00:00:00:00:04 > 02:00:00:00:00:10 Hello", CEmulator::Describe(hello.data(), hello.size()));
    EXPECT_EQ("02:00:00:00:00:10 > FF:FF:FF:FF:FF:FF WhoIsThere", CEmulator::Describe(request, sizeof request));
}

TEST(Emulator, GarbageIsSurvived)
{
    CEmulator emulator = Make();
    std::vector<uint8_t> frame(1514);
    uint32_t x = 7;
    for (int round = 0; round < 3000; ++round) {
        size_t length = (x = x * 1103515245u + 12345u) % 1515;
        for (size_t i = 0; i < length; ++i)
            frame[i] = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 24);
        if (round % 3 == 0 && length > 14) {
            frame[12] = 0x88;
            frame[13] = 0x7B;
        }
        for (const tEmulatorFrame& answer : emulator.OnFrame("veth-b", frame.data(), length)) {
            ASSERT_LE(answer.bytes.size(), kMaxFrame);
            ASSERT_TRUE(emulator.IsOwnAddress(MacFromBytes(answer.bytes.data() + 6)));
        }
        ASSERT_FALSE(CEmulator::Describe(frame.data(), length).empty());
    }
}
