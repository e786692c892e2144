#include "monitor/plugin_seal.h"

#include <windows.h>

#include <string.h>

#include <cryptopp/hmac.h>
#include <cryptopp/sha.h>

#include <vector>

#include "common/raii.h"

namespace {

const char kMagic[8] = {'V', 'L', 'M', 'S', 'E', 'A', 'L', '1'};
// The same key is in cmake/seal-plugin.py, which seals the plug-ins at build time.
const uint8_t kSealKey[32] = {0x5c, 0x1e, 0x93, 0x0b, 0xa7, 0x42, 0xd8, 0x6f, 0x21, 0xc4, 0x7e,
                              0x09, 0xb3, 0x58, 0xe6, 0x14, 0x8a, 0x3d, 0xf0, 0x67, 0x2b, 0x91,
                              0xce, 0x05, 0x76, 0xaf, 0x13, 0xd2, 0x4c, 0x88, 0xe1, 0x3a};

std::string Mac(const uint8_t* image, size_t size)
{
    CryptoPP::HMAC<CryptoPP::SHA256> hmac(kSealKey, sizeof kSealKey);
    std::string mac(CryptoPP::HMAC<CryptoPP::SHA256>::DIGESTSIZE, '\0');
    hmac.CalculateDigest(reinterpret_cast<CryptoPP::byte*>(&mac[0]), image, size);
    return mac;
}

} // namespace

std::string MakePluginSeal(const uint8_t* image, size_t size)
{
    std::string seal(kMagic, sizeof kMagic);
    uint64_t length = size;
    for (int i = 0; i < 8; ++i)
        seal += static_cast<char>((length >> (8 * i)) & 0xFF);
    return seal + Mac(image, size);
}

bool CheckPluginSeal(const uint8_t* data, size_t size)
{
    if (!data || size < kPluginSealSize)
        return false;
    size_t imageSize = size - kPluginSealSize;
    std::string expected = MakePluginSeal(data, imageSize);
    // Compare everything, so that a mismatch takes as long as a match.
    unsigned char difference = 0;
    for (size_t i = 0; i < kPluginSealSize; ++i)
        difference |= static_cast<unsigned char>(expected[i]) ^ data[imageSize + i];
    return difference == 0;
}

namespace {

bool CheckOpenFile(HANDLE file)
{
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file, &size) || size.QuadPart < 0 || static_cast<uint64_t>(size.QuadPart) > kPluginSealMaxFile)
        return false;
    std::vector<uint8_t> data(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!data.empty() &&
        (!ReadFile(file, data.data(), static_cast<DWORD>(data.size()), &read, nullptr) || read != data.size()))
        return false;
    return CheckPluginSeal(data.data(), data.size());
}

} // namespace

bool VerifyPluginFile(const std::string& path)
{
    CCheckedPluginFile file;
    return file.Open(path);
}

bool CCheckedPluginFile::Open(const std::string& path)
{
    // Readers only share it: the loader reads and maps it, nobody changes it.
    m_file.Attach(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (m_file && CheckOpenFile(m_file.Get()))
        return true;
    m_file.Close();
    return false;
}
