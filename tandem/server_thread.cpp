#include "tandem/server_thread.h"

#include <algorithm>
#include <vector>

#include "common/trace.h"
#include "common/xutil.h"
#include "tandem/job_policy.h"
#include "tandem/job_watch.h"
#include "tandem/share_files.h"

namespace {

// Turns of the accept thread: short while requests are read or jobs need watching, long when
// only pings run.
const DWORD kBusyTurnMs = 100;
const DWORD kIdleTurnMs = 1000;
const DWORD kRebindMs = 2000;
const int64_t kPingMessageLimit = 1024;
// How soon a ping job notices a cancel that the watch sets after a silence.
const DWORD kPingWaitMs = 1000;
const size_t kReadPiece = 4096;

// Takes what has arrived of one message, looking first and then taking only what belongs to
// it: what follows (further pings) is left for the next. 1 when the message is complete, 0
// while more is to come, -1 when the peer has closed or sent what is no message.
int ReadMessage(SOCKET socket, CRequestReader& reader)
{
    char buffer[kReadPiece];
    while (reader.Wanted() > 0) {
        int seen = recv(socket, buffer, sizeof buffer, MSG_PEEK);
        if (seen == 0)
            return -1;
        if (seen < 0)
            return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
        size_t span = reader.Span(buffer, static_cast<size_t>(seen));
        int count = recv(socket, buffer, static_cast<int>(span), 0);
        if (count <= 0 || !reader.Take(buffer, static_cast<size_t>(count)))
            return -1;
    }
    return 1;
}

} // namespace

struct CServerThread::tPending {
    explicit tPending(int64_t limit) : reader(limit) {}
    raii::CSocket socket;
    uint32_t client = 0;
    int serial = 0;
    DWORD accepted = 0;
    CRequestReader reader;
};

struct CServerThread::tJob {
    raii::CSocket socket;
    int type = SERVER_JOB_UNKNOWN;
    bool quick = false;
    std::string argument;
    uint32_t client = 0;
    int serial = 0;
    tJobWatch watch; // its external flag is the upload's cancel flag
    std::atomic<bool> ended{false};
    // Pings only: made for them alone, since a thread object makes its stop event at once.
    std::unique_ptr<CThread> thread;
};

CServerThread::CServerThread(CProgressListener* uploadListener, IUploadNotification* uploadNotification,
                             IAdmissionCheck* admissionCheck, const std::string& hostName,
                             const std::string& versionText, const tCancelFlag& shuttingDown,
                             const std::string& settingsPath, const tServerLimits& limits)
    : m_limits(limits),
      m_uploadListener(uploadListener),
      m_uploadNotification(uploadNotification),
      m_admissionCheck(admissionCheck),
      m_versionText(versionText),
      m_shuttingDown(shuttingDown),
      m_settings(settingsPath),
      m_hostName(hostName),
      m_wake(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      m_stopping(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
    TraceVerbose("entering\n");
    m_acceptThread.Start([this](CThread& self) { AcceptThread(self); });
}

CServerThread::~CServerThread()
{
    Stop();
}

std::string CServerThread::ProgramVersionText()
{
    tModuleVersion version;
    xUtilGetModuleVersion(nullptr, &version);
    const SYSTEMTIME& t = version.linkDate;
    return FormatVersionText(version.major, version.minor, t.wHour, t.wMinute, t.wSecond, t.wDay, t.wMonth,
                             t.wYear);
}

void CServerThread::SetHostName(const std::string& name)
{
    raii::CLock lock(m_lock);
    m_hostName = name;
}

bool CServerThread::GetJobInfo(int serial, tServerJobInfo& out)
{
    raii::CLock lock(m_lock);
    for (const auto* jobs : {&m_running, &m_waiting})
        for (const auto& job : *jobs)
            if (job->serial == serial) {
                out.type = job->type;
                out.client = job->client;
                out.path = job->argument;
                int64_t offset = 0;
                if (job->type == SERVER_JOB_RESUME)
                    ParseResumeArgument(job->argument, offset, out.path);
                return true;
            }
    return false;
}

CServerThread::tCounts CServerThread::GetCounts()
{
    raii::CLock lock(m_lock);
    tCounts counts;
    counts.pending = m_pendingCount;
    counts.waiting = static_cast<int>(m_waiting.size());
    counts.quick = m_runningQuick;
    counts.downloads = m_runningDownloads;
    counts.pings = m_runningPings;
    return counts;
}

void CServerThread::Stop()
{
    TraceVerbose("entering\n");
    m_acceptThread.StopAnsweringSentMessages();
    SetEvent(m_stopping.Get());
    std::list<std::unique_ptr<tJob>> waiting;
    {
        raii::CLock lock(m_lock);
        waiting.swap(m_waiting);
        for (auto& job : m_running)
            job->watch.cancel = true;
    }
    waiting.clear();
    // Running jobs notice their cancel flags within a wait slice of the socket calls.
    m_jobThreads.Stop();
    for (;;) {
        std::unique_ptr<tJob> job;
        {
            raii::CLock lock(m_lock);
            if (m_running.empty())
                break;
            job = std::move(m_running.front());
            m_running.pop_front();
            Count(*job, -1);
        }
        if (job->thread)
            job->thread->StopAnsweringSentMessages();
    }
}

bool CServerThread::Listen(raii::CSocket& listener, HANDLE network)
{
    raii::CSocket candidate(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!candidate)
        return false;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(m_limits.port);
    if (bind(candidate.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(candidate.Get(), SOMAXCONN) != 0 ||
        WSAEventSelect(candidate.Get(), network, FD_ACCEPT) != 0)
        return false;
    listener = std::move(candidate);
    m_listening = true;
    return true;
}

void CServerThread::AcceptThread(CThread& self)
{
    raii::CHandle network(WSACreateEvent());
    if (!network)
        return;
    raii::CSocket listener;
    DWORD lastBind = GetTickCount() - kRebindMs;
    bool told = false;
    bool busy = false;
    while (!m_shuttingDown.load() && !self.StopRequested()) {
        if (!listener && GetTickCount() - lastBind >= kRebindMs) {
            lastBind = GetTickCount();
            if (!Listen(listener, network.Get()) && !told) {
                TraceHere("port %u cannot be listened on, trying again every %lu ms\n", m_limits.port,
                          kRebindMs);
                told = true;
            }
        }
        HANDLE handles[] = {network.Get(), m_wake.Get(), self.StopEvent()};
        DWORD turn = busy || !m_pending.empty() ? kBusyTurnMs : kIdleTurnMs;
        if (!listener)
            turn = std::min(turn, kRebindMs);
        WaitForMultipleObjects(3, handles, FALSE, turn);
        // Cleared before the sockets are drained: whatever arrives afterwards sets it again.
        WSAResetEvent(network.Get());
        if (listener)
            AcceptAll(listener.Get(), network.Get());
        ReadPending();
        ExpirePending();
        Reap();
        Watch();
        StartJobs();
        raii::CLock lock(m_lock);
        m_pendingCount = static_cast<int>(m_pending.size());
        busy = !m_waiting.empty() || m_runningQuick > 0 || m_runningDownloads > 0;
    }
    // Jobs still running are told at once when the program is shutting down.
    Watch();
    m_pending.clear();
    raii::CLock lock(m_lock);
    m_pendingCount = 0;
    m_listening = false;
}

void CServerThread::AcceptAll(SOCKET listener, HANDLE network)
{
    int evicted = 0;
    for (;;) {
        sockaddr_in from = {};
        int size = sizeof from;
        raii::CSocket connection(accept(listener, reinterpret_cast<sockaddr*>(&from), &size));
        if (!connection)
            break;
        // The request is read here as it arrives, through the accept thread's one event.
        if (WSAEventSelect(connection.Get(), network, FD_READ | FD_CLOSE) != 0)
            continue;
        // Replies are a header and a payload sent one after the other (see RequestClient).
        BOOL noDelay = TRUE;
        setsockopt(connection.Get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
        auto pending = std::make_unique<tPending>(m_limits.requestLength);
        pending->socket = std::move(connection);
        pending->client = from.sin_addr.s_addr;
        pending->serial = m_nextSerial++;
        pending->accepted = GetTickCount();
        // Room for the newcomer: the oldest waiting connection of its address goes first, then
        // the oldest of all. A real client sends its request at once and is long served.
        int sameAddress = 0;
        for (const auto& other : m_pending)
            if (other->client == pending->client)
                ++sameAddress;
        if (sameAddress >= m_limits.pendingPerAddress) {
            for (auto it = m_pending.begin(); it != m_pending.end(); ++it)
                if ((*it)->client == pending->client) {
                    m_pending.erase(it);
                    ++evicted;
                    break;
                }
        } else if (static_cast<int>(m_pending.size()) >= m_limits.pendingRequests) {
            m_pending.pop_front();
            ++evicted;
        }
        m_pending.push_back(std::move(pending));
    }
    if (evicted > 0)
        TraceHere("%d connection(s) waiting for their request closed to make room\n", evicted);
}

void CServerThread::ReadPending()
{
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        bool complete = false;
        bool alive = ReadRequest(**it, complete);
        if (complete) {
            std::unique_ptr<tPending> pending = std::move(*it);
            it = m_pending.erase(it);
            Classify(std::move(pending));
        } else if (!alive) {
            it = m_pending.erase(it);
        } else {
            ++it;
        }
    }
}

bool CServerThread::ReadRequest(tPending& pending, bool& complete)
{
    int state = ReadMessage(pending.socket.Get(), pending.reader);
    complete = state > 0;
    return state >= 0;
}

void CServerThread::Classify(std::unique_ptr<tPending> pending)
{
    tRequest request = ParseRequest(pending->reader.Payload());
    if (request.type == SERVER_JOB_UNKNOWN) {
        TraceHere("unknown jobtype : %.1024s\n", pending->reader.Payload().c_str());
        return;
    }
    // The job's socket calls associate events of their own.
    WSAEventSelect(pending->socket.Get(), nullptr, 0);
    auto job = std::make_unique<tJob>();
    job->socket = std::move(pending->socket);
    job->type = request.type;
    job->quick = request.quick;
    job->argument = request.argument;
    job->client = pending->client;
    job->serial = pending->serial;
    switch (request.type) {
    case SERVER_JOB_PING:
        job->watch.idleLimit = m_limits.pingSilenceMs;
        break;
    case SERVER_JOB_RETRIEVE:
    case SERVER_JOB_RESUME:
        job->watch.idleLimit = m_limits.transferStallMs;
        break;
    default:
        job->watch.idleLimit = m_limits.quickReplyMs;
        break;
    }
    raii::CLock lock(m_lock);
    if (request.type == SERVER_JOB_PING) {
        int all = CountPings(0, false);
        if (all >= m_limits.pingJobs || CountPings(job->client, true) >= m_limits.pingJobsPerAddress) {
            TraceHere("ping connection of %s refused: %d pings run\n", FormatAddress(job->client).c_str(), all);
            return;
        }
    }
    m_waiting.push_back(std::move(job));
}

int CServerThread::CountPings(uint32_t client, bool ofClient) const
{
    int count = 0;
    for (const auto* jobs : {&m_running, &m_waiting})
        for (const auto& job : *jobs)
            if (job->type == SERVER_JOB_PING && !job->ended && (!ofClient || job->client == client))
                ++count;
    return count;
}

void CServerThread::ExpirePending()
{
    DWORD now = GetTickCount();
    int expired = 0;
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        if (now - (*it)->accepted > m_limits.requestMs) {
            it = m_pending.erase(it);
            ++expired;
        } else {
            ++it;
        }
    }
    if (expired > 0)
        TraceHere("%d connection(s) sent no complete request within %lu ms, closed\n", expired,
                  m_limits.requestMs);
}

void CServerThread::Watch()
{
    DWORD now = GetTickCount();
    bool stopping = m_shuttingDown.load();
    raii::CLock lock(m_lock);
    for (auto& job : m_running)
        if (!job->ended && job->watch.Check(stopping, now))
            TraceHere("job %d of %s stalled for %lu ms, cancelled\n", job->serial,
                      FormatAddress(job->client).c_str(), job->watch.idleLimit);
}

void CServerThread::Reap()
{
    std::vector<std::unique_ptr<tJob>> ended;
    {
        raii::CLock lock(m_lock);
        for (auto it = m_running.begin(); it != m_running.end();) {
            if (!(*it)->ended) {
                ++it;
                continue;
            }
            Count(**it, -1);
            ended.push_back(std::move(*it));
            it = m_running.erase(it);
        }
    }
    // Their threads have finished their work; destroying a job joins its thread.
}

void CServerThread::StartJobs()
{
    raii::CLock lock(m_lock);
    // Pings are bounded on arrival and not held back by other jobs.
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        if ((*it)->type != SERVER_JOB_PING) {
            ++it;
            continue;
        }
        std::unique_ptr<tJob> job = std::move(*it);
        it = m_waiting.erase(it);
        StartJob(job);
    }
    for (;;) {
        tJobCounts running;
        running.quick = m_runningQuick;
        running.downloads = m_runningDownloads;
        auto it = PickServerJob(m_waiting, [](const std::unique_ptr<tJob>& job) { return job->quick; },
                                running, tJobLimits{m_limits.quickJobs, m_limits.downloads});
        if (it == m_waiting.end())
            break;
        std::unique_ptr<tJob> job = std::move(*it);
        m_waiting.erase(it);
        StartJob(job);
    }
}

bool CServerThread::StartJob(std::unique_ptr<tJob>& job)
{
    tJob* started = job.get();
    started->watch.Touch();
    m_running.push_back(std::move(job));
    // A ping holds its thread for as long as the peer runs; other jobs take a pooled one.
    bool running;
    if (started->type == SERVER_JOB_PING) {
        started->thread = std::make_unique<CThread>();
        running = started->thread->Start([this, started](CThread&) { RunJob(*started); });
    } else {
        running = m_jobThreads.Run([this, started] { RunJob(*started); });
    }
    if (!running) {
        m_running.pop_back();
        return false;
    }
    Count(*started, 1);
    return true;
}

void CServerThread::Count(const tJob& job, int step)
{
    if (job.type == SERVER_JOB_PING)
        m_runningPings += step;
    else if (job.quick)
        m_runningQuick += step;
    else
        m_runningDownloads += step;
}

void CServerThread::RunJob(tJob& job)
{
    switch (job.type) {
    case SERVER_JOB_RETRIEVE:
    case SERVER_JOB_RESUME:
        Retrieve(job);
        break;
    case SERVER_JOB_PING:
        Ping(job);
        break;
    case SERVER_JOB_EXPAND:
        Expand(job);
        break;
    case SERVER_JOB_HOSTINFO:
    case SERVER_JOB_HOSTINFO_OS:
        HostInfo(job);
        break;
    default:
        break;
    }
    job.socket.Close();
    job.ended = true;
    SetEvent(m_wake.Get());
}

void CServerThread::Retrieve(tJob& job)
{
    if (m_admissionCheck) {
        job.watch.watched = false;
        bool admitted = m_admissionCheck->IsAdmitted(job.client);
        job.watch.Touch();
        job.watch.watched = true;
        if (!admitted)
            return;
    }
    std::string path = job.argument;
    int64_t offset = 0;
    if (job.type == SERVER_JOB_RESUME && !ParseResumeArgument(job.argument, offset, path)) {
        TraceHere("%s sent a resume request without offset\n", FormatAddress(job.client).c_str());
        return;
    }
    std::string local;
    bool mapped;
    {
        raii::CLock lock(m_lock);
        mapped = MapSharePath(m_settings, path, local);
    }
    // A folder, a missing file or a refused path: the peer gets no reply at all.
    if (!mapped || !IsExistingFile(local)) {
        TraceHere("%s asked for \"%.512s\", which is no file of a share\n", FormatAddress(job.client).c_str(),
                  job.argument.c_str());
        return;
    }
    tCancelHandle uploadCancel;
    if (m_uploadNotification)
        uploadCancel = m_uploadNotification->UploadStarting(job.serial);
    {
        raii::CLock lock(m_lock);
        job.watch.external = uploadCancel;
    }
    CWatchedProgress progress(m_uploadListener, job.watch);
    if (job.type == SERVER_JOB_RESUME)
        SendFramedFrom(job.socket.Get(), local.c_str(), offset, job.serial, job.watch.cancel, &progress);
    else
        SendFramed(job.socket.Get(), nullptr, local.c_str(), 0, job.serial, job.watch.cancel, &progress);
}

void CServerThread::Expand(tJob& job)
{
    std::string listing;
    if (job.argument == "\\") {
        raii::CLock lock(m_lock);
        listing = ListShares(m_settings);
    } else {
        std::string local;
        bool mapped;
        {
            raii::CLock lock(m_lock);
            mapped = MapSharePath(m_settings, job.argument, local);
        }
        if (mapped) {
            if (local.back() != '\\')
                local += '\\';
            if (IsExistingFolder(local))
                listing = ListFolder(local, job.watch.cancel);
        } else {
            TraceHere("%s asked for the listing of \"%.512s\", which is no folder of a share\n",
                      FormatAddress(job.client).c_str(), job.argument.c_str());
        }
    }
    SendReply(job, listing);
}

void CServerThread::HostInfo(tJob& job)
{
    std::string name;
    {
        raii::CLock lock(m_lock);
        name = m_hostName;
    }
    const char* os = xUtilGetOSVersionString();
    SendReply(job, BuildHostInfoReply(name, m_versionText, job.type == SERVER_JOB_HOSTINFO_OS, os ? os : ""));
}

void CServerThread::Ping(tJob& job)
{
    // Pings come once a second for as long as the peer runs: the job sleeps until one arrives
    // (or the server stops) instead of looking every wait slice.
    raii::CHandle event(WSACreateEvent());
    if (!event || WSAEventSelect(job.socket.Get(), event.Get(), FD_READ | FD_CLOSE) != 0)
        return;
    HANDLE handles[] = {event.Get(), m_stopping.Get()};
    CRequestReader reader(kPingMessageLimit);
    while (!job.watch.cancel.load()) {
        WSAResetEvent(event.Get());
        int state;
        while ((state = ReadMessage(job.socket.Get(), reader)) > 0) {
            job.watch.Touch();
            reader = CRequestReader(kPingMessageLimit);
        }
        if (state < 0)
            return;
        if (WaitForMultipleObjects(2, handles, FALSE, kPingWaitMs) == WAIT_OBJECT_0 + 1)
            return;
    }
}

void CServerThread::SendReply(tJob& job, const std::string& text)
{
    SendFramed(job.socket.Get(), text.data(), nullptr, static_cast<int64_t>(text.size()), job.serial,
               job.watch.cancel, nullptr);
}
