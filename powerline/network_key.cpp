#include "powerline/network_key.h"

#include <stdio.h>
#include <string.h>

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

const char kDefaultNetworkPassword[] = "HomePlug";

bool operator==(const tNetworkKey& a, const tNetworkKey& b)
{
    return memcmp(a.bytes, b.bytes, kNetworkKeyLength) == 0;
}

bool operator!=(const tNetworkKey& a, const tNetworkKey& b)
{
    return !(a == b);
}

uint8_t OddParity(uint8_t byte)
{
    int bits = 0;
    for (int bit = 1; bit < 8; ++bit)
        bits += (byte >> bit) & 1;
    return bits % 2 ? static_cast<uint8_t>(byte & 0xFE) : static_cast<uint8_t>(byte | 0x01);
}

std::string KeyToHex(const tNetworkKey& key)
{
    char text[2 * kNetworkKeyLength + 1];
    for (size_t i = 0; i < kNetworkKeyLength; ++i)
        snprintf(text + 2 * i, 3, "%02x", key.bytes[i]);
    return text;
}

bool KeyFromHex(const std::string& text, tNetworkKey& out)
{
    if (text.size() != 2 * kNetworkKeyLength)
        return false;
    tNetworkKey key;
    for (size_t i = 0; i < kNetworkKeyLength; ++i) {
        int high = HexDigit(text[2 * i]);
        int low = HexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        key.bytes[i] = static_cast<uint8_t>(high << 4 | low);
    }
    out = key;
    return true;
}
