// Deadlines for the socket loops. The transport (common/sockets.h) ends every loop when its
// cancel flag is set; a CDeadlineTimer sets registered flags when their time is up, so that a
// send or receive with a flag also ends at a deadline. One thread serves every deadline of its
// owner, however many are registered.
//
//   CDeadlineTimer timer;             // one per service, started with it
//   timer.Start();
//   ...
//   tCancelFlag cancel{false};
//   CDeadline deadline(timer, cancel, 3000);
//   ReceiveFramedString(socket, text, cancel);   // fails after at most about 3 s
#pragma once

#include <windows.h>

#include <stdint.h>

#include <list>

#include "common/raii.h"
#include "common/sockets.h"
#include "common/thread.h"

class CDeadlineTimer {
public:
    CDeadlineTimer();
    ~CDeadlineTimer();
    CDeadlineTimer(const CDeadlineTimer&) = delete;
    CDeadlineTimer& operator=(const CDeadlineTimer&) = delete;

    // Starts the thread and ends an earlier CancelAll.
    bool Start();
    // Ends the thread; flags still registered are set first, so nothing waits for a
    // deadline that no one watches any more.
    void Stop();
    // Sets every registered flag now, and every flag registered later until the next Start:
    // how an owner that shuts down ends the socket loops of its workers.
    void CancelAll();

private:
    friend class CDeadline;
    struct tEntry {
        tCancelFlag* flag;
        DWORD due;
    };
    using tEntries = std::list<tEntry>;

    tEntries::iterator Add(tCancelFlag& flag, DWORD milliseconds);
    void Remove(tEntries::iterator entry);
    void Run(CThread& self);

    raii::CCriticalSection m_lock;
    tEntries m_entries;
    bool m_cancelled = true; // until started: a deadline nobody watches must not hang a loop
    raii::CHandle m_changed;
    CThread m_thread;
};

// A deadline for as long as the object lives: the flag is set when the time is up (or at
// once when the timer has been cancelled or is not running).
class CDeadline {
public:
    CDeadline(CDeadlineTimer& timer, tCancelFlag& flag, DWORD milliseconds);
    ~CDeadline();
    CDeadline(const CDeadline&) = delete;
    CDeadline& operator=(const CDeadline&) = delete;

private:
    CDeadlineTimer& m_timer;
    CDeadlineTimer::tEntries::iterator m_entry;
};
