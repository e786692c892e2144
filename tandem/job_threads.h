// Threads that run jobs one at a time and then wait for the next. Under Wine starting and
// joining a thread costs about a millisecond and a half, more than a small download takes, so
// a thread that has finished a job takes the next one instead of ending. The owner bounds how
// many jobs run at once, and so how many threads there are.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "common/raii.h"
#include "common/thread.h"

class CJobThreads {
public:
    CJobThreads();
    ~CJobThreads();
    CJobThreads(const CJobThreads&) = delete;
    CJobThreads& operator=(const CJobThreads&) = delete;

    // Runs the work on an idle thread, or on a new one; false when no thread can be had.
    bool Run(std::function<void()> work);
    // Waits until every work has returned, then ends the threads. Answers messages sent to the
    // calling thread's windows meanwhile (work reports to the window synchronously).
    void Stop();
    size_t GetThreadCount();
    // Threads waiting for work.
    size_t GetIdleCount();

private:
    struct tWorker;
    void Loop(tWorker& worker, CThread& self);

    raii::CCriticalSection m_lock;
    std::vector<std::unique_ptr<tWorker>> m_workers; // guarded
    bool m_stopped = false;                          // guarded
};
