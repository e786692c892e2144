#include <gtest/gtest.h>

#include <vector>

#include "common/tests/test_support.h"
#include "common/raii.h"
#include "monitor/plugin_seal.h"

using testsupport::CTempDir;

TEST(PluginSeal, BuiltPluginsPass)
{
    std::string folder = testsupport::ProgramFolder();
    for (const char* name : {"tp_full.dll", "tp_getstate.dll", "testplugins\\plexa.dll"})
        EXPECT_TRUE(VerifyPluginFile(folder + "\\" + name)) << name;
    EXPECT_FALSE(VerifyPluginFile(folder + "\\missing.dll"));
}

TEST(PluginSeal, ModifiedOrTruncatedFilesFail)
{
    std::string original = testsupport::ReadFileText(testsupport::ProgramFolder() + "\\tp_full.dll");
    ASSERT_GT(original.size(), kPluginSealSize);
    CTempDir dir;

    std::string flipped = original;
    flipped[flipped.size() / 2] ^= 0x01;
    testsupport::WriteFileText(dir.File("flipped.dll"), flipped);
    EXPECT_FALSE(VerifyPluginFile(dir.File("flipped.dll")));

    testsupport::WriteFileText(dir.File("truncated.dll"), original.substr(0, original.size() - 1));
    EXPECT_FALSE(VerifyPluginFile(dir.File("truncated.dll")));

    std::string unsealed = original.substr(0, original.size() - kPluginSealSize);
    testsupport::WriteFileText(dir.File("unsealed.dll"), unsealed);
    EXPECT_FALSE(VerifyPluginFile(dir.File("unsealed.dll")));

    testsupport::WriteFileText(dir.File("appended.dll"), original + "x");
    EXPECT_FALSE(VerifyPluginFile(dir.File("appended.dll")));

    testsupport::WriteFileText(dir.File("tiny.dll"), "MZ");
    EXPECT_FALSE(VerifyPluginFile(dir.File("tiny.dll")));

    testsupport::WriteFileText(dir.File("copy.dll"), original);
    EXPECT_TRUE(VerifyPluginFile(dir.File("copy.dll"))) << "a faithful copy passes anywhere";
}

TEST(PluginSeal, SealOfMemoryImage)
{
    std::vector<uint8_t> image = {1, 2, 3, 4, 5};
    std::string seal = MakePluginSeal(image.data(), image.size());
    ASSERT_EQ(kPluginSealSize, seal.size());
    EXPECT_EQ("VLMSEAL1", seal.substr(0, 8));
    std::vector<uint8_t> file(image);
    file.insert(file.end(), seal.begin(), seal.end());
    EXPECT_TRUE(CheckPluginSeal(file.data(), file.size()));
    file[0] ^= 0x80;
    EXPECT_FALSE(CheckPluginSeal(file.data(), file.size()));
    EXPECT_FALSE(CheckPluginSeal(nullptr, 0));
}

TEST(PluginSeal, ACheckedFileCannotBeChangedUntilItIsLoaded)
{
    CTempDir dir;
    std::string path = dir.File("held.dll");
    ASSERT_TRUE(CopyFileA((testsupport::ProgramFolder() + "\\tp_getstate.dll").c_str(), path.c_str(), FALSE));
    {
        CCheckedPluginFile checked;
        ASSERT_TRUE(checked.Open(path));
        EXPECT_TRUE(checked.IsOpen());
        raii::CHandle writer(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
        EXPECT_FALSE(writer.IsValid()) << "no writer while it is held";
        EXPECT_FALSE(MoveFileA(path.c_str(), dir.File("moved.dll").c_str())) << "nor a rename";
        EXPECT_FALSE(DeleteFileA(path.c_str())) << "nor a delete";
        raii::CModule loaded(LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
        EXPECT_TRUE(loaded.IsValid()) << "the loader may read it";
    }
    raii::CHandle writer(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(writer.IsValid()) << "released afterwards";

    CCheckedPluginFile unsealed;
    std::string image = testsupport::ReadFileText(path);
    testsupport::WriteFileText(dir.File("unsealed.dll"), image.substr(0, image.size() - kPluginSealSize));
    EXPECT_FALSE(unsealed.Open(dir.File("unsealed.dll")));
    EXPECT_FALSE(unsealed.IsOpen()) << "nothing held after a failed check";
}
