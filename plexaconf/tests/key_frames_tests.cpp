#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "plexaconf/key_frames.h"
#include "powerline/tests/test_stations.h"

namespace {

typedef std::vector<uint8_t> tBytes;

tNetworkKey Key(const char* hex)
{
    tNetworkKey k;
    KeyFromHex(hex, k);
    return k;
}

using teststations::kLocal;
using teststations::kPc;
using teststations::Mac;
const tNetworkKey kNek = Key("46d613e0f84a764c");
const tNetworkKey kDak = Key("efd386d69df28049");

// The frame as sent, and the bytes expected up to where the rest is zero.
void ExpectFrame(const tMgmtFrame& frame, size_t length, size_t expectedLength, const tBytes& head)
{
    ASSERT_EQ(expectedLength, length);
    tBytes sent(frame.bytes, frame.bytes + length);
    tBytes expected = head;
    expected.resize(expectedLength, 0);
    EXPECT_EQ(expected, sent);
}

const tBytes kBroadcastFromPc = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0, 0, 0, 0, 0x10, 0x88, 0x7B};
const tBytes kLocalFromPc = {0x02, 0, 0, 0, 0, 0x01, 0x02, 0, 0, 0, 0, 0x10, 0x88, 0x7B};

tBytes Join(tBytes a, const tBytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(KeyFrames, KeyFramesByteForByte)
{
    tMgmtFrame frame;
    ExpectFrame(frame, BuildSetLocalKey(frame, MacBroadcast(), kPc, kNek), 272,
                Join(kBroadcastFromPc, {0x01, 0x04, 0x09, 0x01, 0x46, 0xD6, 0x13, 0xE0, 0xF8, 0x4A, 0x76, 0x4C}));
    ExpectFrame(frame, BuildSetLocalKey(frame, kLocal, kPc, kNek), 272,
                Join(kLocalFromPc, {0x01, 0x04, 0x09, 0x01, 0x46, 0xD6, 0x13, 0xE0, 0xF8, 0x4A, 0x76, 0x4C}));

    const uint8_t configuration[3] = {0x41, 0x01, 0x00};
    ExpectFrame(frame, BuildSetKey(frame, kPc, kEksDefault, kDak, configuration), 31,
                Join(kBroadcastFromPc, {0x02, 0x04, 0x09, 0x00, 0xEF, 0xD3, 0x86, 0xD6, 0x9D, 0xF2, 0x80, 0x49,
                                        0x1F, 0x03, 0x41, 0x01, 0x00}));
    ExpectFrame(frame, BuildSetKey(frame, kPc, kEksNetwork, kNek, nullptr), 31,
                Join(kBroadcastFromPc, {0x01, 0x04, 0x09, 0x01, 0x46, 0xD6, 0x13, 0xE0, 0xF8, 0x4A, 0x76, 0x4C}));
    const uint8_t tfc[3] = {0x40, 0x01, 0x01};
    ExpectFrame(frame, BuildConfiguration(frame, kPc, tfc), 20,
                Join(kBroadcastFromPc, {0x01, 0x1F, 0x03, 0x40, 0x01, 0x01}));
}

TEST(KeyFrames, RequestsAndTheRemoteKeyByteForByte)
{
    tMgmtFrame frame;
    ExpectFrame(frame, BuildEepromRead(frame, MacBroadcast(), kPc, kEepromSelectorBroadcast), 32,
                Join(kBroadcastFromPc, {0x01, 0x19, 0x0F, 0x00}));
    ExpectFrame(frame, BuildEepromRead(frame, kLocal, kPc, kEepromSelectorAdapter), 32,
                Join(kLocalFromPc, {0x01, 0x19, 0x0F, 0x10}));
    const uint8_t zero = 0;
    ExpectFrame(frame, BuildVendorRequest(frame, kLocal, kPc, 0x10, &zero, 1), 35,
                Join(kLocalFromPc, {0x01, 0x02, 0x05, 0x00, 0x04, 0x87, 0x10, 0x00}));

    // With the DAK: the access entry, then at byte 27 the key entry as the remote device reads it.
    ExpectFrame(frame, BuildRemoteKey(frame, MacBroadcast(), kPc, kNek, &kDak), 54,
                Join(kBroadcastFromPc, {0x01, 0x14, 0x0A, 0x01, 0x00, 0xEF, 0xD3, 0x86, 0xD6, 0x9D, 0xF2, 0x80, 0x49,
                                        0x88, 0x7B, 0x01, 0x04, 0x09, 0x01,
                                        0x46, 0xD6, 0x13, 0xE0, 0xF8, 0x4A, 0x76, 0x4C}));
    ExpectFrame(frame, BuildRemoteKey(frame, kLocal, kPc, kNek, nullptr), 54,
                Join(kLocalFromPc, {0x01, 0x04, 0x09, 0x01, 0x46, 0xD6, 0x13, 0xE0, 0xF8, 0x4A, 0x76, 0x4C}));
}

namespace {

// An EEPROM read response as a local adapter sends it: status 0x01, then the 51-byte block.
tBytes EepromResponse(uint8_t length, uint8_t status, size_t blockBytes)
{
    tBytes frame = {0x02, 0, 0, 0, 0, 0x10, 0x02, 0, 0, 0, 0, 0x01, 0x88, 0x7B, 0x01, 0x19, length, status};
    for (size_t i = 0; i < blockBytes; ++i)
        frame.push_back(static_cast<uint8_t>(0xA0 + i));
    return frame;
}

} // namespace

TEST(KeyFrames, EepromResponsesAreValidOnlyWhole)
{
    tKeyResponse r;
    tBytes whole = EepromResponse(0x33, 0x01, 51);
    ASSERT_TRUE(ParseKeyResponse(whole.data(), whole.size(), r));
    EXPECT_EQ(kPc, r.destination);
    EXPECT_EQ(kLocal, r.source);
    EXPECT_EQ(0x19, r.type);
    EXPECT_EQ(0x33, r.entryLength);
    EXPECT_TRUE(r.eepromValid);
    EXPECT_EQ(0xA0, r.eeprom[0]);
    EXPECT_EQ(0xA0 + 50, r.eeprom[50]);

    tBytes shortBlock = EepromResponse(0x33, 0x01, 50);
    ASSERT_TRUE(ParseKeyResponse(shortBlock.data(), shortBlock.size(), r));
    EXPECT_FALSE(r.eepromValid) << "the block's last byte is missing";
    tBytes otherLength = EepromResponse(0x20, 0x01, 51);
    ASSERT_TRUE(ParseKeyResponse(otherLength.data(), otherLength.size(), r));
    EXPECT_EQ(0x20, r.entryLength);
    EXPECT_FALSE(r.eepromValid);
    tBytes badStatus = EepromResponse(0x33, 0x00, 51);
    ASSERT_TRUE(ParseKeyResponse(badStatus.data(), badStatus.size(), r));
    EXPECT_FALSE(r.eepromValid);
}

TEST(KeyFrames, OtherResponsesAndGarbage)
{
    tKeyResponse r;
    tBytes confirm = {0x02, 0, 0, 0, 0, 0x10, 0x02, 0, 0, 0, 0, 0x07, 0x88, 0x7B, 0x01, 0x06, 0x00};
    ASSERT_TRUE(ParseKeyResponse(confirm.data(), confirm.size(), r));
    EXPECT_EQ(0x06, r.type);
    EXPECT_EQ(Mac("02:00:00:00:00:07"), r.source);
    EXPECT_EQ(-1, r.vendorSubtype);

    tBytes description = {0x02, 0, 0, 0, 0, 0x10, 0x02, 0, 0, 0, 0, 0x07, 0x88, 0x7B, 0x01,
                          0x02, 0x0B, 0x00, 0x04, 0x87, 0x90, 0x01, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(ParseKeyResponse(description.data(), description.size(), r));
    EXPECT_EQ(0x10, r.vendorSubtype);
    EXPECT_TRUE(r.describesRemote);
    description[21] = 0x00;
    ASSERT_TRUE(ParseKeyResponse(description.data(), description.size(), r));
    EXPECT_FALSE(r.describesRemote);
    // An entry that claims more than the frame holds: only what is there is read.
    tBytes cut(description.begin(), description.begin() + 19);
    ASSERT_TRUE(ParseKeyResponse(cut.data(), cut.size(), r));
    EXPECT_EQ(-1, r.vendorSubtype) << "00 04 is no vendor entry";
    cut.push_back(0x87);
    cut.push_back(0x90);
    ASSERT_TRUE(ParseKeyResponse(cut.data(), cut.size(), r));
    EXPECT_EQ(0x10, r.vendorSubtype);
    EXPECT_FALSE(r.describesRemote) << "the byte saying remote is not there";

    tBytes ipv4 = confirm;
    ipv4[12] = 0x08;
    ipv4[13] = 0x00;
    EXPECT_FALSE(ParseKeyResponse(ipv4.data(), ipv4.size(), r));
    tBytes noEntries = confirm;
    noEntries[14] = 0x80;
    EXPECT_FALSE(ParseKeyResponse(noEntries.data(), noEntries.size(), r)) << "a count of 0 (bit 7 is no count)";
    EXPECT_FALSE(ParseKeyResponse(confirm.data(), 16, r)) << "no entry length";
    EXPECT_FALSE(ParseKeyResponse(nullptr, 100, r));
}
