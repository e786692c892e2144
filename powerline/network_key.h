// Keys of HomePlug 1.0 powerline networks: the network encryption key (NEK) every adapter of
// one network shares, the device access key (DAK) of an adapter, and the default key of
// factory-fresh adapters. All three come from texts by the same derivation (PBKDF1 with MD5,
// the salt HomePlug 1.0 defines for network passwords, odd parity per byte). Shared by the
// wizard, which derives the keys it sets, and the emulator, which keeps them per device.
// No windows.h here; the derivation (network_key_derive.cpp) needs Crypto++, the rest
// (network_key.cpp) nothing, so that the emulator's logic also builds natively for fuzzing.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

const size_t kNetworkKeyLength = 8;

struct tNetworkKey {
    uint8_t bytes[kNetworkKeyLength];
};

bool operator==(const tNetworkKey& a, const tNetworkKey& b);
bool operator!=(const tNetworkKey& a, const tNetworkKey& b);

// The network password of factory-fresh adapters.
extern const char kDefaultNetworkPassword[];

// The derivation: MD5 of the text followed by the salt, 999 more MD5 rounds of the digest,
// the first 8 bytes, each given odd parity.
tNetworkKey KeyFromPassword(const std::string& password);
// The key of factory-fresh adapters, KeyFromPassword(kDefaultNetworkPassword).
const tNetworkKey& DefaultNetworkKey();
// Bit 0 chosen so that the byte holds an odd number of set bits.
uint8_t OddParity(uint8_t byte);

// Sixteen lower-case hexadecimal digits, as the traces show keys.
std::string KeyToHex(const tNetworkKey& key);
// Sixteen hexadecimal digits of either case, nothing else.
bool KeyFromHex(const std::string& text, tNetworkKey& out);
