#include <gtest/gtest.h>

#include <string.h>

#include "plexaconf/key_frames.h"
#include "powerline/tests/test_stations.h"
#include "tools/plcsim/emulator.h"

namespace {

const char kScenario[] = R"(
[local desk]
address = 02:00:00:00:00:01
kind = homeplug
port = eth0
password = OldKey
eeprom = 000102030405060708090A0B0C0D

[remote study]
address = 02:00:00:00:00:02
password = Somewhere
security_id = STUD-Y000-0000-0002

[remote attic]
address = 02:00:00:00:00:03
kind = hs
password = Elsewhere
security_id = ATTI-C000-0000-0003

[remote neighbour]
address = 02:00:00:00:00:09
password = NotOurs
security_id = NEIG-HBOU-R000-0009

[local office]
address = 02:00:00:00:00:0A
kind = hs
port = eth1
key = 0123456789abcdef
)";

using teststations::kPc;
using teststations::Mac;

struct tEmulatorTest : ::testing::Test {
    CEmulator emulator{Parse(), KeyFromPassword};

    static tScenario Parse()
    {
        tScenario scenario;
        std::string error;
        EXPECT_TRUE(ParseScenario(kScenario, scenario, error)) << error;
        return scenario;
    }
    const tDeviceKeys& Keys(const char* name)
    {
        for (size_t i = 0; i < emulator.Devices().size(); ++i)
            if (emulator.Devices()[i].name == name)
                return emulator.KeysOf(i);
        ADD_FAILURE() << name;
        return emulator.KeysOf(0);
    }
    std::vector<tEmulatorFrame> Send(const char* port, const tMgmtFrame& frame, size_t length)
    {
        return emulator.OnFrame(port, frame.bytes, length);
    }
    std::vector<std::string> Answers(const char* port, const tMgmtFrame& frame, size_t length)
    {
        std::vector<std::string> d;
        for (const tEmulatorFrame& f : Send(port, frame, length))
            d.push_back(f.description);
        return d;
    }
    std::vector<std::string> WhoAnswersStatReq(const char* port)
    {
        tMgmtFrame frame;
        return Answers(port, frame, BuildStatReq(frame, MacBroadcast(), kPc));
    }
};

typedef std::vector<std::string> tNames;

} // namespace

TEST_F(tEmulatorTest, EepromShowsTheKeyWrittenLastAndKeepsOnlyLastingConfiguration)
{
    tMgmtFrame frame;
    std::vector<tEmulatorFrame> answers = Send("eth0", frame, BuildEepromRead(frame, MacBroadcast(), kPc, 0));
    ASSERT_EQ(1u, answers.size());
    const tFrameBytes& eeprom = answers[0].bytes;
    tKeyResponse r;
    ASSERT_TRUE(ParseKeyResponse(eeprom.data(), eeprom.size(), r));
    ASSERT_TRUE(r.eepromValid);
    EXPECT_EQ(kPc, r.destination);
    EXPECT_EQ(0x0D, r.eeprom[13]) << "the scenario's block";
    EXPECT_EQ(0x01, r.eeprom[kImageEks]);
    EXPECT_EQ(0, memcmp(r.eeprom + kImageKey, KeyFromPassword("OldKey").bytes, 8));
    EXPECT_EQ(0x40, r.eeprom[kImageConfiguration]);

    const tNetworkKey fresh = KeyFromPassword("Fresh");
    const uint8_t temporary[3] = {0x41, 0x01, 0x07};
    EXPECT_TRUE(Send("eth0", frame, BuildSetKey(frame, kPc, kEksNetwork, fresh, temporary)).empty());
    EXPECT_EQ(fresh, Keys("desk").nek);
    answers = Send("eth0", frame, BuildEepromRead(frame, Mac("02:00:00:00:00:01"), kPc, 0x10));
    ASSERT_EQ(1u, answers.size());
    ASSERT_TRUE(ParseKeyResponse(answers[0].bytes.data(), answers[0].bytes.size(), r));
    EXPECT_EQ(0, memcmp(r.eeprom + kImageKey, fresh.bytes, 8));
    EXPECT_EQ(0x40, r.eeprom[kImageConfiguration]) << "bit 0 of the second byte: not kept";
    const uint8_t lasting[3] = {0x42, 0x00, 0x05};
    Send("eth0", frame, BuildConfiguration(frame, kPc, lasting));
    answers = Send("eth0", frame, BuildEepromRead(frame, MacBroadcast(), kPc, 0));
    ASSERT_TRUE(ParseKeyResponse(answers[0].bytes.data(), answers[0].bytes.size(), r));
    EXPECT_EQ(0x42, r.eeprom[kImageConfiguration]);
    EXPECT_EQ(0x05, r.eeprom[kImageConfiguration + 2]);
    EXPECT_TRUE(Send("eth1", frame, BuildEepromRead(frame, Mac("02:00:00:00:00:01"), kPc, 0x10)).empty())
        << "an adapter on another port";
}

TEST_F(tEmulatorTest, DefaultKeySlotCarriesTheKeyToThatDeviceOnly)
{
    EXPECT_EQ((tNames{"StatRsp from desk"}), WhoAnswersStatReq("eth0")) << "every device on another key";
    const tNetworkKey random = KeyFromPassword("random");
    tMgmtFrame frame;
    // Without a DEK the key stays with the local adapter.
    Send("eth0", frame, BuildSetLocalKey(frame, MacBroadcast(), kPc, random));
    EXPECT_EQ((tNames{"StatRsp from desk"}), WhoAnswersStatReq("eth0"));

    const uint8_t configuration[3] = {0x40, 0x01, 0x00};
    Send("eth0", frame, BuildSetKey(frame, kPc, kEksDefault, KeyFromPassword("STUDY00000000002"), configuration));
    EXPECT_EQ(random, Keys("desk").nek) << "a DEK is no network key";
    EXPECT_TRUE(Keys("desk").hasDek);
    Send("eth0", frame, BuildSetKey(frame, kPc, kEksNetwork, random, nullptr));
    EXPECT_EQ(random, Keys("study").nek);
    EXPECT_EQ(KeyFromPassword("Elsewhere"), Keys("attic").nek);
    EXPECT_EQ(KeyFromPassword("NotOurs"), Keys("neighbour").nek);
    EXPECT_EQ((tNames{"StatRsp from desk", "StatRsp from study"}), WhoAnswersStatReq("eth0"));

    EXPECT_FALSE(Keys("desk").hasDek) << "the slot serves one key";
    const tNetworkKey next = KeyFromPassword("next");
    Send("eth0", frame, BuildSetLocalKey(frame, MacBroadcast(), kPc, next));
    EXPECT_EQ(random, Keys("study").nek);
}

TEST_F(tEmulatorTest, VendorKindConfirmsItsKeyAndCarriesTheRemoteKeyFrame)
{
    const tMacAddress office = Mac("02:00:00:00:00:0A");
    const tNetworkKey random = KeyFromPassword("random");
    tMgmtFrame frame;
    EXPECT_EQ((tNames{"SetKeyConfirm from office"}), Answers("eth1", frame, BuildSetLocalKey(frame, office, kPc, random)));
    EXPECT_EQ(random, Keys("office").nek);

    const tNetworkKey atticDak = KeyFromPassword("ATTIC00000000003");
    const tNetworkKey studyDak = KeyFromPassword("STUDY00000000002");
    EXPECT_TRUE(Answers("eth1", frame, BuildRemoteKey(frame, MacBroadcast(), kPc, random, &studyDak)).empty())
        << "the HomePlug 1.0 device does not read the vendor's frame";
    EXPECT_EQ(KeyFromPassword("Somewhere"), Keys("study").nek);
    EXPECT_TRUE(Answers("eth1", frame, BuildRemoteKey(frame, Mac("02:00:00:00:00:02"), kPc, random, &atticDak)).empty())
        << "addressed to another device";
    EXPECT_EQ((tNames{"SetKeyConfirm from attic"}),
              Answers("eth1", frame, BuildRemoteKey(frame, MacBroadcast(), kPc, random, &atticDak)));
    EXPECT_EQ(random, Keys("attic").nek);
    const tNetworkKey other = KeyFromPassword("other");
    EXPECT_TRUE(Answers("eth1", frame, BuildRemoteKey(frame, Mac("02:00:00:00:00:03"), kPc, other, &atticDak)).empty())
        << "it takes the key, but no longer shares the local adapter's";
    EXPECT_EQ(other, Keys("attic").nek);

    // Without a DAK only a device in reach takes a key; it confirms before it changes.
    EXPECT_TRUE(Answers("eth1", frame, BuildRemoteKey(frame, Mac("02:00:00:00:00:03"), kPc, random, nullptr)).empty());
    std::string reply;
    ASSERT_TRUE(emulator.Command("key attic 0123456789abcdef", reply));
    Send("eth1", frame, BuildSetLocalKey(frame, office, kPc, Keys("attic").nek));
    EXPECT_EQ((tNames{"SetKeyConfirm from attic"}),
              Answers("eth1", frame, BuildRemoteKey(frame, Mac("02:00:00:00:00:03"), kPc, random, nullptr)));
    EXPECT_EQ(random, Keys("attic").nek);
}

TEST_F(tEmulatorTest, KeysCommandPrintsEveryDevice)
{
    std::string reply;
    ASSERT_TRUE(emulator.Command("keys", reply));
    EXPECT_NE(std::string::npos, reply.find("keys desk nek=" + KeyToHex(KeyFromPassword("OldKey")) + " dak=- dek=-\n"));
    EXPECT_NE(std::string::npos, reply.find("keys study nek=" + KeyToHex(KeyFromPassword("Somewhere")) +
                                            " dak=" + KeyToHex(KeyFromPassword("STUDY00000000002")) + " dek=-\n"));
    EXPECT_NE(std::string::npos, reply.find("keys office nek=0123456789abcdef"));
    EXPECT_EQ("keys end", reply.substr(reply.size() - 8));

    tScenario scenario;
    std::string error;
    EXPECT_FALSE(ParseScenario("[local a]\naddress = 02:00:00:00:00:01\neeprom = 0G\n", scenario, error));
    EXPECT_EQ("line 3: bad value for eeprom: 0G", error);
    EXPECT_FALSE(ParseScenario("[local a]\naddress = 02:00:00:00:00:01\neeprom = " + std::string(104, '0') + "\n",
                               scenario, error));
    ASSERT_TRUE(ParseScenario("[local a]\naddress = 02:00:00:00:00:01\npassword = 0123456789abcdef\n", scenario, error));
    CEmulator passwords(scenario, KeyFromPassword);
    EXPECT_EQ(KeyFromPassword("0123456789abcdef"), passwords.KeysOf(0).nek) << "a password, though it looks like a key";
}
