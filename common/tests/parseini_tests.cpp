#include <gtest/gtest.h>

#include "common/parseini.h"
#include "common/tests/test_support.h"

using testsupport::CTempDir;
using testsupport::WriteFileText;
using utilcpp::CParseini;

TEST(Parseini, SettingsFileNameFollowsTheModule)
{
    EXPECT_EQ("c:\\apps\\watchpost.ini", CParseini::SettingsPathFor("c:\\apps\\watchpost.exe"));
    EXPECT_EQ("c:\\apps\\noext.ini", CParseini::SettingsPathFor("c:\\apps\\noext"));
    EXPECT_EQ("c:\\a.b\\tool.x.ini", CParseini::SettingsPathFor("c:\\a.b\\tool.x.exe"));

    CParseini own("");
    std::string expected = testsupport::ProgramFolder() + "\\common_parseini_tests.ini";
    EXPECT_EQ(expected, own.GetFileName());

    CParseini module("x");
    module.CreateFromModule(GetModuleHandleA("kernel32.dll"));
    EXPECT_NE(std::string::npos, module.GetFileName().find("kernel32.ini"));
}

TEST(Parseini, IntegersAndDefaults)
{
    CTempDir dir;
    CParseini ini(dir.File("settings.ini"));
    int value = 0;
    EXPECT_TRUE(ini.GetInt("s", "missing", value, 17));
    EXPECT_EQ(17, value) << "a missing file yields the default";

    EXPECT_TRUE(ini.WriteInt("s", "n", -42));
    EXPECT_TRUE(ini.GetInt("s", "n", value, 17));
    EXPECT_EQ(-42, value);

    ini.WriteString("s", "word", "abc");
    ini.GetInt("s", "word", value, 17);
    EXPECT_EQ(0, value) << "a value that is no number reads as 0, not as the default";
}

TEST(Parseini, LongValuesAreReadWhole)
{
    CTempDir dir;
    CParseini ini(dir.File("long.ini"));
    for (size_t length : {1022u, 1023u, 1024u, 3000u, 5000u}) {
        std::string value(length, 'v');
        value[length / 2] = 'M';
        ASSERT_TRUE(ini.WriteString("long", "key", value));
        std::string read;
        EXPECT_TRUE(ini.GetString("long", "key", read, "default"));
        EXPECT_EQ(value, read) << "length " << length;
    }
    std::string read;
    ini.GetString("long", "absent", read, "fallback");
    EXPECT_EQ("fallback", read);

    // Written directly: Wine's profile writer fails on values of some ten kilobytes and more.
    std::string mebibyte(1024 * 1024, 'w');
    mebibyte.back() = 'E';
    CParseini big(dir.File("big.ini"));
    ASSERT_TRUE(WriteFileText(big.GetFileName(), "[long]\r\nkey=" + mebibyte + "\r\n"));
    EXPECT_TRUE(big.GetString("long", "key", read, ""));
    EXPECT_TRUE(read == mebibyte) << "read " << read.size() << " characters";
}

TEST(Parseini, ValuesBeyondTheLimitAreCutThere)
{
    CTempDir dir;
    std::string path = dir.File("huge.ini");
    ASSERT_TRUE(WriteFileText(path, "[s]\r\nkey=" + std::string(CParseini::kMaxValueLength + 100, 'h') +
                                        "\r\nnext=1\r\n"));
    CParseini ini(path);
    std::string read;
    EXPECT_TRUE(ini.GetString("s", "key", read, ""));
    EXPECT_EQ(CParseini::kMaxValueLength, read.size());
    EXPECT_EQ(std::string::npos, read.find_first_not_of('h')) << "the value's own characters";
    int next = 0;
    ini.GetInt("s", "next", next, 0);
    EXPECT_EQ(1, next);
}

TEST(Parseini, DeleteKeySectionAndRename)
{
    CTempDir dir;
    CParseini ini(dir.File("rename.ini"));
    ini.WriteString("main", "OldName", "value 1");
    ini.WriteString("main", "Other", "x");
    EXPECT_TRUE(ini.RenameKey("main", "OldName", "NewName"));
    std::string read;
    ini.GetString("main", "NewName", read, "");
    EXPECT_EQ("value 1", read);
    ini.GetString("main", "OldName", read, "gone");
    EXPECT_EQ("gone", read);

    // An empty old value deletes the old key and leaves the new one alone.
    ini.WriteString("main", "Empty", "");
    ini.WriteString("main", "Target", "kept");
    ini.RenameKey("main", "Empty", "Target");
    ini.GetString("main", "Target", read, "");
    EXPECT_EQ("kept", read);
    ini.GetString("main", "Empty", read, "gone");
    EXPECT_EQ("gone", read);

    EXPECT_TRUE(ini.DeleteKey("main", "Other"));
    ini.GetString("main", "Other", read, "gone");
    EXPECT_EQ("gone", read);

    EXPECT_TRUE(ini.DeleteSection("main"));
    ini.GetString("main", "Target", read, "gone");
    EXPECT_EQ("gone", read);
}

TEST(Parseini, SharedFileBetweenObjects)
{
    CTempDir dir;
    CParseini a(dir.File("shared.ini"));
    CParseini b(dir.File("shared.ini"));
    a.WriteInt("s", "k", 5);
    int value = 0;
    b.GetInt("s", "k", value, 0);
    EXPECT_EQ(5, value) << "nothing is cached";
}

TEST(Parseini, WriteAccessProbeLeavesNothingBehind)
{
    CTempDir dir;
    std::string path = dir.File("probe.ini");
    CParseini ini(path);
    ini.WriteString("keep", "a", "1");
    EXPECT_TRUE(ini.TestWriteAccess());
    std::string text = testsupport::ReadFileText(path);
    EXPECT_EQ(std::string::npos, text.find("__CParseini_TestWriteAccess__")) << text;
    EXPECT_NE(std::string::npos, text.find("[keep]"));

    CParseini nowhere(dir.File("no\\such\\folder\\x.ini"));
    EXPECT_FALSE(nowhere.TestWriteAccess()) << "no operation creates directories";
    EXPECT_FALSE(nowhere.WriteString("s", "k", "v"));
}

TEST(Parseini, UnwritableFileFailsTheProbe)
{
    // A file held open without sharing cannot be written (a read-only file can, by root).
    CTempDir dir;
    std::string path = dir.File("locked.ini");
    testsupport::WriteFileText(path, "[s]\r\nk=1\r\n");
    HANDLE lock = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    CParseini ini(path);
    EXPECT_FALSE(ini.TestWriteAccess());
    CloseHandle(lock);
    EXPECT_EQ("[s]\r\nk=1\r\n", testsupport::ReadFileText(path));
}
