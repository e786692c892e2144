// The suite's one thread idiom: a thread owned by an object, with a stop event the body
// watches, joined when the owner goes. Every worker of every program is a CThread; locks are
// raii::CCriticalSection with raii::CLock (common/raii.h).
//
//   CThread worker;
//   worker.Start([this](CThread& self) {
//       while (!self.WaitForStop(1000))   // one turn a second until asked to stop
//           DoWork();
//   });
//   ...
//   worker.Stop();                       // or let the destructor do it
#pragma once

#include <windows.h>

#include <functional>

#include "common/raii.h"

class CThread {
public:
    using tBody = std::function<void(CThread&)>;

    CThread();
    // Asks the body to stop and waits for it: an owner never outlives its thread.
    ~CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // Runs the body on a new thread. False (traced) when a thread is still running or the
    // system refuses a new one. The stop event is reset first, so a stopped thread can be
    // started again. An exception escaping the body is traced and ends the thread quietly.
    bool Start(tBody body);

    // Sets the stop event; returns at once.
    void RequestStop();
    // Waits for the thread to end; true when it has ended (or never ran). Does not ask it to
    // stop: a thread that ends by itself is joined with this.
    bool Join(DWORD timeoutMs = INFINITE);
    // RequestStop, then Join.
    bool Stop(DWORD timeoutMs = INFINITE);
    // Like Stop, for a window thread whose worker may be inside SendMessage to one of its
    // windows: sent messages are answered while waiting, so neither thread waits on the other.
    bool StopAnsweringSentMessages(DWORD timeoutMs = INFINITE);

    // For the body: true as soon as a stop is requested.
    bool StopRequested() const;
    // For the body: waits up to the given time; true when a stop was requested meanwhile.
    bool WaitForStop(DWORD timeoutMs) const;
    // The manual-reset stop event, for bodies that wait on several objects at once.
    HANDLE StopEvent() const { return m_stop.Get(); }

    bool IsRunning() const;
    DWORD Id() const { return m_id; }
    HANDLE Handle() const { return m_thread.Get(); }

private:
    static DWORD WINAPI Entry(void* parameter);
    // Closes the handle of a thread that has ended.
    void Reap();

    raii::CHandle m_stop;
    raii::CHandle m_thread;
    DWORD m_id = 0;
    tBody m_body;
};

// Waits for a handle while answering messages sent to the calling thread's windows.
// Returns the wait result (WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED).
DWORD xUtilWaitAnsweringSentMessages(HANDLE handle, DWORD timeoutMs);
