#include "monitor/options_codec.h"

#include <cryptopp/aes.h>
#include <cryptopp/filters.h>
#include <cryptopp/hex.h>
#include <cryptopp/modes.h>

const char kOptionsKey[] = "9d1b6e04c7a3f25e81b0d4c6a97e3f12";

namespace {

// Hexadecimal text to bytes; false for odd lengths and anything but hex digits (the decoder of
// the library would skip such characters silently).
bool HexToBytes(const std::string& hex, std::string& out)
{
    if (hex.size() % 2 != 0)
        return false;
    for (char c : hex)
        if (!isxdigit(static_cast<unsigned char>(c)))
            return false;
    out.clear();
    CryptoPP::StringSource(hex, true, new CryptoPP::HexDecoder(new CryptoPP::StringSink(out)));
    return out.size() == hex.size() / 2;
}

} // namespace

std::string EncryptOptions(const std::string& keyHex, const std::string& plain)
{
    std::string key;
    if (!HexToBytes(keyHex, key) || key.size() != CryptoPP::AES::DEFAULT_KEYLENGTH)
        return std::string();
    std::string hex;
    try {
        CryptoPP::ECB_Mode<CryptoPP::AES>::Encryption aes(reinterpret_cast<const CryptoPP::byte*>(key.data()),
                                                          key.size());
        CryptoPP::StringSource(plain, true,
                               new CryptoPP::StreamTransformationFilter(
                                   aes, new CryptoPP::HexEncoder(new CryptoPP::StringSink(hex), true),
                                   CryptoPP::BlockPaddingSchemeDef::PKCS_PADDING));
    } catch (const CryptoPP::Exception&) {
        return std::string();
    }
    return hex;
}

bool DecryptOptions(const std::string& keyHex, const std::string& textHex, std::string& out)
{
    std::string key, cipher;
    if (!HexToBytes(keyHex, key) || key.size() != CryptoPP::AES::DEFAULT_KEYLENGTH || !HexToBytes(textHex, cipher) ||
        cipher.empty() || cipher.size() % CryptoPP::AES::BLOCKSIZE != 0)
        return false;
    std::string plain;
    try {
        CryptoPP::ECB_Mode<CryptoPP::AES>::Decryption aes(reinterpret_cast<const CryptoPP::byte*>(key.data()),
                                                          key.size());
        CryptoPP::StringSource(cipher, true,
                               new CryptoPP::StreamTransformationFilter(aes, new CryptoPP::StringSink(plain),
                                                                        CryptoPP::BlockPaddingSchemeDef::PKCS_PADDING));
    } catch (const CryptoPP::Exception&) {
        return false;
    }
    out = plain;
    return true;
}

std::string BuildOptionsText(const std::vector<std::pair<std::string, std::string>>& pluginOptions,
                             const std::string& keyHex)
{
    std::string text;
    for (const auto& entry : pluginOptions)
        if (!entry.second.empty())
            text += entry.first + ":" + EncryptOptions(keyHex, entry.second) + ";";
    return text;
}
