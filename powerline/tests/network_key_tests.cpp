#include <gtest/gtest.h>

#include "powerline/network_key.h"

namespace {

tNetworkKey Key(const char* hex)
{
    tNetworkKey key = {};
    EXPECT_TRUE(KeyFromHex(hex, key)) << hex;
    return key;
}

int SetBits(uint8_t byte)
{
    int bits = 0;
    for (; byte; byte >>= 1)
        bits += byte & 1;
    return bits;
}

} // namespace

TEST(NetworkKey, DerivationMatchesIndependentComputations)
{
    // The default password of factory-fresh adapters, computed independently with OpenSSL.
    EXPECT_EQ(Key("46d613e0f84a764c"), KeyFromPassword("HomePlug"));
    EXPECT_EQ(Key("46d613e0f84a764c"), DefaultNetworkKey());
    // A second password; the digest before parity comes from the OpenSSL command line:
    //   f=pw.bin; printf 'Garden-Shed-42' > $f; printf '\x08\x85\x6d\xaf\x7c\xf5\x81\x85' >> $f
    //   openssl md5 -binary $f > d; for i in $(seq 999); do openssl md5 -binary d > d2; mv d2 d; done
    //   xxd -p d     ->  eede555f0be1462b3252eb79d9c00f34
    // whose first 8 bytes with odd parity give efdf545e0be0462a.
    EXPECT_EQ(Key("efdf545e0be0462a"), KeyFromPassword("Garden-Shed-42"));
    // A security ID as the wizard joins its four groups.
    EXPECT_EQ(Key("efd386d69df28049"), KeyFromPassword("ABCD1234EFGH5678"));
}

TEST(NetworkKey, SamePasswordSameKeyWithOddParityInEveryByte)
{
    for (const char* password : {"", "a", "HomePlug", "homeplug"}) {
        tNetworkKey first = KeyFromPassword(password);
        EXPECT_EQ(first, KeyFromPassword(password)) << password;
        for (uint8_t byte : first.bytes)
            EXPECT_EQ(1, SetBits(byte) % 2) << password;
    }
    EXPECT_NE(KeyFromPassword("HomePlug"), KeyFromPassword("homeplug")) << "case matters";
    std::string longest(2047, 'x');
    tNetworkKey a = KeyFromPassword(longest);
    longest[2046] = 'y';
    EXPECT_NE(a, KeyFromPassword(longest)) << "the last of 2047 characters counts";
}

TEST(NetworkKey, ParityAndHexText)
{
    EXPECT_EQ(0x01, OddParity(0x00));
    EXPECT_EQ(0x46, OddParity(0x47)) << "three bits above bit 0: bit 0 cleared";
    EXPECT_EQ(0xE0, OddParity(0xE0));
    EXPECT_EQ(0xC1, OddParity(0xC0));
    EXPECT_EQ(0xFE, OddParity(0xFF));

    EXPECT_EQ("46d613e0f84a764c", KeyToHex(DefaultNetworkKey()));
    tNetworkKey key = DefaultNetworkKey();
    EXPECT_TRUE(KeyFromHex("0123456789ABCDEF", key));
    EXPECT_EQ("0123456789abcdef", KeyToHex(key));
    for (const char* bad : {"", "0123456789abcde", "0123456789abcdef0", "0123456789abcdeg", "01234567 9abcdef"}) {
        EXPECT_FALSE(KeyFromHex(bad, key)) << bad;
        EXPECT_EQ("0123456789abcdef", KeyToHex(key)) << "unchanged by " << bad;
    }
}
