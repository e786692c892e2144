#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/deadline.h"
#include "common/raii.h"
#include "common/tests/test_support.h"
#include "common/work_queue.h"

using testsupport::WaitFor;

TEST(DeadlineTimer, SetsEachFlagWhenItsTimeIsUpAndNoSooner)
{
    CDeadlineTimer timer;
    ASSERT_TRUE(timer.Start());
    tCancelFlag late{false}, early{false}, unused{false};
    {
        CDeadline lateDeadline(timer, late, 400);
        CDeadline earlyDeadline(timer, early, 50); // registered later, due sooner
        EXPECT_TRUE(WaitFor([&] { return early.load(); }, 1000));
        EXPECT_FALSE(late.load()) << "a later deadline is not set with an earlier one";
        EXPECT_TRUE(WaitFor([&] { return late.load(); }, 1000));
    }
    {
        CDeadline gone(timer, unused, 30);
    }
    Sleep(100);
    EXPECT_FALSE(unused.load()) << "a deadline that went before its time sets nothing";
}

TEST(DeadlineTimer, CancelAllSetsFlagsNowAndLaterUntilStartedAgain)
{
    CDeadlineTimer timer;
    tCancelFlag beforeStart{false};
    {
        CDeadline deadline(timer, beforeStart, 60000);
        EXPECT_TRUE(beforeStart.load()) << "nobody watches the deadlines of a timer that is not running";
    }
    ASSERT_TRUE(timer.Start());
    tCancelFlag running{false}, afterCancel{false}, afterRestart{false};
    CDeadline first(timer, running, 60000);
    EXPECT_FALSE(running.load());
    timer.CancelAll();
    EXPECT_TRUE(running.load());
    {
        CDeadline second(timer, afterCancel, 60000);
        EXPECT_TRUE(afterCancel.load());
    }
    ASSERT_TRUE(timer.Start());
    CDeadline third(timer, afterRestart, 60000);
    EXPECT_FALSE(afterRestart.load());
    timer.Stop();
    EXPECT_TRUE(afterRestart.load()) << "stopping leaves no deadline unwatched";
}

TEST(WorkQueue, JobsRunOnTheWorkersAndAFullQueueRefuses)
{
    raii::CHandle release(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::atomic<int> started{0}, done{0};
    CWorkQueue<int> queue(2);
    EXPECT_FALSE(queue.Push(1)) << "not started";
    ASSERT_TRUE(queue.Start(2, [&](int& job) {
        ++started;
        WaitForSingleObject(release.Get(), INFINITE);
        done += job;
    }));
    EXPECT_TRUE(queue.Push(1));
    EXPECT_TRUE(queue.Push(10));
    ASSERT_TRUE(WaitFor([&] { return started == 2; }, 2000)) << "two workers, two jobs at once";
    EXPECT_TRUE(queue.Push(100));
    EXPECT_TRUE(queue.Push(1000));
    EXPECT_FALSE(queue.Push(10000)) << "two running, two waiting: full";
    EXPECT_EQ(2u, queue.Queued());
    SetEvent(release.Get());
    EXPECT_TRUE(WaitFor([&] { return done == 1111; }, 2000));
    EXPECT_TRUE(queue.Push(5)) << "room again";
    EXPECT_TRUE(WaitFor([&] { return done == 1116; }, 2000));
}

TEST(WorkQueue, StopJoinsRunningJobsAndDropsWaitingOnes)
{
    std::atomic<bool> stopping{false};
    std::atomic<int> ran{0};
    auto owned = std::make_shared<int>(0);
    {
        CWorkQueue<std::shared_ptr<int>> queue(4);
        ASSERT_TRUE(queue.Start(1, [&](std::shared_ptr<int>&) {
            ++ran;
            while (!stopping)
                Sleep(5);
            // Long enough for the stop to be asked for before the worker could take the next.
            Sleep(300);
        }));
        ASSERT_TRUE(queue.Push(owned));
        ASSERT_TRUE(WaitFor([&] { return ran == 1; }, 2000));
        ASSERT_TRUE(queue.Push(owned));
        ASSERT_TRUE(queue.Push(owned));
        stopping = true;
        queue.Stop();
        EXPECT_EQ(1, ran.load()) << "waiting jobs are not run after a stop";
        EXPECT_EQ(1, owned.use_count()) << "and they are released";
        EXPECT_FALSE(queue.Push(owned));
    }
}

TEST(WorkQueue, AJobThatThrowsKeepsItsWorker)
{
    std::atomic<int> done{0};
    CWorkQueue<int> queue(4);
    ASSERT_TRUE(queue.Start(1, [&](int& job) {
        if (job == 0)
            throw std::runtime_error("bad job");
        ++done;
    }));
    EXPECT_TRUE(queue.Push(0));
    EXPECT_TRUE(queue.Push(1));
    EXPECT_TRUE(WaitFor([&] { return done == 1; }, 2000));
}
