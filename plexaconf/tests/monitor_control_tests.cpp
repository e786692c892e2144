// The wizard keeps the monitor's plug-in off the adapters: stopped and started by WM_COPYDATA,
// or the monitor closed and started again when it does not acknowledge the stop.
#include <gtest/gtest.h>

#include "common/raii.h"
#include "common/tests/test_support.h"
#include "monitor/source.win/global/plugin_contract.h"
#include "plexaconf/monitor_control.h"

namespace {

#define REQUIRE_DISPLAY()                                                              \
    do {                                                                               \
        HWND probe = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr); \
        if (!probe) {                                                                  \
            if (testsupport::DisplayRequired())                                        \
                FAIL() << "no window can be made although a display was promised";    \
            GTEST_SKIP() << "no display";                                              \
        }                                                                              \
        DestroyWindow(probe);                                                          \
    } while (0)

class MonitorControlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_log = m_dir.File("monitor.log");
        SetEnvironmentVariableA("FAKE_MONITOR_LOG", m_log.c_str());
    }
    void TearDown() override
    {
        // Whatever monitor is left ends here.
        for (int i = 0; i < 50; ++i) {
            HWND window = FindWindowA(kMonitorWindowClass, nullptr);
            if (!window)
                break;
            PostMessageA(window, WM_CLOSE, kCloseEndsMonitor, 0);
            Sleep(100);
        }
        SetEnvironmentVariableA("FAKE_MONITOR_LOG", nullptr);
        SetEnvironmentVariableA("FAKE_MONITOR_ANSWER", nullptr);
    }

    // Starts the fake monitor and waits for its window.
    bool StartMonitor(bool acknowledges)
    {
        SetEnvironmentVariableA("FAKE_MONITOR_ANSWER", acknowledges ? "1" : "0");
        std::string command = "\"" + testsupport::ProgramFolder() + "\\plexaconf_fake_monitor.exe\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
            return false;
        m_process.Attach(info.hProcess);
        CloseHandle(info.hThread);
        return WaitForWindow(true);
    }
    bool WaitForWindow(bool present)
    {
        for (int i = 0; i < 100; ++i) {
            if ((FindWindowA(kMonitorWindowClass, nullptr) != nullptr) == present)
                return true;
            Sleep(50);
        }
        return false;
    }
    std::string Log() { return testsupport::ReadFileText(m_log); }

    testsupport::CTempDir m_dir;
    std::string m_log;
    raii::CHandle m_process;
};

} // namespace

TEST_F(MonitorControlTest, APluginStoppedIsStartedAgain)
{
    REQUIRE_DISPLAY();
    ASSERT_TRUE(StartMonitor(true));
    CMonitorControl control;
    control.StopPlugin("plexa.dll");
    EXPECT_FALSE(control.ClosedMonitor());
    EXPECT_EQ("started\ncopydata 1 plexa.dll\n", Log());
    control.Restore();
    EXPECT_EQ("started\ncopydata 1 plexa.dll\ncopydata 2 plexa.dll\n", Log());
    control.Restore();
    EXPECT_EQ("started\ncopydata 1 plexa.dll\ncopydata 2 plexa.dll\n", Log()) << "once";
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(m_process.Get(), 0)) << "the monitor runs on";
}

TEST_F(MonitorControlTest, AMonitorThatDoesNotStopItsPluginIsClosedAndStartedAgain)
{
    REQUIRE_DISPLAY();
    ASSERT_TRUE(StartMonitor(false));
    CMonitorControl control;
    control.StopPlugin("plexa.dll");
    EXPECT_TRUE(control.ClosedMonitor());
    EXPECT_EQ("started\ncopydata 1 plexa.dll\nclose\n", Log());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m_process.Get(), 0)) << "ended before StopPlugin returned";
    EXPECT_NE(std::string::npos, control.MonitorPath().find("plexaconf_fake_monitor.exe")) << control.MonitorPath();
    control.StopPlugin("plexa.dll");
    EXPECT_EQ("started\ncopydata 1 plexa.dll\nclose\n", Log()) << "nothing more to stop";

    control.Restore();
    EXPECT_TRUE(WaitForWindow(true)) << "started again from its program file";
    // It notes its start just after its window is there.
    const std::string expected = "started\ncopydata 1 plexa.dll\nclose\nstarted\n";
    EXPECT_TRUE(testsupport::WaitFor([&] { return Log() == expected; }, 5000)) << Log();
}

TEST_F(MonitorControlTest, WithoutAMonitorNothingHappens)
{
    REQUIRE_DISPLAY();
    ASSERT_TRUE(WaitForWindow(false));
    CMonitorControl control;
    control.StopPlugin("plexa.dll");
    control.Restore();
    EXPECT_FALSE(control.ClosedMonitor());
    EXPECT_EQ("", Log());
    EXPECT_FALSE(WaitForWindow(true));
}
