// The request server of a tandem host (TCP port 12346): keep-alive pings, listings of shares
// and folders, file downloads and self-descriptions, one request per connection.
//
// One accept thread takes connections and reads their requests without waiting on any single
// peer: every connection that has not yet delivered its request is read as its bytes arrive,
// within a time limit, and the number of such connections is bounded (the oldest goes first).
// Each classified request becomes a job that runs on a thread of its own, within limits per
// class (quick jobs, downloads, pings). The accept thread also watches the running jobs: a job
// whose peer stops reading or sending for too long is cancelled, as is every job when the
// program shuts down or its upload is cancelled by the owner.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <stdint.h>

#include <atomic>
#include <list>
#include <memory>
#include <string>

#include "common/parseini.h"
#include "common/raii.h"
#include "common/sockets.h"
#include "common/thread.h"
#include "tandem/job_threads.h"
#include "tandem/listeners.h"
#include "tandem/protocol.h"

struct tServerLimits {
    unsigned short port = kRequestPort;
    int quickJobs = 20;
    int downloads = 10;
    // Pings hold a connection (and a thread) each for as long as the peer runs: one per
    // host is normal, a few more cover a restart.
    int pingJobs = 256;
    int pingJobsPerAddress = 4;
    // Connections whose request is still being read.
    int pendingRequests = 256;
    int pendingPerAddress = 32;
    int64_t requestLength = 64 * 1024;
    DWORD requestMs = 10000;       // to deliver the whole request
    DWORD quickReplyMs = 30000;    // for a listing or host info reply to be taken
    DWORD pingSilenceMs = 10000;   // between two pings
    DWORD transferStallMs = 120000; // an upload without progress
};

// What GetJobInfo tells about a job.
struct tServerJobInfo {
    int type = SERVER_JOB_UNKNOWN;
    uint32_t client = 0;
    std::string path;
};

class CServerThread {
public:
    // The three interfaces may be null. settingsPath empty: the program's settings file.
    CServerThread(CProgressListener* uploadListener, IUploadNotification* uploadNotification,
                  IAdmissionCheck* admissionCheck, const std::string& hostName,
                  const std::string& versionText, const tCancelFlag& shuttingDown,
                  const std::string& settingsPath = std::string(),
                  const tServerLimits& limits = tServerLimits());
    ~CServerThread();
    CServerThread(const CServerThread&) = delete;
    CServerThread& operator=(const CServerThread&) = delete;

    // The version text hosts describe themselves with: the running program's file version and
    // link time, "major.minor hh:mm:ss DD.MM.YY ".
    static std::string ProgramVersionText();

    void SetHostName(const std::string& name);
    // Looks in the running, then in the waiting jobs.
    bool GetJobInfo(int serial, tServerJobInfo& out);
    // Ends the accept thread, drops waiting jobs, cancels the running ones and waits for
    // them. Answers messages sent to the calling thread's windows meanwhile, since jobs report
    // to the window synchronously.
    void Stop();

    // Whether the port is bound and listened on; the server keeps trying to bind it.
    bool IsListening() const { return m_listening.load(); }
    // A snapshot of the job counts, for tests and the console host.
    struct tCounts {
        int pending = 0;
        int waiting = 0;
        int quick = 0;
        int downloads = 0;
        int pings = 0;
    };
    tCounts GetCounts();

private:
    struct tPending;
    struct tJob;

    void AcceptThread(CThread& self);
    bool Listen(raii::CSocket& listener, HANDLE network);
    void AcceptAll(SOCKET listener, HANDLE network);
    void ReadPending();
    bool ReadRequest(tPending& pending, bool& complete);
    void Classify(std::unique_ptr<tPending> pending);
    void ExpirePending();
    void Watch();
    void Reap();
    void StartJobs();
    bool StartJob(std::unique_ptr<tJob>& job);
    void RunJob(tJob& job);
    void Retrieve(tJob& job);
    void Expand(tJob& job);
    void HostInfo(tJob& job);
    void Ping(tJob& job);
    void SendReply(tJob& job, const std::string& text);
    // Pings that still run or wait, of one client or of all.
    int CountPings(uint32_t client, bool ofClient) const;
    void Count(const tJob& job, int step);

    const tServerLimits m_limits;
    CProgressListener* const m_uploadListener;
    IUploadNotification* const m_uploadNotification;
    IAdmissionCheck* const m_admissionCheck;
    const std::string m_versionText;
    const tCancelFlag& m_shuttingDown;
    const utilcpp::CParseini m_settings;

    raii::CCriticalSection m_lock;
    std::string m_hostName;                  // guarded
    std::list<std::unique_ptr<tJob>> m_waiting; // guarded
    std::list<std::unique_ptr<tJob>> m_running; // guarded
    int m_runningQuick = 0;                   // guarded
    int m_runningDownloads = 0;               // guarded
    int m_runningPings = 0;                   // guarded
    int m_pendingCount = 0;                   // guarded (copy for GetCounts)

    // The accept thread's own state.
    std::list<std::unique_ptr<tPending>> m_pending;
    int m_nextSerial = 0;

    std::atomic<bool> m_listening{false};
    raii::CHandle m_wake;     // set by ending jobs
    raii::CHandle m_stopping; // set by Stop, for jobs that sleep long
    CJobThreads m_jobThreads;
    CThread m_acceptThread;
};
