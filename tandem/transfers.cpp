#include "tandem/transfers.h"

#include <windows.h>

#include <stdarg.h>
#include <stdio.h>

#include <algorithm>

#include "common/trace.h"
#include "tandem/share_files.h"

namespace {

std::string WithSeparator(std::string path)
{
    if (path.empty() || path.back() != '\\')
        path += '\\';
    return path;
}

std::string WithoutSeparator(std::string path)
{
    while (path.size() > 1 && path.back() == '\\')
        path.pop_back();
    return path;
}

// The last part of a share path: the name a row shows.
std::string LastPart(const std::string& path)
{
    std::string trimmed = WithoutSeparator(path);
    return trimmed.substr(trimmed.rfind('\\') + 1);
}

// printf with one text of the string table; the table's texts are the program's own.
std::string Format(const char* pattern, ...)
{
    char text[512];
    va_list args;
    va_start(args, pattern);
    vsnprintf(text, sizeof text, pattern, args);
    va_end(args);
    return text;
}

} // namespace

tTargetState CheckDownloadTarget(const std::string& localPath, bool remoteIsFolder, uint64_t remoteSize,
                                 uint64_t& existingSize)
{
    existingSize = 0;
    if (IsExistingFolder(localPath))
        return TARGET_FOLDER_EXISTS;
    HANDLE file = CreateFileA(localPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return TARGET_FREE;
    LARGE_INTEGER size = {};
    bool sized = GetFileSizeEx(file, &size) != 0;
    CloseHandle(file);
    existingSize = sized ? static_cast<uint64_t>(size.QuadPart) : 0;
    if (!remoteIsFolder && sized && existingSize > 0 && existingSize < remoteSize)
        return TARGET_PARTIAL_FILE;
    return TARGET_FILE_EXISTS;
}

bool FolderDownloadTarget(const std::string& remoteBase, const std::string& localBase,
                          const std::string& remoteFile, std::string& local)
{
    std::string base = WithoutSeparator(remoteBase);
    size_t parent = base.rfind('\\');
    if (parent == std::string::npos || remoteFile.compare(0, base.size() + 1, base + "\\") != 0)
        return false;
    return BuildDownloadTarget(localBase, remoteFile.substr(parent + 1), local);
}

CTransfers::CTransfers(ITransferRequests& requests, ITransferView& view, tTransferTexts texts)
    : m_requests(requests), m_view(view), m_texts(std::move(texts))
{
}

CTransfers::~CTransfers() = default;

bool CTransfers::IsDownloading(uint32_t host, const std::string& remotePath) const
{
    std::string path = WithoutSeparator(remotePath);
    for (const tActive& download : m_downloads)
        if (download.host == host && download.remotePath == path)
            return true;
    for (const auto& folder : m_folders)
        if (folder->host == host && folder->remoteBase == path)
            return true;
    return false;
}

bool CTransfers::IsWritingTo(const std::string& localPath) const
{
    auto overlaps = [&localPath](const std::string& written) {
        return IsInsideFolder(written, localPath) || IsInsideFolder(localPath, written);
    };
    for (const tActive& download : m_downloads)
        if (overlaps(download.localPath))
            return true;
    for (const auto& folder : m_folders)
        if (overlaps(folder->localBase + LastPart(folder->remoteBase)))
            return true;
    return false;
}

int CTransfers::AddRow(tKind kind, int transferId, const std::string& name, const std::string& host)
{
    tRow row;
    row.key = m_nextRowKey++;
    row.kind = kind;
    row.transferId = transferId;
    m_rows.push_back(row);
    m_view.AddRow(row.key, name, m_texts.load(IDS_TRANSFER_WAIT), host);
    return row.key;
}

CTransfers::tRow* CTransfers::FindRow(int key)
{
    for (tRow& row : m_rows)
        if (row.key == key)
            return &row;
    return nullptr;
}

bool CTransfers::IsRowFinished(int key) const
{
    for (const tRow& row : m_rows)
        if (row.key == key)
            return row.finished;
    return false;
}

void CTransfers::FinishRow(int key)
{
    if (tRow* row = FindRow(key))
        row->finished = true;
}

int CTransfers::StartDownload(uint32_t host, const std::string& hostName, const std::string& remotePath,
                              const std::string& localPath, int64_t offset)
{
    tActive download;
    download.host = host;
    download.remotePath = remotePath;
    download.localPath = localPath;
    download.id = offset > 0 ? m_requests.RetrieveFrom(host, remotePath, localPath, offset, download.cancel)
                             : m_requests.Retrieve(host, remotePath, localPath, download.cancel);
    download.rowKey = AddRow(ROW_DOWNLOAD, download.id, LastPart(remotePath), hostName);
    m_downloads.push_back(download);
    return download.id;
}

void CTransfers::StartFolderDownload(uint32_t host, const std::string& hostName, const std::string& remoteBase,
                                     const std::string& localBase)
{
    auto folder = std::make_unique<tFolderDownload>();
    folder->host = host;
    folder->remoteBase = WithoutSeparator(remoteBase);
    folder->localBase = WithSeparator(localBase);
    folder->pendingListings.insert(folder->remoteBase + "\\");
    folder->rowKey = AddRow(ROW_FOLDER, 0, LastPart(remoteBase), hostName);
    tFolderDownload& started = *folder;
    m_folders.push_back(std::move(folder));
    m_requests.Expand(host, started.remoteBase, started.cancel);
}

const CTransfers::tFolderDownload* CTransfers::FindFolder(int rowKey) const
{
    for (const auto& folder : m_folders)
        if (folder->rowKey == rowKey)
            return folder.get();
    return nullptr;
}

CTransfers::tFolderDownload* CTransfers::FolderOfJob(int jobId)
{
    for (auto& folder : m_folders)
        if (folder->currentJob == jobId && jobId != 0)
            return folder.get();
    return nullptr;
}

std::string CTransfers::ProgressText(unsigned id, int64_t percent, double rate, const tFolderDownload* folder) const
{
    std::string rateText = m_texts.formatRate(rate);
    unsigned whole = static_cast<unsigned>(std::max<int64_t>(0, std::min<int64_t>(percent, 100)));
    if (folder)
        return Format(m_texts.load(id).c_str(), folder->filesStarted, folder->filesFound, whole, rateText.c_str());
    return Format(m_texts.load(id).c_str(), whole, rateText.c_str());
}

void CTransfers::DownloadStarted(int id)
{
    DownloadProgress(id, 0, 0.0);
}

void CTransfers::DownloadProgress(int id, int64_t percent, double rate)
{
    for (const tActive& download : m_downloads)
        if (download.id == id) {
            m_view.SetRowStatus(download.rowKey, ProgressText(IDS_TRANSFER_RECEIVE, percent, rate, nullptr));
            return;
        }
    if (tFolderDownload* folder = FolderOfJob(id))
        m_view.SetRowStatus(folder->rowKey, ProgressText(IDS_TRANSFER_RECEIVE_FOLDER, percent, rate, folder));
}

void CTransfers::DownloadFinished(int id, bool success)
{
    for (auto it = m_downloads.begin(); it != m_downloads.end(); ++it) {
        if (it->id != id)
            continue;
        if (success) {
            m_view.SetRowStatus(it->rowKey, m_texts.load(IDS_TRANSFER_FINISHED));
            m_view.Signal(SOUND_TRANSFER_FINISHED);
        } else {
            m_view.SetRowStatus(it->rowKey, m_texts.load(it->cancel->load() ? IDS_TRANSFER_CANCELLED
                                                                             : IDS_TRANSFER_FAILED));
            m_view.Signal(SOUND_TRANSFER_FAILED);
        }
        FinishRow(it->rowKey);
        m_downloads.erase(it);
        return;
    }
    if (tFolderDownload* folder = FolderOfJob(id)) {
        folder->currentJob = 0;
        ContinueFolder(*folder, !success);
    }
}

void CTransfers::ListingArrived(uint32_t host, const std::string& path, const std::vector<ShareItem>& items)
{
    std::string listed = WithSeparator(path);
    // A folder download ending here may take others with it: walk a copy of the pointers.
    std::vector<tFolderDownload*> folders;
    for (auto& folder : m_folders)
        folders.push_back(folder.get());
    for (tFolderDownload* folder : folders) {
        // Only listings it asked for: a listing the user's browsing fetched earlier must not
        // count for one the download still waits for.
        if (folder->host != host || !folder->pendingListings.count(listed) || folder->listedPaths.count(listed))
            continue;
        TakeListing(*folder, listed, items);
    }
}

void CTransfers::ListingFailed(uint32_t host, const std::string& path)
{
    std::string listed = WithSeparator(path);
    std::vector<tFolderDownload*> folders;
    for (auto& folder : m_folders)
        folders.push_back(folder.get());
    for (tFolderDownload* folder : folders) {
        if (folder->host != host || !folder->pendingListings.count(listed))
            continue;
        // Without this listing the download would wait for ever.
        EndFolder(*folder, folder->cancel->load() ? IDS_TRANSFER_CANCELLED : IDS_TRANSFER_FAILED,
                  SOUND_TRANSFER_FAILED);
    }
}

void CTransfers::TakeListing(tFolderDownload& folder, const std::string& path, const std::vector<ShareItem>& items)
{
    folder.pendingListings.erase(path);
    for (const ShareItem& item : items) {
        std::string full = path + item.name;
        if (item.isFolder) {
            std::string sub = full + "\\";
            if (folder.pendingListings.insert(sub).second)
                m_requests.Expand(folder.host, sub, folder.cancel);
        } else {
            folder.pendingFiles.push_back(full);
            ++folder.filesFound;
        }
    }
    folder.listedPaths.insert(path);
    ContinueFolder(folder, false);
}

void CTransfers::ContinueFolder(tFolderDownload& folder, bool lastFailed)
{
    if (folder.cancel->load() || lastFailed) {
        EndFolder(folder, folder.cancel->load() ? IDS_TRANSFER_CANCELLED : IDS_TRANSFER_FAILED,
                  SOUND_TRANSFER_FAILED);
        return;
    }
    if (folder.currentJob != 0)
        return;
    while (!folder.pendingFiles.empty()) {
        std::string remote = folder.pendingFiles.front();
        folder.pendingFiles.pop_front();
        std::string local;
        if (!FolderDownloadTarget(folder.remoteBase, folder.localBase, remote, local)) {
            TraceHere("\"%s\" would be written outside \"%s\": skipped\n", remote.c_str(), folder.localBase.c_str());
            continue;
        }
        ++folder.filesStarted;
        folder.currentJob = m_requests.Retrieve(folder.host, remote, local, folder.cancel);
        m_view.SetRowStatus(folder.rowKey, ProgressText(IDS_TRANSFER_RECEIVE_FOLDER, 0, 0.0, &folder));
        return;
    }
    if (folder.pendingListings.empty())
        EndFolder(folder, IDS_TRANSFER_FINISHED, SOUND_TRANSFER_FINISHED);
}

void CTransfers::EndFolder(tFolderDownload& folder, unsigned status, int sound)
{
    // Listings and a file still under way stop with it.
    *folder.cancel = true;
    m_view.SetRowStatus(folder.rowKey, m_texts.load(status));
    m_view.Signal(sound);
    FinishRow(folder.rowKey);
    for (auto it = m_folders.begin(); it != m_folders.end(); ++it)
        if (it->get() == &folder) {
            m_folders.erase(it);
            return;
        }
}

tCancelHandle CTransfers::UploadStarting(int serial, const std::string& sharePath, const std::string& hostName)
{
    tActive upload;
    upload.id = serial;
    upload.remotePath = sharePath;
    upload.rowKey = AddRow(ROW_UPLOAD, serial, sharePath, hostName);
    m_uploads.push_back(upload);
    return upload.cancel;
}

void CTransfers::UploadStarted(int serial)
{
    UploadProgress(serial, 0, 0.0);
}

void CTransfers::UploadProgress(int serial, int64_t percent, double rate)
{
    for (const tActive& upload : m_uploads)
        if (upload.id == serial) {
            m_view.SetRowStatus(upload.rowKey, ProgressText(IDS_TRANSFER_SEND, percent, rate, nullptr));
            return;
        }
}

void CTransfers::UploadFinished(int serial, bool success)
{
    for (auto it = m_uploads.begin(); it != m_uploads.end(); ++it) {
        if (it->id != serial)
            continue;
        unsigned status = success ? IDS_TRANSFER_FINISHED
                                  : it->cancel->load() ? IDS_TRANSFER_CANCELLED : IDS_TRANSFER_FAILED;
        m_view.SetRowStatus(it->rowKey, m_texts.load(status));
        m_view.Signal(success ? SOUND_TRANSFER_FINISHED : SOUND_TRANSFER_FAILED);
        FinishRow(it->rowKey);
        m_uploads.erase(it);
        return;
    }
}

void CTransfers::Cancel(const std::vector<int>& rowKeys)
{
    for (int key : rowKeys) {
        for (tActive& download : m_downloads)
            if (download.rowKey == key)
                *download.cancel = true;
        for (tActive& upload : m_uploads)
            if (upload.rowKey == key)
                *upload.cancel = true;
        for (auto& folder : m_folders)
            if (folder->rowKey == key)
                *folder->cancel = true;
    }
}

void CTransfers::CancelAll()
{
    for (tActive& download : m_downloads)
        *download.cancel = true;
    for (tActive& upload : m_uploads)
        *upload.cancel = true;
    for (auto& folder : m_folders)
        *folder->cancel = true;
}

void CTransfers::Tick()
{
    for (auto it = m_rows.begin(); it != m_rows.end();) {
        if (!it->finished) {
            ++it;
            continue;
        }
        if (it->countdown <= 0) {
            m_view.RemoveRow(it->key);
            it = m_rows.erase(it);
        } else {
            --it->countdown;
            ++it;
        }
    }
}

bool CTransfers::HasActiveTransfers() const
{
    return !m_downloads.empty() || !m_uploads.empty() || !m_folders.empty();
}
