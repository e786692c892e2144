#include "tandem/request_client.h"

#include "common/trace.h"
#include "tandem/job_policy.h"
#include "tandem/job_watch.h"
#include "tandem/share_files.h"

namespace {

const DWORD kBusyTurnMs = 100;
const DWORD kIdleTurnMs = 1000;
const int64_t kHostInfoLength = 64 * 1024;

} // namespace

struct RequestClient::tJob {
    bool quick = false;
    int id = 0;
    int type = CLIENT_JOB_EXPAND;
    uint32_t host = 0;
    std::string remotePath;
    std::string localPath;
    int64_t offset = 0;
    tJobWatch watch; // its external flag is the owner's cancel flag
    std::atomic<bool> ended{false};
};

RequestClient::RequestClient(IRequestResultListener* results, CProgressListener* downloads, bool askForOs,
                             const tCancelFlag& shuttingDown, const tClientLimits& limits)
    : m_limits(limits),
      m_results(results),
      m_downloads(downloads),
      m_askForOs(askForOs),
      m_shuttingDown(shuttingDown),
      m_wake(CreateEventA(nullptr, FALSE, FALSE, nullptr))
{
    TraceVerbose("entering\n");
    m_scheduler.Start([this](CThread& self) { SchedulerThread(self); });
}

RequestClient::~RequestClient()
{
    Stop();
}

int RequestClient::Expand(uint32_t host, const std::string& sharePath, tCancelHandle cancel)
{
    return Queue(CLIENT_JOB_EXPAND, host, sharePath, std::string(), std::move(cancel));
}

int RequestClient::GetHostInfo(uint32_t host, tCancelHandle cancel)
{
    return Queue(CLIENT_JOB_HOSTINFO, host, std::string(), std::string(), std::move(cancel));
}

int RequestClient::Retrieve(uint32_t host, const std::string& remotePath, const std::string& localPath,
                            tCancelHandle cancel)
{
    return Queue(CLIENT_JOB_RETRIEVE, host, remotePath, localPath, std::move(cancel));
}

int RequestClient::Queue(int type, uint32_t host, const std::string& remotePath, const std::string& localPath,
                         tCancelHandle cancel)
{
    auto job = std::make_unique<tJob>();
    job->quick = type != CLIENT_JOB_RETRIEVE;
    job->type = type;
    job->host = host;
    job->remotePath = remotePath;
    job->localPath = localPath;
    job->watch.external = std::move(cancel);
    return Queue(std::move(job));
}

int RequestClient::RetrieveFrom(uint32_t host, const std::string& remotePath, const std::string& localPath,
                                int64_t offset, tCancelHandle cancel)
{
    auto job = std::make_unique<tJob>();
    job->quick = false;
    job->type = CLIENT_JOB_RESUME;
    job->host = host;
    job->remotePath = remotePath;
    job->localPath = localPath;
    job->offset = offset;
    job->watch.external = std::move(cancel);
    return Queue(std::move(job));
}

int RequestClient::Queue(std::unique_ptr<tJob> job)
{
    job->watch.idleLimit = job->quick ? m_limits.quickReplyMs : m_limits.transferStallMs;
    int id;
    {
        raii::CLock lock(m_lock);
        id = m_nextId++;
        job->id = id;
        if (job->quick) {
            if (m_quickQueue.size() >= m_limits.quickQueue) {
                m_rejected.push_back(std::move(m_quickQueue.front()));
                m_quickQueue.pop_front();
            }
            m_quickQueue.push_back(std::move(job));
        } else if (m_downloadQueue.size() >= m_limits.downloadQueue) {
            m_rejected.push_back(std::move(job));
        } else {
            m_downloadQueue.push_back(std::move(job));
        }
    }
    SetEvent(m_wake.Get());
    return id;
}

bool RequestClient::GetJobInfo(int id, tClientJobInfo& out)
{
    raii::CLock lock(m_lock);
    auto fill = [&](const tJob& job) {
        out.type = job.type;
        out.host = job.host;
        out.remotePath = job.remotePath;
        out.localPath = job.localPath;
        return true;
    };
    for (const auto& job : m_running)
        if (job->id == id)
            return fill(*job);
    for (const auto* queue : {&m_quickQueue, &m_downloadQueue})
        for (const auto& job : *queue)
            if (job->id == id)
                return fill(*job);
    return false;
}

RequestClient::tCounts RequestClient::GetCounts()
{
    raii::CLock lock(m_lock);
    tCounts counts;
    counts.quickQueued = static_cast<int>(m_quickQueue.size());
    counts.downloadsQueued = static_cast<int>(m_downloadQueue.size());
    counts.quick = m_runningQuick;
    counts.downloads = m_runningDownloads;
    return counts;
}

void RequestClient::Stop()
{
    TraceVerbose("entering\n");
    m_scheduler.StopAnsweringSentMessages();
    {
        raii::CLock lock(m_lock);
        m_quickQueue.clear();
        m_downloadQueue.clear();
        m_rejected.clear();
        for (auto& job : m_running)
            job->watch.cancel = true;
    }
    // Running jobs notice their cancel flags within a wait slice of the socket calls.
    m_jobThreads.Stop();
    raii::CLock lock(m_lock);
    for (const auto& job : m_running)
        Count(*job, -1);
    m_running.clear();
}

void RequestClient::SchedulerThread(CThread& self)
{
    bool busy = true;
    while (!m_shuttingDown.load() && !self.StopRequested()) {
        HANDLE handles[] = {m_wake.Get(), self.StopEvent()};
        WaitForMultipleObjects(2, handles, FALSE, busy ? kBusyTurnMs : kIdleTurnMs);
        if (m_shuttingDown.load() || self.StopRequested())
            break;
        Reap();
        Watch();
        StartJobs();
        raii::CLock lock(m_lock);
        busy = !m_running.empty() || !m_quickQueue.empty() || !m_downloadQueue.empty();
    }
    // Running jobs are told at once when the program is shutting down; queued ones never run.
    Watch();
    raii::CLock lock(m_lock);
    m_quickQueue.clear();
    m_downloadQueue.clear();
    m_rejected.clear();
}

void RequestClient::Reap()
{
    std::vector<std::unique_ptr<tJob>> ended;
    std::vector<std::unique_ptr<tJob>> dropped;
    {
        raii::CLock lock(m_lock);
        for (auto it = m_running.begin(); it != m_running.end();) {
            if ((*it)->ended) {
                Count(**it, -1);
                ended.push_back(std::move(*it));
                it = m_running.erase(it);
            } else {
                ++it;
            }
        }
        for (auto it = m_downloadQueue.begin(); it != m_downloadQueue.end();) {
            if ((*it)->watch.ExternallyCancelled()) {
                dropped.push_back(std::move(*it));
                it = m_downloadQueue.erase(it);
            } else {
                ++it;
            }
        }
        for (auto& job : m_rejected)
            dropped.push_back(std::move(job));
        m_rejected.clear();
    }
    ended.clear();
    // A dropped job runs here with its flag set: it reports its failure without connecting.
    for (auto& job : dropped) {
        job->watch.cancel = true;
        RunJob(*job);
    }
}

void RequestClient::Watch()
{
    DWORD now = GetTickCount();
    bool stopping = m_shuttingDown.load();
    raii::CLock lock(m_lock);
    for (auto& job : m_running)
        if (!job->ended && job->watch.Check(stopping, now))
            TraceHere("job %d to %s stalled for %lu ms, cancelled\n", job->id, FormatAddress(job->host).c_str(),
                      job->watch.idleLimit);
}

void RequestClient::StartJobs()
{
    raii::CLock lock(m_lock);
    for (;;) {
        tJobCounts running;
        running.quick = m_runningQuick;
        running.downloads = m_runningDownloads;
        tClientPick pick = PickClientJob(m_quickQueue.size(), m_downloadQueue.size(), running,
                                         tJobLimits{m_limits.quickJobs, m_limits.downloads});
        std::unique_ptr<tJob> job;
        if (pick == CLIENT_PICK_NEWEST_QUICK) {
            job = std::move(m_quickQueue.back());
            m_quickQueue.pop_back();
        } else if (pick == CLIENT_PICK_OLDEST_DOWNLOAD) {
            job = std::move(m_downloadQueue.front());
            m_downloadQueue.pop_front();
        } else {
            break;
        }
        StartJob(std::move(job));
    }
}

void RequestClient::StartJob(std::unique_ptr<tJob> job)
{
    tJob* started = job.get();
    started->watch.Touch();
    m_running.push_back(std::move(job));
    Count(*started, 1);
    if (!m_jobThreads.Run([this, started] { RunJob(*started); })) {
        // No thread: the job fails as a cancelled one does, on the scheduler's next turn.
        std::unique_ptr<tJob> failed = std::move(m_running.back());
        m_running.pop_back();
        Count(*failed, -1);
        failed->watch.cancel = true;
        m_rejected.push_back(std::move(failed));
    }
}

void RequestClient::Count(const tJob& job, int step)
{
    if (job.quick)
        m_runningQuick += step;
    else
        m_runningDownloads += step;
}

bool RequestClient::Connect(tJob& job, raii::CSocket& connection)
{
    connection.Close();
    if (job.watch.cancel.load())
        return false;
    connection.Attach(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    // A request is a header and a payload sent one after the other: without this the payload
    // waits for the peer's delayed acknowledgement, tens of milliseconds per request.
    BOOL noDelay = TRUE;
    if (connection)
        setsockopt(connection.Get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    // ConnectWithRetry makes the socket non-blocking.
    return connection &&
           ConnectWithRetry(connection.Get(), job.host, m_limits.port, m_limits.connectAttempts, job.watch.cancel);
}

void RequestClient::RunJob(tJob& job)
{
    raii::CSocket connection;
    bool connected = Connect(job, connection);
    switch (job.type) {
    case CLIENT_JOB_EXPAND:
        RunExpand(job, connection.Get(), connected);
        break;
    case CLIENT_JOB_HOSTINFO:
        RunHostInfo(job, connection.Get(), connected);
        break;
    case CLIENT_JOB_RESUME:
        if (!connected || !SendRequest(job, connection.Get(), BuildResumeRequest(job.remotePath, job.offset))) {
            CWatchedProgress progress(m_downloads, job.watch);
            progress.Finished(job.id, false);
            break;
        }
        RunResume(job, connection.Get(), connected);
        // A peer that does not know the command closes the connection without a byte: the
        // whole file then comes by the ordinary retrieve.
        if (job.offset < 0) {
            TraceHere("%s does not resume downloads: %s comes whole\n", FormatAddress(job.host).c_str(),
                      job.remotePath.c_str());
            connected = Connect(job, connection);
            RunRetrieve(job, connection.Get(), connected);
        }
        break;
    default:
        RunRetrieve(job, connection.Get(), connected);
        break;
    }
    connection.Close();
    job.ended = true;
    SetEvent(m_wake.Get());
}

bool RequestClient::SendRequest(tJob& job, SOCKET socket, const std::string& request)
{
    return SendFramed(socket, request.data(), nullptr, static_cast<int64_t>(request.size()), job.id,
                      job.watch.cancel, nullptr);
}

void RequestClient::RunExpand(tJob& job, SOCKET socket, bool connected)
{
    std::vector<ShareItem> items;
    bool success = false;
    std::string reply;
    if (connected && SendRequest(job, socket, BuildExpandRequest(job.remotePath)) &&
        ReceiveFramedString(socket, reply, job.watch.cancel, m_limits.replyLength)) {
        success = true;
        tListingParse listing;
        ParseListing(reply, listing);
        for (const std::string& name : listing.refused)
            TraceHere("%s listed \"%s\" in %s, which is no plain name: skipped\n", FormatAddress(job.host).c_str(),
                      name.c_str(), job.remotePath.c_str());
        if (listing.excess > 0)
            TraceHere("%s listed %u entries too many in %s: skipped\n", FormatAddress(job.host).c_str(),
                      static_cast<unsigned>(listing.excess), job.remotePath.c_str());
        items = std::move(listing.items);
    }
    if (m_results)
        m_results->ExpandResult(job.id, items, success);
}

void RequestClient::RunHostInfo(tJob& job, SOCKET socket, bool connected)
{
    std::string reply;
    if (!connected || !SendRequest(job, socket, BuildHostInfoRequest(m_askForOs)) ||
        !ReceiveFramedString(socket, reply, job.watch.cancel, kHostInfoLength))
        return;
    HostInfo info;
    ParseHostInfoReply(reply, m_askForOs, info);
    if (m_results)
        m_results->HostInfoResult(job.id, info);
}

void RequestClient::RunRetrieve(tJob& job, SOCKET socket, bool connected)
{
    CWatchedProgress progress(m_downloads, job.watch);
    if (!connected || !SendRequest(job, socket, BuildRetrieveRequest(job.remotePath))) {
        progress.Finished(job.id, false);
        return;
    }
    job.watch.Touch();
    CreateParentFolders(job.localPath);
    ReceiveFramedFile(socket, job.localPath.c_str(), job.id, job.watch.cancel, &progress);
}

void RequestClient::RunResume(tJob& job, SOCKET socket, bool)
{
    // Finished is held back until it is clear that no fall-back follows.
    class CHoldFinish : public CProgressListener {
    public:
        explicit CHoldFinish(CProgressListener& next) : m_next(next) {}
        void Started(int id) override { m_next.Started(id); }
        void Progress(int id, int64_t percent, double rate) override { m_next.Progress(id, percent, rate); }
        void Finished(int, bool success) override { m_success = success; }
        bool m_success = false;

    private:
        CProgressListener& m_next;
    };
    CWatchedProgress progress(m_downloads, job.watch);
    CHoldFinish held(progress);
    job.watch.Touch();
    bool headerSeen = false;
    ReceiveFramedFileAt(socket, job.localPath.c_str(), job.offset, job.id, job.watch.cancel, &held, &headerSeen);
    if (!headerSeen && !held.m_success && !job.watch.cancel.load()) {
        job.offset = -1;
        return;
    }
    progress.Finished(job.id, held.m_success);
}
