#include <gtest/gtest.h>

#include <atomic>

#include "tandem/job_threads.h"

namespace {

bool WaitUntil(const std::atomic<int>& value, int expected)
{
    for (int i = 0; i < 500 && value.load() != expected; ++i)
        Sleep(10);
    return value.load() == expected;
}

} // namespace

TEST(JobThreads, AThreadThatHasFinishedTakesTheNextJob)
{
    CJobThreads threads;
    std::atomic<int> done{0};
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(threads.Run([&] { ++done; }));
        ASSERT_TRUE(WaitUntil(done, i + 1));
        // The worker is idle again once the work has returned and it has said so.
        for (int turn = 0; turn < 500 && threads.GetIdleCount() != 1; ++turn)
            Sleep(10);
    }
    EXPECT_EQ(1u, threads.GetThreadCount());
}

TEST(JobThreads, JobsAtTheSameTimeGetThreadsOfTheirOwn)
{
    CJobThreads threads;
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> waiting{0};
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(threads.Run([&] {
            ++waiting;
            WaitForSingleObject(release, 10000);
        }));
    EXPECT_TRUE(WaitUntil(waiting, 3)) << "none waits for another";
    EXPECT_EQ(3u, threads.GetThreadCount());
    SetEvent(release);
    threads.Stop();
    CloseHandle(release);
}

TEST(JobThreads, StopWaitsForTheWorkAndTakesNoMore)
{
    CJobThreads threads;
    std::atomic<int> done{0};
    ASSERT_TRUE(threads.Run([&] {
        Sleep(200);
        ++done;
    }));
    threads.Stop();
    EXPECT_EQ(1, done.load()) << "the work handed over before the stop was done";
    EXPECT_FALSE(threads.Run([&] { ++done; }));
    EXPECT_EQ(0u, threads.GetThreadCount());
}
