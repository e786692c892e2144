#include "tandem/node/node.h"

#include <winsock2.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <deque>
#include <sstream>

#include "common/trace.h"
#include "tandem/share_files.h"

namespace {

const uint32_t kLocalHost = 0x0100007F; // 127.0.0.1 in network byte order
const DWORD kListenWaitMs = 10000;

std::vector<std::string> SplitCommand(const std::string& line)
{
    // Tabs separate arguments that may hold blanks (paths); without a tab, blanks do.
    char separator = line.find('\t') != std::string::npos ? '\t' : ' ';
    std::vector<std::string> words;
    std::string word;
    std::istringstream stream(line);
    while (std::getline(stream, word, separator))
        if (!word.empty())
            words.push_back(word);
    return words;
}

bool ParseAddress(const std::string& text, uint32_t& address)
{
    address = inet_addr(text.c_str());
    return address != INADDR_NONE || text == "255.255.255.255";
}

std::string WithSeparator(std::string path)
{
    if (path.empty() || path.back() != '\\')
        path += '\\';
    return path;
}

} // namespace

struct CTandemNode::tFolderDownload {
    int tag = 0;
    tCancelHandle cancel = NewCancelFlag();
    int pendingListings = 1;
    int filesFound = 0;
    int filesStarted = 0;
    std::set<int> running; // job ids of its file downloads
    uint32_t host = 0;
    std::string remoteBase; // without trailing "\"
    std::string localBase;  // with trailing "\"
    std::set<std::string> listed;
    std::deque<std::string> pendingFiles;
    size_t parallel = 1;
    uint64_t bytes = 0;
    DWORD started = 0;
    bool done = false;
};

// Prints the course of a transfer; its end goes to the node, which knows what the transfer
// was part of.
class CTandemNode::CTransfers : public CProgressListener {
public:
    CTransfers(CTandemNode& node, const char* what, void (CTandemNode::*finished)(int, bool))
        : m_node(node), m_what(what), m_finished(finished)
    {
    }
    void Started(int jobId) override { m_node.Say("%s %d started\n", m_what, jobId); }
    void Progress(int jobId, int64_t percent, double rate) override
    {
        m_node.Say("%s %d progress %d %.1f\n", m_what, jobId, static_cast<int>(percent), rate);
    }
    void Finished(int jobId, bool success) override { (m_node.*m_finished)(jobId, success); }

private:
    CTandemNode& m_node;
    const char* m_what;
    void (CTandemNode::*m_finished)(int, bool);
};

CTandemNode::CTandemNode(const tNodeOptions& options)
    : m_options(options),
      m_settings(options.settingsPath),
      m_downloadListener(new CTransfers(*this, "DOWNLOAD", &CTandemNode::OnDownloadFinished)),
      m_uploadListener(new CTransfers(*this, "UPLOAD", &CTandemNode::OnUploadFinished))
{
}

CTandemNode::~CTandemNode()
{
    Stop();
}

void CTandemNode::Say(const char* format, ...)
{
    raii::CLock lock(m_output);
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    fflush(stdout);
}

void CTandemNode::Start()
{
    m_net.reset(new CNetStructure(m_shuttingDown, nullptr));
    std::string name;
    m_settings.GetString("global", "hostname", name, GetLocalHostName());
    m_server.reset(new CServerThread(m_uploadListener.get(), this, this, name,
                                     CServerThread::ProgramVersionText(), m_shuttingDown,
                                     m_settings.GetFileName(), m_options.server));
    m_client.reset(new RequestClient(this, m_downloadListener.get(), m_options.askForOs, m_shuttingDown,
                                     m_options.client));
    std::vector<tInterfaceEntry> interfaces;
    if (m_options.announce)
        EnumerateInterfaces(interfaces, false, false);
    m_discovery.reset(new CHostThread(this, interfaces, m_shuttingDown, m_options.discovery));

    DWORD start = GetTickCount();
    while (!m_server->IsListening() && GetTickCount() - start < kListenWaitMs)
        Sleep(10);
    Say("READY %s %s\n", m_server->IsListening() ? "listening" : "not-listening", name.c_str());
    m_discovery->HostSeen(kLocalHost, name, HOST_LOCAL);
}

void CTandemNode::Stop()
{
    if (!m_server)
        return;
    m_shuttingDown = true;
    {
        raii::CLock lock(m_lock);
        for (auto& download : m_downloads)
            *download.second = true;
        for (auto& upload : m_uploads)
            *upload.second = true;
        for (auto& folder : m_folders)
            *folder->cancel = true;
    }
    m_discovery->Stop();
    m_server->Stop();
    m_client->Stop();
    raii::CLock lock(m_lock);
    m_folders.clear();
    m_net.reset();
    m_discovery.reset();
    m_client.reset();
    m_server.reset();
}

void CTandemNode::HostAppeared(uint32_t address, const std::string& name, HostKind kind)
{
    std::string text = FormatAddress(address);
    {
        raii::CLock lock(m_lock);
        size_t index;
        if (!m_net || m_net->FindHost(address, index))
            return;
        m_net->AddHost(address, name, kind);
        // As the window does: ask who it is and what it shares.
        m_client->GetHostInfo(address);
        m_client->Expand(address, "\\");
    }
    Say("APPEARED %s %d %s\n", text.c_str(), static_cast<int>(kind), name.c_str());
}

void CTandemNode::HostDisappeared(uint32_t address)
{
    {
        raii::CLock lock(m_lock);
        size_t index;
        if (!m_net || !m_net->FindHost(address, index) || m_net->GetHostKind(index) == HOST_LOCAL)
            return;
        m_net->RemoveHost(address);
    }
    Say("DISAPPEARED %s\n", FormatAddress(address).c_str());
}

void CTandemNode::ExpandResult(int jobId, const std::vector<ShareItem>& items, bool success)
{
    tClientJobInfo job;
    if (!m_client->GetJobInfo(jobId, job))
        return;
    std::string out;
    {
        raii::CLock lock(m_lock);
        if (!m_net)
            return;
        bool print = m_printedListings.erase(jobId) > 0;
        if (success)
            m_net->SetChildren(job.host, job.remotePath, items);
        char line[160];
        snprintf(line, sizeof line, "LISTING %d %s %u %s ", jobId, success ? "ok" : "failed",
                 static_cast<unsigned>(items.size()), FormatAddress(job.host).c_str());
        out = line + job.remotePath + "\n";
        if (print)
            for (const ShareItem& item : items)
                out += "ENTRY " + std::to_string(jobId) + (item.isFolder ? " 1 " : " 0 ") +
                       std::to_string(item.size) + " " + item.name + "\n";
        std::string path = WithSeparator(job.remotePath);
        for (auto& folder : m_folders) {
            if (folder->done || folder->host != job.host || folder->listed.count(path))
                continue;
            std::string base = folder->remoteBase + "\\";
            if (path.compare(0, base.size(), base) != 0)
                continue;
            if (!success)
                EndFolder(*folder, "failed");
            else
                TakeListing(*folder, path, items);
        }
        SweepFolders();
    }
    Say("%s", out.c_str());
}

void CTandemNode::HostInfoResult(int jobId, const HostInfo& info)
{
    tClientJobInfo job;
    if (!m_client->GetJobInfo(jobId, job))
        return;
    {
        raii::CLock lock(m_lock);
        size_t index;
        if (m_net && !info.name.empty() && m_net->FindHost(job.host, index))
            m_net->RenameHost(index, info.name);
    }
    Say("INFO %d %s %s|%s|%s|%s|%s\n", jobId, FormatAddress(job.host).c_str(), info.name.c_str(),
        info.version.c_str(), info.buildTime.c_str(), info.buildDate.c_str(), info.os.c_str());
}

tCancelHandle CTandemNode::UploadStarting(int serial)
{
    tServerJobInfo job;
    m_server->GetJobInfo(serial, job);
    tCancelHandle cancel = NewCancelFlag();
    {
        raii::CLock lock(m_lock);
        m_uploads[serial] = cancel;
    }
    Say("UPLOAD %d notice %s %s\n", serial, FormatAddress(job.client).c_str(), job.path.c_str());
    return cancel;
}

bool CTandemNode::IsAdmitted(uint32_t address)
{
    bool admitted;
    {
        raii::CLock lock(m_lock);
        admitted = m_refused.count(address) == 0;
    }
    if (!admitted)
        Say("REFUSED %s\n", FormatAddress(address).c_str());
    return admitted;
}

void CTandemNode::OnUploadFinished(int serial, bool success)
{
    bool cancelled = false;
    {
        raii::CLock lock(m_lock);
        auto it = m_uploads.find(serial);
        if (it != m_uploads.end()) {
            cancelled = it->second->load();
            m_uploads.erase(it);
        }
    }
    Say("UPLOAD %d finished %s\n", serial, success ? "ok" : cancelled ? "cancelled" : "failed");
}

void CTandemNode::OnDownloadFinished(int jobId, bool success)
{
    std::string line;
    {
        raii::CLock lock(m_lock);
        auto single = m_downloads.find(jobId);
        if (single != m_downloads.end()) {
            const char* how = success ? "ok" : single->second->load() ? "cancelled" : "failed";
            line = "DOWNLOAD " + std::to_string(jobId) + " finished " + how + "\n";
            m_downloads.erase(single);
        } else {
            for (auto& folder : m_folders)
                if (!folder->done && folder->running.erase(jobId))
                    ContinueFolder(*folder, !success);
        }
        SweepFolders();
    }
    if (!line.empty())
        Say("%s", line.c_str());
}

void CTandemNode::StartFolder(uint32_t host, const std::string& remote, const std::string& local, int parallel)
{
    auto folder = std::make_unique<tFolderDownload>();
    folder->tag = m_nextFolder++;
    folder->host = host;
    folder->remoteBase = remote;
    while (!folder->remoteBase.empty() && folder->remoteBase.back() == '\\')
        folder->remoteBase.pop_back();
    folder->localBase = WithSeparator(local);
    folder->parallel = parallel > 0 ? static_cast<size_t>(parallel) : 1;
    folder->started = GetTickCount();
    m_client->Expand(host, folder->remoteBase, folder->cancel);
    Say("FOLDER %d started\n", folder->tag);
    m_folders.push_back(std::move(folder));
}

void CTandemNode::TakeListing(tFolderDownload& folder, const std::string& path, const std::vector<ShareItem>& items)
{
    --folder.pendingListings;
    for (const ShareItem& item : items) {
        std::string full = path + item.name;
        if (item.isFolder) {
            m_client->Expand(folder.host, full, folder.cancel);
            ++folder.pendingListings;
        } else {
            folder.pendingFiles.push_back(full);
            folder.bytes += item.size;
            ++folder.filesFound;
        }
    }
    folder.listed.insert(path);
    ContinueFolder(folder, false);
}

void CTandemNode::ContinueFolder(tFolderDownload& folder, bool lastFailed)
{
    if (folder.cancel->load() || lastFailed) {
        EndFolder(folder, folder.cancel->load() ? "cancelled" : "failed");
        return;
    }
    // Files go under the folder itself: its parent part is cut from every remote path.
    size_t parent = folder.remoteBase.rfind('\\') + 1;
    while (folder.running.size() < folder.parallel && !folder.pendingFiles.empty()) {
        std::string remote = folder.pendingFiles.front();
        folder.pendingFiles.pop_front();
        std::string local;
        if (!BuildDownloadTarget(folder.localBase, remote.substr(parent), local)) {
            TraceHere("\"%s\" would be written outside \"%s\": skipped\n", remote.c_str(), folder.localBase.c_str());
            continue;
        }
        folder.running.insert(m_client->Retrieve(folder.host, remote, local, folder.cancel));
        ++folder.filesStarted;
        Say("FOLDER %d receive %d/%d\n", folder.tag, folder.filesStarted, folder.filesFound);
    }
    if (folder.running.empty() && folder.pendingFiles.empty() && folder.pendingListings == 0)
        EndFolder(folder, "finished");
}

void CTandemNode::SweepFolders()
{
    m_folders.erase(std::remove_if(m_folders.begin(), m_folders.end(),
                                   [](const std::unique_ptr<tFolderDownload>& folder) { return folder->done; }),
                    m_folders.end());
}

void CTandemNode::EndFolder(tFolderDownload& folder, const char* how)
{
    if (folder.done)
        return;
    folder.done = true;
    // A folder download that ends early takes its other running files with it.
    *folder.cancel = true;
    Say("FOLDER %d %s files=%d bytes=%llu ms=%lu\n", folder.tag, how, folder.filesFound,
        static_cast<unsigned long long>(folder.bytes), GetTickCount() - folder.started);
}

bool CTandemNode::Command(const std::string& line)
{
    std::vector<std::string> words = SplitCommand(line);
    if (words.empty())
        return true;
    const std::string& verb = words[0];
    uint32_t address = 0;
    bool hasAddress = words.size() > 1 && ParseAddress(words[1], address);
    if (verb == "quit")
        return false;
    if (verb == "hosts") {
        raii::CLock lock(m_lock);
        for (size_t i = 0; m_net && i < m_net->GetHostCount(); ++i)
            Say("HOST %s %d %s\n", FormatAddress(m_net->GetHostAddress(i)).c_str(),
                static_cast<int>(m_net->GetHostKind(i)), m_net->GetHostName(i).c_str());
        Say("HOSTS %u\n", static_cast<unsigned>(m_net ? m_net->GetHostCount() : 0));
    } else if (verb == "counts") {
        CServerThread::tCounts server = m_server->GetCounts();
        RequestClient::tCounts client = m_client->GetCounts();
        Say("COUNTS pending=%d waiting=%d quick=%d downloads=%d pings=%d client-quick=%d client-downloads=%d "
            "client-queued=%d tracked=%u\n",
            server.pending, server.waiting, server.quick, server.downloads, server.pings, client.quick,
            client.downloads, client.quickQueued + client.downloadsQueued,
            static_cast<unsigned>(m_discovery->GetTrackedCount()));
    } else if (verb == "expand" && hasAddress && words.size() == 3) {
        raii::CLock lock(m_lock);
        int id = m_client->Expand(address, words[2]);
        m_printedListings.insert(id);
        Say("JOB %d\n", id);
    } else if (verb == "info" && hasAddress) {
        Say("JOB %d\n", m_client->GetHostInfo(address));
    } else if (verb == "get" && hasAddress && words.size() == 4) {
        raii::CLock lock(m_lock);
        tCancelHandle cancel = NewCancelFlag();
        int id = m_client->Retrieve(address, words[2], words[3], cancel);
        m_downloads[id] = cancel;
        Say("JOB %d\n", id);
    } else if (verb == "getfolder" && hasAddress && words.size() >= 4) {
        raii::CLock lock(m_lock);
        StartFolder(address, words[2], words[3], words.size() > 4 ? atoi(words[4].c_str()) : 1);
    } else if ((verb == "cancel" || verb == "cancelupload" || verb == "cancelfolder") && words.size() == 2) {
        int id = atoi(words[1].c_str());
        raii::CLock lock(m_lock);
        auto& table = verb == "cancel" ? m_downloads : m_uploads;
        if (verb == "cancelfolder") {
            for (auto& folder : m_folders)
                if (folder->tag == id)
                    *folder->cancel = true;
        } else if (table.count(id)) {
            *table[id] = true;
        }
    } else if (verb == "seen" && hasAddress) {
        m_discovery->HostSeen(address, words.size() > 2 ? words[2] : std::string(), HOST_ADDED);
    } else if (verb == "forget" && hasAddress) {
        m_discovery->ForgetHost(address);
    } else if ((verb == "refuse" || verb == "admit") && hasAddress) {
        raii::CLock lock(m_lock);
        if (verb == "refuse")
            m_refused.insert(address);
        else
            m_refused.erase(address);
    } else if (verb == "rename" && words.size() == 2) {
        m_server->SetHostName(words[1]);
        raii::CLock lock(m_lock);
        size_t index;
        if (m_net && m_net->FindHost(kLocalHost, index))
            m_net->RenameHost(index, words[1]);
    } else {
        Say("ERROR %s\n", line.c_str());
        return true;
    }
    Say("DONE %s\n", verb.c_str());
    return true;
}
