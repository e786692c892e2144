// watchpost.exe as a program: one instance only, control by WM_COPYDATA from another process.
#include <gtest/gtest.h>

#include <string>

#include "common/raii.h"
#include "common/tests/test_support.h"
#include "monitor/res/resource.h"
#include "monitor/tests/monitor_test_support.h"

using namespace monitortest;
using testsupport::CTempDir;

namespace {

// A copy of watchpost with the test plug-in named plexa.dll beside it.
class WatchpostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string bin = testsupport::ProgramFolder();
        m_program = m_dir.File("watchpost.exe");
        ASSERT_TRUE(CopyFileA((bin + "\\watchpost.exe").c_str(), m_program.c_str(), FALSE));
        ASSERT_TRUE(CopyFileA((bin + "\\testplugins\\plexa.dll").c_str(), m_dir.File("plexa.dll").c_str(), FALSE));
        m_log = m_dir.File("plugin.log");
        SetEnvironmentVariableA("VELMORA_TESTPLUGIN_LOG", m_log.c_str());
        SetEnvironmentVariableA("VELMORA_TESTPLUGIN_MODE", nullptr);
    }
    void TearDown() override
    {
        if (HWND window = FindMonitor())
            PostMessageA(window, WM_CLOSE, 1, 0);
        for (raii::CHandle& process : m_processes)
            if (WaitForSingleObject(process.Get(), 5000) != WAIT_OBJECT_0)
                TerminateProcess(process.Get(), 1);
    }

    HANDLE Start()
    {
        std::string line = "\"" + m_program + "\" /debug:\"" + m_dir.File("trace.log") + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, m_dir.Path().c_str(),
                            &startup, &info))
            return nullptr;
        CloseHandle(info.hThread);
        m_processes.emplace_back(info.hProcess);
        return info.hProcess;
    }

    HWND FindMonitor()
    {
        // Only windows of our copy: other monitors may run in this Wine prefix.
        HWND found = nullptr;
        for (HWND window = FindWindowA("VelmoraMonitorClass", nullptr); window;
             window = FindWindowExA(nullptr, window, "VelmoraMonitorClass", nullptr)) {
            DWORD pid = 0;
            GetWindowThreadProcessId(window, &pid);
            for (raii::CHandle& process : m_processes)
                if (GetProcessId(process.Get()) == pid)
                    found = window;
        }
        return found;
    }

    std::string Trace() { return testsupport::ReadFileText(m_dir.File("trace.log")); }

    CTempDir m_dir;
    std::string m_program, m_log;
    std::vector<raii::CHandle> m_processes;
};

} // namespace

TEST_F(WatchpostTest, SecondStartBringsTheFirstWindowBackAndEnds)
{
    ASSERT_NE(nullptr, Start());
    HWND window = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (window = FindMonitor()) != nullptr && IsWindowVisible(window); }, 15000));
    ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(PumpUntil([&] { return IsIconic(window) != FALSE; }, 3000));

    HANDLE second = Start();
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(second, 15000)) << "the second instance ends";
    DWORD code = 1;
    GetExitCodeProcess(second, &code);
    EXPECT_EQ(0u, code);
    EXPECT_TRUE(PumpUntil([&] { return !IsIconic(window); }, 5000)) << "command 1212 restored the window";
    EXPECT_EQ(window, FindMonitor());
}

TEST_F(WatchpostTest, PluginsStopAndStartByNameFromAnotherProcess)
{
    ASSERT_NE(nullptr, Start());
    HWND window = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (window = FindMonitor()) != nullptr; }, 15000));
    ASSERT_TRUE(PumpUntil([&] { return CountEvents(ReadPluginLog(m_log), "GetState") > 0; }, 10000));

    const char name[] = "PLEXA.DLL";
    COPYDATASTRUCT stop = {1, sizeof name, const_cast<char*>(name)};
    EXPECT_EQ(TRUE, SendMessageA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&stop)));
    std::vector<tLogLine> log = ReadPluginLog(m_log);
    EXPECT_EQ(1, CountEvents(log, "Cleanup"));
    EXPECT_EQ(1, CountEvents(log, "detach"));

    COPYDATASTRUCT start = {2, sizeof name, const_cast<char*>(name)};
    EXPECT_EQ(TRUE, SendMessageA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&start)));
    ASSERT_TRUE(PumpUntil([&] { return CountEvents(ReadPluginLog(m_log), "Init") == 2; }, 5000));
    EXPECT_EQ(2, CountEvents(ReadPluginLog(m_log), "attach"));

    const char other[] = "dialtrack.dll";
    COPYDATASTRUCT unknown = {1, sizeof other, const_cast<char*>(other)};
    SendMessageA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&unknown));

    // Closing for good stops the plug-in and ends the program.
    PostMessageA(window, WM_CLOSE, 1, 0);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m_processes[0].Get(), 15000));
    log = ReadPluginLog(m_log);
    EXPECT_EQ(2, CountEvents(log, "Cleanup"));
    EXPECT_EQ(2, CountEvents(log, "detach"));

    std::string trace = Trace();
    EXPECT_NE(std::string::npos, trace.find("disabling plugin PLEXA.DLL (plexa.dll)")) << trace;
    EXPECT_NE(std::string::npos, trace.find("enabling plugin PLEXA.DLL")) << trace;
    EXPECT_NE(std::string::npos, trace.find("Dll could not be loaded: coppercard.dll")) << trace;
    EXPECT_NE(std::string::npos, trace.find("strName: dialtrack.dll")) << trace;
    EXPECT_NE(std::string::npos, trace.find("all plugins unloaded/ended")) << trace;
}

TEST_F(WatchpostTest, ModifiedPluginIsNotLoaded)
{
    std::string plugin = testsupport::ReadFileText(m_dir.File("plexa.dll"));
    plugin[plugin.size() / 3] ^= 0x20;
    testsupport::WriteFileText(m_dir.File("plexa.dll"), plugin);
    ASSERT_NE(nullptr, Start());
    HWND window = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (window = FindMonitor()) != nullptr; }, 15000));
    ASSERT_TRUE(PumpUntil([&] { return Trace().find("integrity check") != std::string::npos; }, 5000))
        << Trace();
    EXPECT_EQ(0, CountEvents(ReadPluginLog(m_log), "attach")) << "never even loaded";
}

TEST_F(WatchpostTest, AMessageThatCannotBeReceivedDoesNotEndTheMonitor)
{
    HANDLE process = Start();
    ASSERT_NE(nullptr, process);
    HWND window = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (window = FindMonitor()) != nullptr; }, 15000));
    // 8 MiB of plug-in "name": more than the system hands over in one message under Wine,
    // where the receiving GetMessage then fails.
    std::string huge(8 * 1024 * 1024, 'a');
    COPYDATASTRUCT copy = {1, static_cast<DWORD>(huge.size()), &huge[0]};
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy), SMTO_NORMAL, 2000, &answer);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(process, 1000)) << "the monitor still runs";
    EXPECT_TRUE(SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer)) << "and answers";
    const char name[] = "plexa.dll";
    COPYDATASTRUCT stop = {1, sizeof name, const_cast<char*>(name)};
    EXPECT_EQ(TRUE, SendMessageA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&stop)));
}
