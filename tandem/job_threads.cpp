#include "tandem/job_threads.h"

struct CJobThreads::tWorker {
    raii::CHandle ready{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    std::function<void()> work; // guarded by the owner's lock
    bool busy = false;          // guarded
    CThread thread;
};

CJobThreads::CJobThreads() = default;

CJobThreads::~CJobThreads()
{
    Stop();
}

bool CJobThreads::Run(std::function<void()> work)
{
    raii::CLock lock(m_lock);
    if (m_stopped)
        return false;
    for (auto& worker : m_workers)
        if (!worker->busy) {
            worker->busy = true;
            worker->work = std::move(work);
            SetEvent(worker->ready.Get());
            return true;
        }
    auto worker = std::make_unique<tWorker>();
    tWorker* added = worker.get();
    if (!added->ready)
        return false;
    added->busy = true;
    added->work = std::move(work);
    SetEvent(added->ready.Get());
    if (!added->thread.Start([this, added](CThread& self) { Loop(*added, self); }))
        return false;
    m_workers.push_back(std::move(worker));
    return true;
}

void CJobThreads::Loop(tWorker& worker, CThread& self)
{
    HANDLE handles[] = {worker.ready.Get(), self.StopEvent()};
    for (;;) {
        // The work handed over before a stop is still done: its owner waits for its report.
        DWORD result = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        std::function<void()> work;
        {
            raii::CLock lock(m_lock);
            work = std::move(worker.work);
            worker.work = nullptr;
        }
        if (work)
            work();
        {
            raii::CLock lock(m_lock);
            worker.busy = false;
        }
        if (result != WAIT_OBJECT_0 || self.StopRequested())
            return;
    }
}

void CJobThreads::Stop()
{
    std::vector<std::unique_ptr<tWorker>> workers;
    {
        raii::CLock lock(m_lock);
        m_stopped = true;
        workers.swap(m_workers);
    }
    for (auto& worker : workers)
        worker->thread.StopAnsweringSentMessages();
}

size_t CJobThreads::GetThreadCount()
{
    raii::CLock lock(m_lock);
    return m_workers.size();
}

size_t CJobThreads::GetIdleCount()
{
    raii::CLock lock(m_lock);
    size_t idle = 0;
    for (const auto& worker : m_workers)
        if (!worker->busy)
            ++idle;
    return idle;
}
