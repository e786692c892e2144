#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include "common/tests/test_support.h"
#include "common/thread.h"

TEST(Thread, DestructorStopsAndJoinsTheBody)
{
    std::atomic<int> turns{0};
    std::atomic<bool> ended{false};
    {
        CThread worker;
        ASSERT_TRUE(worker.Start([&](CThread& self) {
            while (!self.WaitForStop(5))
                ++turns;
            ended = true;
        }));
        EXPECT_TRUE(worker.IsRunning());
        EXPECT_TRUE(testsupport::WaitFor([&] { return turns.load() > 0; }, 5000));
    }
    EXPECT_TRUE(ended) << "the owner waited for its thread";
    EXPECT_GT(turns.load(), 0);
}

TEST(Thread, RestartsAfterStopWithAClearedStopEvent)
{
    CThread worker;
    std::atomic<int> runs{0};
    auto body = [&](CThread& self) {
        ++runs;
        self.WaitForStop(INFINITE);
    };
    ASSERT_TRUE(worker.Start(body));
    EXPECT_FALSE(worker.Start(body)) << "one thread at a time";
    EXPECT_TRUE(worker.Stop(5000));
    EXPECT_FALSE(worker.IsRunning());
    ASSERT_TRUE(worker.Start(body));
    Sleep(20);
    EXPECT_TRUE(worker.IsRunning()) << "a second run does not see the old stop request";
    EXPECT_TRUE(worker.Stop(5000));
    EXPECT_EQ(2, runs.load());
}

TEST(Thread, JoinWaitsForABodyThatEndsByItselfAndTimesOut)
{
    CThread worker;
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(worker.Start([&](CThread&) { WaitForSingleObject(release, INFINITE); }));
    EXPECT_FALSE(worker.Join(30)) << "still running";
    SetEvent(release);
    EXPECT_TRUE(worker.Join(5000));
    EXPECT_FALSE(worker.StopRequested()) << "Join does not ask for a stop";
    CloseHandle(release);
}

TEST(Thread, AnExceptionEndsTheThreadWithoutEndingTheProcess)
{
    CThread worker;
    ASSERT_TRUE(worker.Start([](CThread&) { throw std::runtime_error("broken"); }));
    EXPECT_TRUE(worker.Join(5000));
}

TEST(Thread, StopAnswersMessagesTheWorkerSendsMeanwhile)
{
    // A worker that reports to a window of this thread with SendMessage while being stopped:
    // a plain join would wait forever.
    HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    HANDLE inside = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> answered{false};
    CThread worker;
    ASSERT_TRUE(worker.Start([&](CThread& self) {
        SetEvent(inside);
        while (!self.StopRequested())
            Sleep(1);
        SendMessageA(window, WM_NULL, 0, 0);
        answered = true;
    }));
    WaitForSingleObject(inside, 5000);
    EXPECT_TRUE(worker.StopAnsweringSentMessages(5000));
    EXPECT_TRUE(answered);
    CloseHandle(inside);
    DestroyWindow(window);
}

TEST(Thread, WaitAnsweringSentMessagesTimesOut)
{
    HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD start = GetTickCount();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), xUtilWaitAnsweringSentMessages(never, 50));
    EXPECT_GE(GetTickCount() - start, 40u);
    CloseHandle(never);
}
