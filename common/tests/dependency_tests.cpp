// The two outside libraries the suite links statically: Crypto++ (AES for the shared options,
// MD5 for usage records) and zlib (gzip of the usage record file).
#include <gtest/gtest.h>

#include <cryptopp/aes.h>
#include <cryptopp/filters.h>
#include <cryptopp/hex.h>
#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <cryptopp/md5.h>
#include <cryptopp/modes.h>
#include <zlib.h>

#include "common/tests/test_support.h"

namespace {

std::string EncryptHex(const std::string& key, const std::string& plain)
{
    CryptoPP::ECB_Mode<CryptoPP::AES>::Encryption aes(
        reinterpret_cast<const CryptoPP::byte*>(key.data()), key.size());
    std::string hex;
    CryptoPP::StringSource source(
        plain, true,
        new CryptoPP::StreamTransformationFilter(
            aes, new CryptoPP::HexEncoder(new CryptoPP::StringSink(hex), true),
            CryptoPP::BlockPaddingSchemeDef::PKCS_PADDING));
    return hex;
}

std::string HexToBytes(const std::string& hex)
{
    std::string bytes;
    CryptoPP::StringSource source(hex, true, new CryptoPP::HexDecoder(new CryptoPP::StringSink(bytes)));
    return bytes;
}

} // namespace

// Expected values from: printf 'TEXT' | openssl enc -aes-128-ecb -K 9d1b6e04c7a3f25e81b0d4c6a97e3f12 | xxd -p -u
TEST(CryptoPP, AesEcbPkcs7MatchesOpenssl)
{
    std::string key = HexToBytes("9d1b6e04c7a3f25e81b0d4c6a97e3f12");
    ASSERT_EQ(16u, key.size());
    EXPECT_EQ("73F4684B8D2EB341FB7325A1F1E47E5F1FCDC51541D0A3E8CD4D05B9F3BCDC99",
              EncryptHex(key, "0123456789abcdef"))
        << "a whole block gains a block of padding: 64 hex digits";
    EXPECT_EQ("70882C9B38CA4ED2BE5606CB662EADA5", EncryptHex(key, "hello"));
    EXPECT_EQ("1FCDC51541D0A3E8CD4D05B9F3BCDC99", EncryptHex(key, ""));
}

TEST(CryptoPP, AesDecryptsBackAndRejectsBadPadding)
{
    std::string key = HexToBytes("9d1b6e04c7a3f25e81b0d4c6a97e3f12");
    std::string cipher = HexToBytes("70882C9B38CA4ED2BE5606CB662EADA5");
    CryptoPP::ECB_Mode<CryptoPP::AES>::Decryption aes(
        reinterpret_cast<const CryptoPP::byte*>(key.data()), key.size());
    std::string plain;
    CryptoPP::StringSource(cipher, true,
                           new CryptoPP::StreamTransformationFilter(aes, new CryptoPP::StringSink(plain)));
    EXPECT_EQ("hello", plain);

    std::string wrongKey(16, 'k');
    CryptoPP::ECB_Mode<CryptoPP::AES>::Decryption other(
        reinterpret_cast<const CryptoPP::byte*>(wrongKey.data()), wrongKey.size());
    EXPECT_THROW(CryptoPP::StringSource(cipher, true,
                                        new CryptoPP::StreamTransformationFilter(
                                            other, new CryptoPP::StringSink(plain))),
                 CryptoPP::Exception);
}

// printf 'abc' | openssl md5
TEST(CryptoPP, Md5)
{
    CryptoPP::Weak1::MD5 md5;
    std::string hex;
    CryptoPP::StringSource("abc", true,
                           new CryptoPP::HashFilter(md5, new CryptoPP::HexEncoder(new CryptoPP::StringSink(hex), false)));
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", hex);
}

TEST(Zlib, GzipFileRoundTrip)
{
    testsupport::CTempDir dir;
    std::string path = dir.File("records.csv.gz");
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "0a1b2c3d4e5f;" + std::to_string(i) + ";13.97\n";

    gzFile out = gzopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, out);
    ASSERT_EQ(static_cast<int>(text.size()), gzwrite(out, text.data(), static_cast<unsigned>(text.size())));
    ASSERT_EQ(Z_OK, gzclose(out));

    std::string packed = testsupport::ReadFileText(path);
    ASSERT_GE(packed.size(), 2u);
    EXPECT_EQ('\x1f', packed[0]);
    EXPECT_EQ('\x8b', packed[1]);
    EXPECT_LT(packed.size(), text.size() / 4);

    gzFile in = gzopen(path.c_str(), "rb");
    ASSERT_NE(nullptr, in);
    std::string back(text.size() + 100, '\0');
    int n = gzread(in, &back[0], static_cast<unsigned>(back.size()));
    gzclose(in);
    ASSERT_EQ(static_cast<int>(text.size()), n);
    back.resize(n);
    EXPECT_TRUE(back == text);
}
