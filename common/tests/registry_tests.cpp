#include <gtest/gtest.h>

#include "common/registry.h"
#include "common/tests/test_support.h"

namespace {
const char kTestKey[] = "Software\\velmora\\tests\\registry";
}

TEST(Registry, ValuesRoundTripByType)
{
    CRegistryKey::DeleteTree(HKEY_CURRENT_USER, kTestKey);
    {
        CRegistryKey key;
        ASSERT_TRUE(key.Create(HKEY_CURRENT_USER, kTestKey));
        EXPECT_TRUE(key.SetString("text", "K\xC3\xBC" "che"));
        EXPECT_TRUE(key.SetDword("number", 0xDEADBEEF));
        EXPECT_TRUE(key.SetMultiString("list", {"one", "two words", "three"}));
        const BYTE bytes[] = {0, 1, 2, 0, 255};
        EXPECT_TRUE(key.SetBinary("bytes", bytes, sizeof bytes));
        EXPECT_FALSE(key.SetMultiString("bad", {"a", ""})) << "an empty entry would end the list";
        EXPECT_FALSE(key.HasValue("bad"));
    }
    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, kTestKey));
    std::string text;
    EXPECT_TRUE(key.GetString("text", text));
    EXPECT_EQ("K\xC3\xBC" "che", text);
    DWORD number = 0;
    EXPECT_TRUE(key.GetDword("number", number));
    EXPECT_EQ(0xDEADBEEFu, number);
    std::vector<std::string> list;
    EXPECT_TRUE(key.GetMultiString("list", list));
    EXPECT_EQ((std::vector<std::string>{"one", "two words", "three"}), list);
    std::vector<BYTE> bytes;
    EXPECT_TRUE(key.GetBinary("bytes", bytes));
    EXPECT_EQ((std::vector<BYTE>{0, 1, 2, 0, 255}), bytes);

    // The wrong type or a missing value leaves the output alone.
    DWORD untouched = 7;
    EXPECT_FALSE(key.GetDword("text", untouched));
    EXPECT_FALSE(key.GetDword("missing", untouched));
    EXPECT_EQ(7u, untouched);
    std::string kept = "default";
    EXPECT_FALSE(key.GetString("number", kept));
    EXPECT_EQ("default", kept);

    std::vector<std::string> names;
    EXPECT_TRUE(key.EnumValueNames(names));
    EXPECT_EQ(4u, names.size());
    key.Close();
    EXPECT_TRUE(CRegistryKey::DeleteTree(HKEY_CURRENT_USER, kTestKey));
    EXPECT_FALSE(CRegistryKey::Exists(HKEY_CURRENT_USER, kTestKey));
    EXPECT_TRUE(CRegistryKey::DeleteTree(HKEY_CURRENT_USER, kTestKey)) << "already gone is fine";
}

TEST(Registry, StringsWithoutTerminatorAndOversizedValues)
{
    testsupport::CTestKey raw(HKEY_CURRENT_USER, kTestKey);
    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, kTestKey, KEY_ALL_ACCESS));
    // Written without its zero: the reader must not run past the data.
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.Get(), "bare", 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>("abc"), 3));
    std::string text;
    EXPECT_TRUE(key.GetString("bare", text));
    EXPECT_EQ("abc", text);
    // A multi-string without its final empty entry still reads its strings.
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.Get(), "multi", 0, REG_MULTI_SZ,
                                            reinterpret_cast<const BYTE*>("ab\0cd"), 5));
    std::vector<std::string> list;
    EXPECT_TRUE(key.GetMultiString("multi", list));
    EXPECT_EQ((std::vector<std::string>{"ab", "cd"}), list);

    std::vector<BYTE> huge(CRegistryKey::kMaxValueBytes + 1, 'x');
    if (key.SetBinary("huge", huge.data(), static_cast<DWORD>(huge.size()))) {
        std::vector<BYTE> out;
        EXPECT_FALSE(key.GetBinary("huge", out)) << "reads are bounded";
    }
    std::vector<std::string> subkeys;
    EXPECT_TRUE(key.EnumSubKeys(subkeys));
    EXPECT_TRUE(subkeys.empty());
}
