#include "powerline/network_key.h"

#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <cryptopp/md5.h>

namespace {

// The salt of HomePlug 1.0 network passwords.
const uint8_t kSalt[8] = {0x08, 0x85, 0x6D, 0xAF, 0x7C, 0xF5, 0x81, 0x85};
const int kRounds = 1000;

} // namespace

tNetworkKey KeyFromPassword(const std::string& password)
{
    CryptoPP::Weak::MD5 md5;
    uint8_t digest[CryptoPP::Weak::MD5::DIGESTSIZE];
    md5.Update(reinterpret_cast<const CryptoPP::byte*>(password.data()), password.size());
    md5.Update(kSalt, sizeof kSalt);
    md5.Final(digest);
    for (int round = 1; round < kRounds; ++round)
        md5.CalculateDigest(digest, digest, sizeof digest);
    tNetworkKey key;
    for (size_t i = 0; i < kNetworkKeyLength; ++i)
        key.bytes[i] = OddParity(digest[i]);
    return key;
}

const tNetworkKey& DefaultNetworkKey()
{
    static const tNetworkKey key = KeyFromPassword(kDefaultNetworkPassword);
    return key;
}
