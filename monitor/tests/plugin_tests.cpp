#include <gtest/gtest.h>

#include "common/tests/test_support.h"
#include "common/trace.h"
#include "monitor/monitor_dialog.h"
#include "monitor/plugin.h"
#include "monitor/tests/monitor_test_support.h"

using namespace monitortest;
using testsupport::CTempDir;


namespace {

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_log = m_dir.File("plugin.log");
        SetEnvironmentVariableA("VELMORA_TESTPLUGIN_LOG", m_log.c_str());
        SetEnvironmentVariableA("VELMORA_TESTPLUGIN_MODE", nullptr);
        TraceCloseAll();
        TraceInit(("x /debug:" + m_dir.File("trace.log")).c_str());
        if (!m_receiver.Get())
            GTEST_SKIP() << "no display";
    }
    void TearDown() override { TraceCloseAll(); }
    std::vector<tLogLine> Log() { return ReadPluginLog(m_log); }
    std::string TraceText() { return testsupport::ReadFileText(m_dir.File("trace.log")); }

    CTempDir m_dir;
    std::string m_log;
    CReceiver m_receiver;
};

} // namespace

TEST_F(PluginTest, GetStateOnlyPluginRunsWithoutInitCleanupOrOptions)
{
    CPlugin plugin("tp_getstate.dll", m_receiver.Get());
    ASSERT_TRUE(plugin.Create());
    EXPECT_TRUE(plugin.IsCreated());
    EXPECT_TRUE(plugin.Create()) << "creating a created record does nothing";
    ASSERT_TRUE(PumpUntil([&] { return m_receiver.trees >= 2; }));
    EXPECT_EQ(3, m_receiver.lastCount);
    EXPECT_FALSE(plugin.TakesPartInOptions());
    EXPECT_EQ("", plugin.GetShareableOptions());
    plugin.SetShareableOptions("devicenames.x=y\n");

    plugin.Destroy();
    EXPECT_FALSE(plugin.IsCreated());
    EXPECT_EQ(1, m_receiver.nones) << "the rows are removed once the plug-in is stopped";
    std::vector<tLogLine> log = Log();
    EXPECT_EQ(0, CountEvents(log, "Init"));
    EXPECT_EQ(0, CountEvents(log, "Cleanup"));
    EXPECT_EQ(0, CountEvents(log, "SetShareableOptions"));
    EXPECT_EQ(1, CountEvents(log, "attach"));
    EXPECT_EQ(1, CountEvents(log, "detach"));
}

TEST_F(PluginTest, FullPluginCallsInitFirstAndCleanupLastOnItsWorker)
{
    CPlugin plugin("tp_full.dll", m_receiver.Get());
    ASSERT_TRUE(plugin.Create());
    ASSERT_TRUE(PumpUntil([&] { return m_receiver.trees >= 1; }));
    EXPECT_TRUE(plugin.TakesPartInOptions());
    EXPECT_EQ("devicenames.02:00:00:00:00:01=Kitchen\n", plugin.GetShareableOptions());
    plugin.SetShareableOptions("devicenames.02:00:00:00:00:02=Hall\n");
    // SetShareableOptions is followed by the refresh event: GetState sees it.
    ASSERT_TRUE(PumpUntil([&] {
        std::vector<tLogLine> log = Log();
        for (size_t i = 0; i < log.size(); ++i)
            if (log[i].event == "SetShareableOptions")
                for (size_t j = i + 1; j < log.size(); ++j)
                    if (log[j].event == "GetState" && log[j].detail == "refresh")
                        return true;
        return false;
    }));
    EXPECT_EQ("devicenames.02:00:00:00:00:02=Hall\n", plugin.GetShareableOptions());
    plugin.Destroy();

    std::vector<tLogLine> log = Log();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ("attach", log.front().event);
    EXPECT_EQ("Init", log[1].event);
    EXPECT_EQ("GetState", log[2].event);
    EXPECT_EQ("refresh", log[2].detail) << "the monitor sets the refresh event once after Init";
    EXPECT_EQ("detach", log.back().event);
    EXPECT_EQ("Cleanup", log[log.size() - 2].event);
    EXPECT_NE(GetCurrentThreadId(), log[1].thread) << "Init runs on the worker thread";
    EXPECT_EQ(log[1].thread, log[log.size() - 2].thread) << "Init and Cleanup on the same worker";
}

TEST_F(PluginTest, DllsThatAreNoPluginsAreRefused)
{
    CPlugin missing("coppercard.dll", m_receiver.Get());
    EXPECT_FALSE(missing.Create());
    CPlugin noGetState("tp_nogetstate.dll", m_receiver.Get());
    EXPECT_FALSE(noGetState.Create());
    EXPECT_FALSE(noGetState.IsCreated());
    std::string trace = TraceText();
    EXPECT_NE(std::string::npos, trace.find("Dll could not be loaded: coppercard.dll")) << trace;
    EXPECT_NE(std::string::npos, trace.find("Dll is no plugin dll: tp_nogetstate.dll")) << trace;
    EXPECT_EQ(0, CountEvents(Log(), "Init")) << "a refused DLL is never started";
    EXPECT_EQ(1, CountEvents(Log(), "detach")) << "and released again";
}

TEST_F(PluginTest, HalfAnOptionsPairIsNoOptionsPair)
{
    CPlugin plugin("tp_halfoptions.dll", m_receiver.Get());
    ASSERT_TRUE(plugin.Create());
    EXPECT_FALSE(plugin.TakesPartInOptions());
    EXPECT_EQ("", plugin.GetShareableOptions());
    plugin.Destroy();
    EXPECT_EQ(0, CountEvents(Log(), "GetShareableOptions"));
}

TEST_F(PluginTest, DestroyAndCreateAgainReloadsOnANewWorker)
{
    CPlugin plugin("tp_full.dll", m_receiver.Get());
    ASSERT_TRUE(plugin.Create());
    ASSERT_TRUE(PumpUntil([&] { return m_receiver.trees >= 1; }));
    plugin.Destroy();
    plugin.Destroy(); // nothing to do on an idle record
    ASSERT_TRUE(plugin.Create());
    int before = m_receiver.trees;
    ASSERT_TRUE(PumpUntil([&] { return m_receiver.trees > before; }));
    plugin.Destroy();

    std::vector<tLogLine> log = Log();
    EXPECT_EQ(2, CountEvents(log, "attach"));
    EXPECT_EQ(2, CountEvents(log, "Init"));
    EXPECT_EQ(2, CountEvents(log, "Cleanup"));
    EXPECT_EQ(2, CountEvents(log, "detach"));
    std::vector<unsigned long> initThreads;
    for (const tLogLine& line : log)
        if (line.event == "Init")
            initThreads.push_back(line.thread);
    EXPECT_NE(initThreads[0], initThreads[1]);
}

TEST_F(PluginTest, IdleRecordIgnoresOptionsAndSignals)
{
    CPlugin plugin("tp_full.dll", m_receiver.Get());
    plugin.SetShareableOptions("devicenames.a=b\n");
    plugin.SignalChange();
    EXPECT_EQ("", plugin.GetShareableOptions());
    EXPECT_TRUE(Log().empty()) << "the DLL was never loaded";
}

// The window thread stops a plug-in whose worker is forever inside SendMessage to it.
TEST_F(PluginTest, DestroyNeverDeadlocksAgainstABusyWorker)
{
    SetEnvironmentVariableA("VELMORA_TESTPLUGIN_MODE", "quick");
    m_receiver.delayMs = 2;
    CPlugin plugin("tp_full.dll", m_receiver.Get());
    for (int round = 0; round < 10; ++round) {
        ASSERT_TRUE(plugin.Create());
        int before = m_receiver.trees;
        ASSERT_TRUE(PumpUntil([&] { return m_receiver.trees > before + 2; }));
        DWORD start = GetTickCount();
        plugin.Destroy();
        EXPECT_LT(GetTickCount() - start, 3000u);
    }
    EXPECT_EQ(10, m_receiver.nones);
}

TEST_F(PluginTest, APluginWithNothingToShowSendsNone)
{
    SetEnvironmentVariableA("VELMORA_TESTPLUGIN_MODE", "none");
    CPlugin plugin("tp_getstate.dll", m_receiver.Get());
    ASSERT_TRUE(plugin.Create());
    // Each none is an update of its own; the worker keeps going.
    ASSERT_TRUE(PumpUntil([&] { return m_receiver.nones >= 3; }));
    EXPECT_EQ(0, m_receiver.trees);
    plugin.Destroy();
}

TEST_F(PluginTest, TheFileThatIsCheckedIsTheFileThatIsLoaded)
{
    CPlugin plugin("tp_getstate.dll", m_receiver.Get());
    ASSERT_TRUE(plugin.Create());
    std::string expected = testsupport::ProgramFolder() + "\\tp_getstate.dll";
    EXPECT_EQ(0, _stricmp(expected.c_str(), plugin.ModuleFile().c_str())) << plugin.ModuleFile();
    EXPECT_EQ(0, _stricmp(expected.c_str(), ResolvePluginFile("tp_getstate.dll").c_str()));
    plugin.Destroy();
    EXPECT_EQ("", plugin.ModuleFile());
    EXPECT_EQ("", ResolvePluginFile("coppercard.dll")) << "nowhere to be found";
}

TEST_F(PluginTest, APluginThatFailsItsSealIsNeitherLoadedNorStarted)
{
    // A sealed plug-in with one byte changed, beside the program where plug-ins are looked for
    // first; starting it again by name (as the wizard does) checks it again.
    std::string folder = testsupport::ProgramFolder();
    std::string tampered = folder + "\\tp_tampered.dll";
    std::string image = testsupport::ReadFileText(folder + "\\tp_full.dll");
    ASSERT_GT(image.size(), 1000u);
    image[image.size() / 2] ^= 0x20;
    ASSERT_TRUE(testsupport::WriteFileText(tampered, image));
    CPlugin plugin("tp_tampered.dll", m_receiver.Get());
    EXPECT_FALSE(plugin.Create());
    EXPECT_FALSE(plugin.Create());
    EXPECT_FALSE(plugin.IsCreated());
    EXPECT_EQ(nullptr, GetModuleHandleA("tp_tampered.dll"));
    EXPECT_EQ(0, CountEvents(Log(), "attach")) << "not even its DllMain ran";
    EXPECT_NE(std::string::npos, TraceText().find("tp_tampered.dll fails the integrity check, skipped"));
    EXPECT_TRUE(DeleteFileA(tampered.c_str()));
}

TEST(PluginContract, TheMonitorWindowIsFoundByTheClassTheContractNames)
{
    // Other programs find the monitor by the contract's class name; the window registers its own.
    EXPECT_STREQ(kMonitorWindowClass, CMonitorDialog::kClassName);
}
