// The main window's bookkeeping of file transfers: single and folder downloads started from
// the file list, uploads other hosts take from this one, their rows in the transfer view with
// progress texts, cancelling, and the removal of finished rows after about five seconds.
// Runs on the user-interface thread only; the request client and the transfer view are
// reached through small interfaces, so that the bookkeeping is tested without a window.
#pragma once

#include <stdint.h>

#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tandem/listeners.h"
#include "tandem/protocol.h"

// Status texts of the string table.
enum {
    IDS_TRANSFER_WAIT = 117,
    IDS_TRANSFER_RECEIVE = 118,   // "Receive %u%% (%s KB/s)"
    IDS_TRANSFER_SEND = 119,      // "Send %u%% (%s KB/s)"
    IDS_TRANSFER_CANCELLED = 120,
    IDS_TRANSFER_FAILED = 121,
    IDS_TRANSFER_FINISHED = 122,
    IDS_TRANSFER_RECEIVE_FOLDER = 1071, // "Receive (%i/%i) %u%% (%s KB/s)"
};

// Sound events of the main window.
enum {
    SOUND_CHAT_MESSAGE = 0,
    SOUND_TRANSFER_STARTED = 1,
    SOUND_TRANSFER_FINISHED = 2,
    SOUND_TRANSFER_FAILED = 3,
    SOUND_HOST_APPEARED = 4,
    SOUND_HOST_DISAPPEARED = 5,
};

// What the bookkeeping asks of the request client.
class ITransferRequests {
public:
    virtual int Expand(uint32_t host, const std::string& sharePath, tCancelHandle cancel) = 0;
    virtual int Retrieve(uint32_t host, const std::string& remotePath, const std::string& localPath,
                         tCancelHandle cancel) = 0;
    virtual int RetrieveFrom(uint32_t host, const std::string& remotePath, const std::string& localPath,
                             int64_t offset, tCancelHandle cancel) = 0;

protected:
    ~ITransferRequests() = default;
};

// The transfer view: rows keyed by a number of the bookkeeping, in the order they were added.
class ITransferView {
public:
    virtual void AddRow(int key, const std::string& name, const std::string& status, const std::string& host) = 0;
    virtual void SetRowStatus(int key, const std::string& status) = 0;
    virtual void RemoveRow(int key) = 0;
    virtual void Signal(int soundEvent) = 0;

protected:
    ~ITransferView() = default;
};

// Texts of the string table, and the rate as the user's locale writes numbers.
struct tTransferTexts {
    std::function<std::string(unsigned id)> load;
    std::function<std::string(double rate)> formatRate;
};

// What is in the way of a download's local target.
enum tTargetState {
    TARGET_FREE,
    TARGET_FOLDER_EXISTS, // question 1080
    TARGET_FILE_EXISTS,   // question 1020
    TARGET_PARTIAL_FILE,  // a shorter file: the resume question
};
// existingSize: the size of an existing file (when one is there).
tTargetState CheckDownloadTarget(const std::string& localPath, bool remoteIsFolder, uint64_t remoteSize,
                                 uint64_t& existingSize);

// The local path of a file of a folder download: the remote path with the remote base's
// parent part cut off, below the local base. False when the result would leave the local base.
bool FolderDownloadTarget(const std::string& remoteBase, const std::string& localBase,
                          const std::string& remoteFile, std::string& local);

class CTransfers {
public:
    CTransfers(ITransferRequests& requests, ITransferView& view, tTransferTexts texts);
    ~CTransfers();
    CTransfers(const CTransfers&) = delete;
    CTransfers& operator=(const CTransfers&) = delete;

    // Whether a download of that remote path (a file, or a folder without trailing "\") on
    // that host is running already, alone or as a folder download.
    bool IsDownloading(uint32_t host, const std::string& remotePath) const;
    // Whether a running download writes that local file or folder, or into it, or it into one
    // (of any host): two downloads into one file would mix their bytes.
    bool IsWritingTo(const std::string& localPath) const;

    // offset > 0 resumes at that byte of an existing local file.
    int StartDownload(uint32_t host, const std::string& hostName, const std::string& remotePath,
                      const std::string& localPath, int64_t offset = 0);
    // remoteBase with or without trailing "\"; localBase is the chosen target folder.
    void StartFolderDownload(uint32_t host, const std::string& hostName, const std::string& remoteBase,
                             const std::string& localBase);

    // Events of the request client.
    void DownloadStarted(int id);
    void DownloadProgress(int id, int64_t percent, double rate);
    void DownloadFinished(int id, bool success);
    // A listing arrived (the path as requested); folder downloads that asked for it go on.
    void ListingArrived(uint32_t host, const std::string& path, const std::vector<ShareItem>& items);
    // A listing could not be had: folder downloads that wait for it end as failed.
    void ListingFailed(uint32_t host, const std::string& path);

    // Events of the server.
    tCancelHandle UploadStarting(int serial, const std::string& sharePath, const std::string& hostName);
    void UploadStarted(int serial);
    void UploadProgress(int serial, int64_t percent, double rate);
    void UploadFinished(int serial, bool success);

    // Sets the cancel flag of the transfers of these rows.
    void Cancel(const std::vector<int>& rowKeys);
    // Sets every cancel flag (the program is closing).
    void CancelAll();
    // Once a second: finished rows count down and go.
    void Tick();

    bool HasActiveTransfers() const;
    size_t ActiveFolderDownloads() const { return m_folders.size(); }
    size_t RowCount() const { return m_rows.size(); }
    bool IsRowFinished(int key) const;

    // The folder download of a row, for tests and the status texts.
    struct tFolderDownload {
        tCancelHandle cancel = NewCancelFlag();
        std::set<std::string> pendingListings; // paths asked for, with trailing "\"
        int filesFound = 0;
        int filesStarted = 0;
        int currentJob = 0;
        uint32_t host = 0;
        std::string remoteBase; // without trailing "\"
        std::string localBase;  // with trailing "\"
        std::set<std::string> listedPaths;
        std::deque<std::string> pendingFiles;
        int rowKey = 0;
    };
    const tFolderDownload* FindFolder(int rowKey) const;

private:
    enum tKind { ROW_DOWNLOAD, ROW_FOLDER, ROW_UPLOAD };
    struct tRow {
        int key = 0;
        tKind kind = ROW_DOWNLOAD;
        int transferId = 0; // job id or serial; 0 for folder rows
        bool finished = false;
        int countdown = 5;
    };
    struct tActive {
        int id = 0;
        tCancelHandle cancel = NewCancelFlag();
        uint32_t host = 0;
        std::string remotePath;
        std::string localPath;
        int rowKey = 0;
    };

    int AddRow(tKind kind, int transferId, const std::string& name, const std::string& host);
    tRow* FindRow(int key);
    void FinishRow(int key);
    std::string ProgressText(unsigned id, int64_t percent, double rate, const tFolderDownload* folder) const;
    tFolderDownload* FolderOfJob(int jobId);
    void TakeListing(tFolderDownload& folder, const std::string& path, const std::vector<ShareItem>& items);
    void ContinueFolder(tFolderDownload& folder, bool lastFailed);
    void EndFolder(tFolderDownload& folder, unsigned status, int sound);

    ITransferRequests& m_requests;
    ITransferView& m_view;
    tTransferTexts m_texts;
    std::vector<tRow> m_rows;
    std::vector<tActive> m_downloads;
    std::vector<tActive> m_uploads;
    std::vector<std::unique_ptr<tFolderDownload>> m_folders;
    int m_nextRowKey = 1;
};
