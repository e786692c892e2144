#include "tandem/job_watch.h"

bool tJobWatch::Check(bool stopping, DWORD now)
{
    if (cancel.load())
        return false;
    if (stopping || ExternallyCancelled()) {
        cancel = true;
        return false;
    }
    // The job may have moved after now was read: that is no stall.
    LONG idle = static_cast<LONG>(now - lastActivity.load());
    if (watched.load() && idle > 0 && static_cast<DWORD>(idle) > idleLimit) {
        cancel = true;
        return true;
    }
    return false;
}

void CWatchedProgress::Started(int jobId)
{
    m_watch.Touch();
    if (m_next)
        m_next->Started(jobId);
}

void CWatchedProgress::Progress(int jobId, int64_t percent, double rate)
{
    m_watch.Touch();
    if (m_next)
        m_next->Progress(jobId, percent, rate);
}

void CWatchedProgress::Finished(int jobId, bool success)
{
    if (m_next)
        m_next->Finished(jobId, success);
}
