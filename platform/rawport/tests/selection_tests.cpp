#include <gtest/gtest.h>

#include <vector>

#include "platform/rawport/rawport_constants.h"
#include "platform/rawport/selection.h"

TEST(RawportSelection, EnvironmentListNarrowsTheAdapters)
{
    const std::string name = "\\Device\\NPF_{00000004-0000-0000-0000-4E6574446576}";
    EXPECT_TRUE(RawportSelected(name, "eth0", ""));
    EXPECT_TRUE(RawportSelected(name, "eth0", " , "));
    EXPECT_TRUE(RawportSelected(name, "eth0", "veth-b, ETH0"));
    EXPECT_TRUE(RawportSelected(name, "eth0", "\\device\\npf_{00000004-0000-0000-0000-4e6574446576}"));
    EXPECT_FALSE(RawportSelected(name, "eth0", "eth1"));
    EXPECT_FALSE(RawportSelected(name, "eth0", "eth"));
    EXPECT_FALSE(RawportSelected(name, "", "eth1,,x"));
}

TEST(RawportSelection, PacketFilterSemantics)
{
    const uint8_t station[6] = {0x02, 0, 0, 0, 0, 0x10};
    std::vector<uint8_t> frame(60, 0);
    auto set = [&](const std::vector<uint8_t>& dst, const std::vector<uint8_t>& src) {
        std::copy(dst.begin(), dst.end(), frame.begin());
        std::copy(src.begin(), src.end(), frame.begin() + 6);
    };
    const std::vector<uint8_t> us = {0x02, 0, 0, 0, 0, 0x10};
    const std::vector<uint8_t> other = {0x02, 0, 0, 0, 0, 0x20};
    const std::vector<uint8_t> broadcast = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const std::vector<uint8_t> multicast = {0x01, 0, 0x5E, 0, 0, 1};
    const uint32_t normal = kRawFilterDirected | kRawFilterBroadcast;

    set(us, other);
    EXPECT_TRUE(RawportAccepts(frame.data(), frame.size(), station, normal));
    set(broadcast, other);
    EXPECT_TRUE(RawportAccepts(frame.data(), frame.size(), station, normal));
    set(other, other);
    EXPECT_FALSE(RawportAccepts(frame.data(), frame.size(), station, normal));
    EXPECT_TRUE(RawportAccepts(frame.data(), frame.size(), station, kRawFilterPromiscuous));
    set(multicast, other);
    EXPECT_FALSE(RawportAccepts(frame.data(), frame.size(), station, normal));
    set(broadcast, us);
    EXPECT_FALSE(RawportAccepts(frame.data(), frame.size(), station, kRawFilterPromiscuous))
        << "our own frames seen again by the capture";
    EXPECT_FALSE(RawportAccepts(frame.data(), 13, station, kRawFilterPromiscuous)) << "runt";
    EXPECT_FALSE(RawportAccepts(nullptr, 60, station, kRawFilterPromiscuous));
    set(broadcast, other);
    EXPECT_FALSE(RawportAccepts(frame.data(), frame.size(), station, kRawFilterDirected));
}
