// The client side of the request protocol: queues the listings, host descriptions and
// downloads the owner asks for and runs each on a thread of its own, one connection per job.
// Quick jobs (listings, host info) go first and the newest of them first, so that the folder
// the user just opened is listed before older prefetches; downloads go in the order they were
// asked for. A scheduler thread starts jobs within their limits, reports queued downloads
// whose cancel flag is set as failed without connecting, and ends running jobs whose owner
// cancelled them or whose peer has stopped answering.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <stdint.h>

#include <deque>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "common/raii.h"
#include "common/sockets.h"
#include "common/thread.h"
#include "tandem/job_threads.h"
#include "tandem/listeners.h"

enum tClientJobType {
    CLIENT_JOB_RETRIEVE = 0,
    CLIENT_JOB_EXPAND = 1,
    CLIENT_JOB_HOSTINFO = 2,
    // A retrieve that resumes at an offset; against a peer that does not know the command,
    // the whole file is retrieved instead.
    CLIENT_JOB_RESUME = 3,
};

// Job ids start here, apart from the server's serial numbers.
const int kFirstClientJobId = 0x40000000;

struct tClientLimits {
    unsigned short port = kRequestPort;
    int quickJobs = 10;
    int downloads = 5;
    int connectAttempts = 10;
    // Queues the owner fills: beyond them, the oldest listing is dropped (reported as failed,
    // so that it can be asked for again) and new downloads fail at once.
    size_t quickQueue = 4096;
    size_t downloadQueue = 65536;
    DWORD quickReplyMs = 30000;     // connect, ask and receive a listing or host info
    DWORD transferStallMs = 120000; // a download without progress (the peer may be asking its user)
    int64_t replyLength = 64 * 1024 * 1024;
};

struct tClientJobInfo {
    int type = CLIENT_JOB_RETRIEVE;
    uint32_t host = 0;
    std::string remotePath;
    std::string localPath;
};

class RequestClient {
public:
    // Either listener may be null.
    RequestClient(IRequestResultListener* results, CProgressListener* downloads, bool askForOs,
                  const tCancelFlag& shuttingDown, const tClientLimits& limits = tClientLimits());
    ~RequestClient();
    RequestClient(const RequestClient&) = delete;
    RequestClient& operator=(const RequestClient&) = delete;

    // Each returns the job id; the cancel flag may be null.
    int Expand(uint32_t host, const std::string& sharePath, tCancelHandle cancel = nullptr);
    int GetHostInfo(uint32_t host, tCancelHandle cancel = nullptr);
    // The folders of the local path are created when the file arrives. The local path is
    // taken as given: callers build it with BuildDownloadTarget (share_files.h).
    int Retrieve(uint32_t host, const std::string& remotePath, const std::string& localPath,
                 tCancelHandle cancel = nullptr);
    // Fetches the bytes from offset on into the existing local file (its first offset bytes
    // are kept).
    int RetrieveFrom(uint32_t host, const std::string& remotePath, const std::string& localPath,
                     int64_t offset, tCancelHandle cancel = nullptr);
    // Looks in the running jobs and both queues.
    bool GetJobInfo(int id, tClientJobInfo& out);
    // Ends the scheduler, discards queued jobs, cancels running ones and waits for them,
    // answering messages sent to the calling thread's windows meanwhile.
    void Stop();

    struct tCounts {
        int quickQueued = 0;
        int downloadsQueued = 0;
        int quick = 0;
        int downloads = 0;
    };
    tCounts GetCounts();

private:
    struct tJob;

    int Queue(int type, uint32_t host, const std::string& remotePath, const std::string& localPath,
              tCancelHandle cancel);
    int Queue(std::unique_ptr<tJob> job);
    void SchedulerThread(CThread& self);
    void Reap();
    void Watch();
    void StartJobs();
    void StartJob(std::unique_ptr<tJob> job);
    void RunJob(tJob& job);
    void RunExpand(tJob& job, SOCKET socket, bool connected);
    void RunHostInfo(tJob& job, SOCKET socket, bool connected);
    void RunRetrieve(tJob& job, SOCKET socket, bool connected);
    void RunResume(tJob& job, SOCKET socket, bool connected);
    bool Connect(tJob& job, raii::CSocket& connection);
    bool SendRequest(tJob& job, SOCKET socket, const std::string& request);
    void Count(const tJob& job, int step);

    const tClientLimits m_limits;
    IRequestResultListener* const m_results;
    CProgressListener* const m_downloads;
    const bool m_askForOs;
    const tCancelFlag& m_shuttingDown;

    raii::CCriticalSection m_lock;
    std::deque<std::unique_ptr<tJob>> m_quickQueue;    // guarded; newest at the back
    std::deque<std::unique_ptr<tJob>> m_downloadQueue; // guarded; oldest at the front
    std::list<std::unique_ptr<tJob>> m_running;        // guarded
    std::vector<std::unique_ptr<tJob>> m_rejected;     // guarded; dropped from a full queue
    int m_runningQuick = 0;                            // guarded
    int m_runningDownloads = 0;                        // guarded
    int m_nextId = kFirstClientJobId;                  // guarded

    raii::CHandle m_wake; // a job was queued or has ended
    CJobThreads m_jobThreads;
    CThread m_scheduler;
};
