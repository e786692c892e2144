#include "common/thread.h"

#include <exception>

#include "common/trace.h"

CThread::CThread() : m_stop(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
    if (!m_stop)
        TraceHere("CreateEvent failed\n");
}

CThread::~CThread()
{
    Stop();
}

bool CThread::Start(tBody body)
{
    if (IsRunning()) {
        TraceHere("thread %lu is still running\n", m_id);
        return false;
    }
    Reap();
    if (!m_stop)
        return false;
    ResetEvent(m_stop.Get());
    m_body = std::move(body);
    m_thread.Attach(CreateThread(nullptr, 0, Entry, this, 0, &m_id));
    if (!m_thread) {
        TraceHere("CreateThread failed\n");
        TraceLastError();
        m_body = nullptr;
        m_id = 0;
        return false;
    }
    return true;
}

DWORD WINAPI CThread::Entry(void* parameter)
{
    auto* self = static_cast<CThread*>(parameter);
    try {
        self->m_body(*self);
    } catch (const std::exception& error) {
        TraceHere("thread %lu ended by an exception: %s\n", GetCurrentThreadId(), error.what());
    } catch (...) {
        TraceHere("thread %lu ended by an exception\n", GetCurrentThreadId());
    }
    return 0;
}

void CThread::RequestStop()
{
    if (m_stop)
        SetEvent(m_stop.Get());
}

bool CThread::Join(DWORD timeoutMs)
{
    if (!m_thread)
        return true;
    if (GetCurrentThreadId() == m_id) {
        // A body that destroys its own owner cannot wait for itself.
        TraceHere("thread %lu cannot join itself\n", m_id);
        return false;
    }
    if (WaitForSingleObject(m_thread.Get(), timeoutMs) != WAIT_OBJECT_0)
        return false;
    Reap();
    return true;
}

bool CThread::Stop(DWORD timeoutMs)
{
    RequestStop();
    return Join(timeoutMs);
}

bool CThread::StopAnsweringSentMessages(DWORD timeoutMs)
{
    RequestStop();
    if (!m_thread)
        return true;
    if (GetCurrentThreadId() == m_id)
        return false;
    if (xUtilWaitAnsweringSentMessages(m_thread.Get(), timeoutMs) != WAIT_OBJECT_0)
        return false;
    Reap();
    return true;
}

bool CThread::StopRequested() const
{
    return m_stop && WaitForSingleObject(m_stop.Get(), 0) == WAIT_OBJECT_0;
}

bool CThread::WaitForStop(DWORD timeoutMs) const
{
    return m_stop && WaitForSingleObject(m_stop.Get(), timeoutMs) == WAIT_OBJECT_0;
}

bool CThread::IsRunning() const
{
    return m_thread && WaitForSingleObject(m_thread.Get(), 0) == WAIT_TIMEOUT;
}

void CThread::Reap()
{
    if (m_thread && !IsRunning()) {
        m_thread.Close();
        m_id = 0;
        m_body = nullptr;
    }
}

DWORD xUtilWaitAnsweringSentMessages(HANDLE handle, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        DWORD left = INFINITE;
        if (timeoutMs != INFINITE) {
            DWORD spent = GetTickCount() - start;
            left = spent >= timeoutMs ? 0 : timeoutMs - spent;
        }
        DWORD result = MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_SENDMESSAGE);
        if (result != WAIT_OBJECT_0 + 1)
            return result;
        // Peeking dispatches the sent messages; nothing posted is taken from the queue.
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}
