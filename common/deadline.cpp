#include "common/deadline.h"

#include "common/trace.h"

namespace {

// Ticks wrap after 49 days: compare by difference.
bool Reached(DWORD now, DWORD due)
{
    return static_cast<int32_t>(now - due) >= 0;
}

} // namespace

CDeadlineTimer::CDeadlineTimer() : m_changed(CreateEventA(nullptr, FALSE, FALSE, nullptr))
{
    if (!m_changed)
        TraceHere("CreateEvent failed\n");
}

CDeadlineTimer::~CDeadlineTimer()
{
    Stop();
}

bool CDeadlineTimer::Start()
{
    if (!m_changed)
        return false;
    {
        raii::CLock lock(m_lock);
        m_cancelled = false;
    }
    if (m_thread.IsRunning())
        return true;
    return m_thread.Start([this](CThread& self) { Run(self); });
}

void CDeadlineTimer::Stop()
{
    CancelAll();
    m_thread.Stop();
}

void CDeadlineTimer::CancelAll()
{
    raii::CLock lock(m_lock);
    m_cancelled = true;
    for (tEntry& entry : m_entries)
        *entry.flag = true;
}

CDeadlineTimer::tEntries::iterator CDeadlineTimer::Add(tCancelFlag& flag, DWORD milliseconds)
{
    raii::CLock lock(m_lock);
    if (m_cancelled)
        flag = true;
    auto entry = m_entries.insert(m_entries.end(), tEntry{&flag, GetTickCount() + milliseconds});
    lock.Unlock();
    // The thread may be waiting for a later deadline than this one.
    SetEvent(m_changed.Get());
    return entry;
}

void CDeadlineTimer::Remove(tEntries::iterator entry)
{
    raii::CLock lock(m_lock);
    m_entries.erase(entry);
}

void CDeadlineTimer::Run(CThread& self)
{
    HANDLE waits[2] = {self.StopEvent(), m_changed.Get()};
    for (;;) {
        DWORD wait = INFINITE;
        {
            raii::CLock lock(m_lock);
            DWORD now = GetTickCount();
            for (tEntry& entry : m_entries) {
                if (*entry.flag)
                    continue;
                if (Reached(now, entry.due))
                    *entry.flag = true;
                else if (entry.due - now < wait)
                    wait = entry.due - now;
            }
        }
        if (WaitForMultipleObjects(2, waits, FALSE, wait) == WAIT_OBJECT_0)
            return;
    }
}

CDeadline::CDeadline(CDeadlineTimer& timer, tCancelFlag& flag, DWORD milliseconds)
    : m_timer(timer), m_entry(timer.Add(flag, milliseconds))
{
}

CDeadline::~CDeadline()
{
    m_timer.Remove(m_entry);
}
