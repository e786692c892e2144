#include <gtest/gtest.h>

#include <string.h>

#include "common/tests/test_support.h"
#include "common/trace.h"
#include "monitor/options_codec.h"
#include "monitor/shared_options.h"
#include "monitor/tests/monitor_test_support.h"

using namespace monitortest;

// Expected values from: printf 'TEXT' | openssl enc -aes-128-ecb -K 9d1b6e04c7a3f25e81b0d4c6a97e3f12 | xxd -p -u
TEST(OptionsCodec, EncryptionMatchesOpenssl)
{
    EXPECT_EQ("73F4684B8D2EB341FB7325A1F1E47E5F1FCDC51541D0A3E8CD4D05B9F3BCDC99",
              EncryptOptions(kOptionsKey, "0123456789abcdef"))
        << "sixteen bytes: two blocks, the second all padding";
    EXPECT_EQ("70882C9B38CA4ED2BE5606CB662EADA5", EncryptOptions(kOptionsKey, "hello"));
    EXPECT_EQ("1FCDC51541D0A3E8CD4D05B9F3BCDC99", EncryptOptions(kOptionsKey, ""));
    std::string plain = "devicenames.02:12:34:56:9A:BC=Living room\n";
    std::string back;
    ASSERT_TRUE(DecryptOptions(kOptionsKey, EncryptOptions(kOptionsKey, plain), back));
    EXPECT_EQ(plain, back);
    ASSERT_TRUE(DecryptOptions(kOptionsKey, "70882c9b38ca4ed2be5606cb662eada5", back)) << "either letter case";
    EXPECT_EQ("hello", back);
}

TEST(OptionsCodec, BrokenTextsAndWrongKeysDoNotDecrypt)
{
    std::string out = "untouched";
    const char* wrongKey = "00112233445566778899AABBCCDDEEFF";
    EXPECT_FALSE(DecryptOptions(wrongKey, "70882C9B38CA4ED2BE5606CB662EADA5", out)) << "wrong key: bad padding";
    EXPECT_FALSE(DecryptOptions(kOptionsKey, "XY", out)) << "not hexadecimal";
    EXPECT_FALSE(DecryptOptions(kOptionsKey, "70882C9B38CA4ED2BE5606CB662EADA", out)) << "odd length";
    EXPECT_FALSE(DecryptOptions(kOptionsKey, "70882C9B38CA4ED2", out)) << "half a block";
    EXPECT_FALSE(DecryptOptions(kOptionsKey, "", out)) << "nothing";
    EXPECT_FALSE(DecryptOptions(kOptionsKey, "70882C9B38CA4ED2BE5606CB662EAD G", out));
    EXPECT_FALSE(DecryptOptions("short", "70882C9B38CA4ED2BE5606CB662EADA5", out));
    // A block whose last byte is 0x00 is no valid padding under any key.
    std::string zeroPad = EncryptOptions(kOptionsKey, std::string(16, 'x')).substr(0, 32);
    EXPECT_FALSE(DecryptOptions(kOptionsKey, zeroPad, out));
    EXPECT_EQ("untouched", out);
}

TEST(OptionsCodec, OptionsTextAndProclamations)
{
    std::string text = BuildOptionsText({{"dialtrack.dll", ""}, {"plexa.dll", "a=b\n"}}, kOptionsKey);
    EXPECT_EQ("plexa.dll:" + EncryptOptions(kOptionsKey, "a=b\n") + ";", text) << "empty options are left out";
    auto entries = SplitOptionsText("one:AA;two:BB;rest without separators");
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ("two", entries[1].first);
    EXPECT_EQ("BB", entries[1].second);
    EXPECT_TRUE(SplitOptionsText("no colon;").empty());
    EXPECT_TRUE(SplitOptionsText("no semicolon:x").empty());
    EXPECT_EQ(1u, SplitOptionsText(";name:data;").size()) << "a name may be anything before the first colon";
    std::string crowded;
    for (int i = 0; i < 1000; ++i)
        crowded += "p" + std::to_string(i) + ".dll:AA;";
    entries = SplitOptionsText(crowded);
    ASSERT_EQ(kMaxOptionsEntries, entries.size()) << "the entries after the bound are ignored";
    EXPECT_EQ("p31.dll", entries.back().first);

    std::string datagram = BuildProclamation(1234);
    datagram += '\0';
    auto parts = SplitProclamation(reinterpret_cast<const uint8_t*>(datagram.data()), datagram.size());
    ASSERT_EQ(3u, parts.size());
    EXPECT_EQ("watchpost_sharedoptions", parts[0]);
    EXPECT_EQ("1234", parts[1]);
    EXPECT_EQ("", parts[2]);

    const uint8_t tagOnly[] = "watchpost_sharedoptions"; // the tag and one zero byte
    EXPECT_EQ(2u, SplitProclamation(tagOnly, sizeof tagOnly).size());
    const uint8_t garbage[] = {'x', 'y', 'z'};
    EXPECT_EQ(1u, SplitProclamation(garbage, sizeof garbage).size());
    const uint8_t many[] = {'a', 0, 'b', 0, 'c', 0, 'd'};
    parts = SplitProclamation(many, sizeof many);
    ASSERT_EQ(3u, parts.size());
    EXPECT_EQ(std::string("c\0d", 3), parts[2]) << "the third part is all the rest";
    std::vector<uint8_t> big(kMaxProclamation, 0);
    EXPECT_EQ(3u, SplitProclamation(big.data(), big.size()).size());
}

namespace {

class DispatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!m_receiver.Get())
            GTEST_SKIP() << "no display";
        m_log = m_dir.File("plugin.log");
        SetEnvironmentVariableA("VELMORA_TESTPLUGIN_LOG", m_log.c_str());
        SetEnvironmentVariableA("VELMORA_TESTPLUGIN_OPTIONS", nullptr);
        TraceCloseAll();
        TraceInit(("x /debug:" + m_dir.File("trace.log")).c_str());
    }
    void TearDown() override { TraceCloseAll(); }
    std::vector<std::string> Received()
    {
        std::vector<std::string> texts;
        for (const tLogLine& line : ReadPluginLog(m_log))
            if (line.event == "SetShareableOptions")
                texts.push_back(line.detail);
        return texts;
    }
    testsupport::CTempDir m_dir;
    std::string m_log;
    CReceiver m_receiver;
};

} // namespace

TEST_F(DispatchTest, OnlyCleanlyDecryptedEntriesReachLoadedPlugins)
{
    CPlugin options("tp_full.dll", m_receiver.Get());
    CPlugin noOptions("tp_getstate.dll", m_receiver.Get());
    CPlugin idle("tp_halfoptions.dll", m_receiver.Get()); // never started
    ASSERT_TRUE(options.Create());
    ASSERT_TRUE(noOptions.Create());
    std::vector<CPlugin*> plugins = {&options, &noOptions, &idle};

    std::string text = "tp_getstate.dll:" + EncryptOptions(kOptionsKey, "devicenames.x=y\n") + ";" +
                       "tp_full.dll:ZZ;" + "tp_full.dll:" + EncryptOptions("00112233445566778899AABBCCDDEEFF", "evil\n") +
                       ";" + "unloaded.dll:" + EncryptOptions(kOptionsKey, "z\n") + ";" +
                       "tp_full.dll:" + EncryptOptions(kOptionsKey, "devicenames.02:00:00:00:00:07=Garden") + ";";
    DispatchOptionsToPlugins(text, true, plugins);
    EXPECT_EQ((std::vector<std::string>{"devicenames.02:00:00:00:00:07=Garden"}), Received());
    std::string trace = testsupport::ReadFileText(m_dir.File("trace.log"));
    size_t wrongKey = 0;
    for (size_t at = trace.find("wrong shared options key"); at != std::string::npos;
         at = trace.find("wrong shared options key", at + 1))
        ++wrongKey;
    EXPECT_EQ(2u, wrongKey) << trace;
    EXPECT_NE(std::string::npos, trace.find("now setting shared options for module tp_full.dll"));

    DispatchOptionsToPlugins("tp_full.dll:" + EncryptOptions(kOptionsKey, "again") + ";", false, plugins);
    EXPECT_EQ(1u, Received().size()) << "switched off: discarded";
    EXPECT_NE(std::string::npos, testsupport::ReadFileText(m_dir.File("trace.log"))
                                     .find("shared options disabled. Options discarded."));

    std::string served = BuildOptionsOfPlugins(plugins);
    auto entries = SplitOptionsText(served);
    ASSERT_EQ(1u, entries.size()) << served;
    EXPECT_EQ("tp_full.dll", entries[0].first);
    std::string plain;
    ASSERT_TRUE(DecryptOptions(kOptionsKey, entries[0].second, plain));
    EXPECT_EQ("devicenames.02:00:00:00:00:07=Garden", plain) << "the plug-in keeps what it was given";
    options.Destroy();
    noOptions.Destroy();
}
