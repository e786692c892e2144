// What ends a running job early, on the server and in the request client: the program shutting
// down, the owner's cancel flag, or a peer that has made no progress for too long. The socket
// calls of a job watch one flag; the thread that schedules the jobs sets it from these causes.
#pragma once

#include <windows.h>

#include <atomic>

#include "common/sockets.h"
#include "tandem/listeners.h"

struct tJobWatch {
    tCancelFlag cancel{false};
    std::atomic<DWORD> lastActivity{0};
    // Cleared while the job waits for something other than its peer.
    std::atomic<bool> watched{true};
    DWORD idleLimit = 0;
    // The owner's flag for this job; read under the scheduling object's lock.
    tCancelHandle external;

    void Touch() { lastActivity = GetTickCount(); }
    bool ExternallyCancelled() const { return external && external->load(); }
    // Sets the cancel flag when a cause holds; true when the cause is a stall (the caller
    // traces it).
    bool Check(bool stopping, DWORD now);
};

// Passes a transfer's course on to the owner's listener and notes that it moves.
class CWatchedProgress : public CProgressListener {
public:
    CWatchedProgress(CProgressListener* next, tJobWatch& watch) : m_next(next), m_watch(watch) {}
    void Started(int jobId) override;
    void Progress(int jobId, int64_t percent, double rate) override;
    void Finished(int jobId, bool success) override;

private:
    CProgressListener* m_next;
    tJobWatch& m_watch;
};
