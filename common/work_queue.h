// A bounded queue of jobs served by a fixed number of CThreads: a server hands each request to
// it and moves on, and a flood of requests finds the queue full instead of growing threads or
// memory without limit.
//
//   CWorkQueue<raii::CSocket> requests(16);
//   requests.Start(4, [this](raii::CSocket& connection) { Serve(connection); });
//   if (!requests.Push(std::move(connection)))   // full: the job is dropped (socket closed)
//       ...
//   requests.Stop();                             // joins; jobs still queued are dropped
//
// Stop waits for running jobs: a job that may block must watch a cancel flag (a CDeadline,
// common/deadline.h) that its owner sets before stopping.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "common/raii.h"
#include "common/thread.h"
#include "common/trace.h"

template <class T>
class CWorkQueue {
public:
    using tHandler = std::function<void(T&)>;

    explicit CWorkQueue(size_t capacity) : m_capacity(capacity) {}
    ~CWorkQueue() { Stop(); }
    CWorkQueue(const CWorkQueue&) = delete;
    CWorkQueue& operator=(const CWorkQueue&) = delete;

    // Starts the workers; false when they run already or none could be started.
    bool Start(size_t threads, tHandler handler)
    {
        if (!m_workers.empty() || threads == 0 || m_capacity == 0)
            return false;
        m_handler = std::move(handler);
        // The semaphore counts queued jobs; it never holds more than the queue.
        m_queued.Attach(CreateSemaphoreA(nullptr, 0, static_cast<LONG>(m_capacity), nullptr));
        if (!m_queued)
            return false;
        for (size_t i = 0; i < threads; ++i) {
            std::unique_ptr<CThread> worker(new CThread);
            if (worker->Start([this](CThread& self) { Work(self); }))
                m_workers.push_back(std::move(worker));
        }
        return !m_workers.empty();
    }

    // Queues the job; false (and the job is destroyed) when the queue is full or stopped.
    bool Push(T job)
    {
        raii::CLock lock(m_lock);
        if (m_workers.empty() || m_jobs.size() >= m_capacity)
            return false;
        m_jobs.push_back(std::move(job));
        ReleaseSemaphore(m_queued.Get(), 1, nullptr);
        return true;
    }

    void Stop()
    {
        for (auto& worker : m_workers)
            worker->RequestStop();
        for (auto& worker : m_workers)
            worker->Join();
        raii::CLock lock(m_lock);
        m_workers.clear();
        m_jobs.clear();
        m_queued.Close();
    }

    size_t Queued()
    {
        raii::CLock lock(m_lock);
        return m_jobs.size();
    }

private:
    void Work(CThread& self)
    {
        HANDLE waits[2] = {self.StopEvent(), m_queued.Get()};
        while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
            raii::CLock lock(m_lock);
            if (m_jobs.empty())
                continue;
            T job = std::move(m_jobs.front());
            m_jobs.pop_front();
            lock.Unlock();
            // One failed job must not cost the queue a worker.
            try {
                m_handler(job);
            } catch (...) {
                Trace("work queue: a job ended by an exception\n");
            }
        }
    }

    const size_t m_capacity;
    raii::CCriticalSection m_lock;
    std::deque<T> m_jobs;
    raii::CHandle m_queued;
    std::vector<std::unique_ptr<CThread>> m_workers;
    tHandler m_handler;
};
