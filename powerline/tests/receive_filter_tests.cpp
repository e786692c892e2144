#include <gtest/gtest.h>

#include <stdint.h>

#include <vector>

#include "powerline/receive_filter.h"

namespace {

// Runs a classic BPF program over a frame as the capture layer does, for the few instructions
// the filter uses; a load past the frame rejects it. -1: an instruction it does not know.
long long RunFilter(const tBpfInstruction* program, size_t count, const std::vector<uint8_t>& frame)
{
    uint32_t a = 0, x = 0;
    for (size_t pc = 0; pc < count; ++pc) {
        const tBpfInstruction& i = program[pc];
        switch (i.code) {
        case 0x28: // ld h [k]
            if (i.k + 2 > frame.size())
                return 0;
            a = static_cast<uint32_t>(frame[i.k] << 8 | frame[i.k + 1]);
            break;
        case 0x30: // ld b [k]
            if (i.k + 1 > frame.size())
                return 0;
            a = frame[i.k];
            break;
        case 0xB1: // ldx 4 * ([k] & 0xf)
            if (i.k + 1 > frame.size())
                return 0;
            x = 4u * (frame[i.k] & 0x0Fu);
            break;
        case 0x48: // ld h [x + k]
            if (x + i.k + 2 > frame.size())
                return 0;
            a = static_cast<uint32_t>(frame[x + i.k] << 8 | frame[x + i.k + 1]);
            break;
        case 0x15: // jeq #k, jt, jf
            pc += a == i.k ? i.jt : i.jf;
            break;
        case 0x06: // ret #k
            return i.k;
        default:
            return -1;
        }
    }
    return -1; // ran off the end
}

std::vector<uint8_t> Ethernet(uint16_t type, size_t length = 60)
{
    std::vector<uint8_t> frame(length, 0);
    frame[12] = static_cast<uint8_t>(type >> 8);
    frame[13] = static_cast<uint8_t>(type);
    return frame;
}

// An IPv4 datagram of the given protocol to a port, with headerWords 32-bit words of header.
std::vector<uint8_t> Ipv4(uint8_t protocol, uint16_t port, int headerWords = 5)
{
    std::vector<uint8_t> frame = Ethernet(0x0800, 14 + headerWords * 4 + 8 + 5);
    frame[14] = static_cast<uint8_t>(0x40 | headerWords);
    frame[23] = protocol;
    size_t udp = 14 + static_cast<size_t>(headerWords) * 4;
    frame[udp + 2] = static_cast<uint8_t>(port >> 8);
    frame[udp + 3] = static_cast<uint8_t>(port);
    return frame;
}

} // namespace

TEST(ReceiveFilter, EveryInstructionAsItStands)
{
    const struct {
        uint16_t code;
        uint8_t jt, jf;
        uint32_t k;
    } expected[kPowerlineFilterLength] = {
        {0x28, 0, 0, 12},         {0x15, 6, 0, 0x887B}, {0x15, 0, 6, 0x0800}, {0x30, 0, 0, 23},
        {0x15, 0, 4, 17},         {0xB1, 0, 0, 14},     {0x48, 0, 0, 16},     {0x15, 0, 1, 15472},
        {0x06, 0, 0, 0xFFFFFFFF}, {0x06, 0, 0, 0},
    };
    for (size_t i = 0; i < kPowerlineFilterLength; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(expected[i].code, kPowerlineReceiveFilter[i].code);
        EXPECT_EQ(expected[i].jt, kPowerlineReceiveFilter[i].jt);
        EXPECT_EQ(expected[i].jf, kPowerlineReceiveFilter[i].jf);
        EXPECT_EQ(expected[i].k, kPowerlineReceiveFilter[i].k);
    }
    EXPECT_EQ(80u, kPowerlineFilterBytes);
    EXPECT_EQ(80u, sizeof kPowerlineReceiveFilter);

    // As rawport receives it: code, jt, jf, k little-endian, eight bytes each.
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(kPowerlineReceiveFilter);
    EXPECT_EQ((std::vector<uint8_t>{0x15, 0x00, 0x06, 0x00, 0x7B, 0x88, 0x00, 0x00}),
              std::vector<uint8_t>(bytes + 8, bytes + 16));
    EXPECT_EQ((std::vector<uint8_t>{0x15, 0x00, 0x00, 0x01, 0x70, 0x3C, 0x00, 0x00}),
              std::vector<uint8_t>(bytes + 56, bytes + 64));
}

TEST(ReceiveFilter, TakesManagementFramesAndAudioDatagramsOnly)
{
    auto run = [](const std::vector<uint8_t>& frame) { return RunFilter(kPowerlineReceiveFilter, kPowerlineFilterLength, frame); };
    EXPECT_EQ(0xFFFFFFFF, run(Ethernet(0x887B))) << "HomePlug 1.0 management frame";
    EXPECT_EQ(0xFFFFFFFF, run(Ipv4(17, 15472))) << "audio datagram";
    EXPECT_EQ(0xFFFFFFFF, run(Ipv4(17, 15472, 6))) << "with IPv4 options the port moves along";
    EXPECT_EQ(0, run(Ipv4(17, 15473)));
    EXPECT_EQ(0, run(Ipv4(6, 15472))) << "TCP";
    EXPECT_EQ(0, run(Ethernet(0x0806))) << "ARP";
    EXPECT_EQ(0, run(Ethernet(0x86DD))) << "IPv6";
    EXPECT_EQ(0, run(Ethernet(0x887C)));
    EXPECT_EQ(0, run(std::vector<uint8_t>(13, 0))) << "too short for an EtherType";
    std::vector<uint8_t> cut = Ipv4(17, 15472);
    cut.resize(14 + 20 + 2);
    EXPECT_EQ(0, run(cut)) << "no room for the port";
}
