// A tandem host without a window: runs discovery, the request server and the request client
// with a settings file, takes commands on standard input and reports every event on standard
// output, one line each. Integration scenarios and benchmarks drive it; it shows the core the
// way the main window will use it (events applied to the network model on one thread, folder
// downloads as listings followed by one retrieve per file).
#pragma once

#include <stdint.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/raii.h"
#include "common/sockets.h"
#include "tandem/host_thread.h"
#include "tandem/listeners.h"
#include "tandem/net_structure.h"
#include "tandem/request_client.h"
#include "tandem/server_thread.h"

struct tNodeOptions {
    std::string settingsPath; // empty: beside the program
    bool askForOs = false;
    bool announce = true;
    tDiscoveryOptions discovery;
    tServerLimits server;
    tClientLimits client;
};

class CTandemNode : public IHostListener,
                    public IRequestResultListener,
                    public IUploadNotification,
                    public IAdmissionCheck {
public:
    explicit CTandemNode(const tNodeOptions& options);
    ~CTandemNode();

    // Starts the worker objects; the server may take a moment to listen.
    void Start();
    // One command line; false for "quit".
    bool Command(const std::string& line);
    void Stop();

    // IHostListener
    void HostAppeared(uint32_t address, const std::string& name, HostKind kind) override;
    void HostDisappeared(uint32_t address) override;
    // IRequestResultListener
    void ExpandResult(int jobId, const std::vector<ShareItem>& items, bool success) override;
    void HostInfoResult(int jobId, const HostInfo& info) override;
    // IUploadNotification
    tCancelHandle UploadStarting(int serial) override;
    // IAdmissionCheck
    bool IsAdmitted(uint32_t address) override;

private:
    struct tFolderDownload;
    class CTransfers;

    void Say(const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));
    void OnDownloadFinished(int jobId, bool success);
    void OnUploadFinished(int serial, bool success);
    void TakeListing(tFolderDownload& folder, const std::string& path, const std::vector<ShareItem>& items);
    void ContinueFolder(tFolderDownload& folder, bool lastFailed);
    void EndFolder(tFolderDownload& folder, const char* how);
    // Removes the folder downloads that have ended.
    void SweepFolders();
    void StartFolder(uint32_t host, const std::string& remote, const std::string& local, int parallel);

    const tNodeOptions m_options;
    tCancelFlag m_shuttingDown{false};
    utilcpp::CParseini m_settings;
    raii::CCriticalSection m_output;
    // Everything below is the node's model; it is used under m_lock, as a window would use
    // it on its own thread.
    raii::CCriticalSection m_lock;
    std::unique_ptr<CNetStructure> m_net;
    std::set<int> m_printedListings; // expand jobs whose entries are printed
    std::map<int, tCancelHandle> m_downloads; // single downloads by job id
    std::map<int, tCancelHandle> m_uploads;   // by serial
    std::set<uint32_t> m_refused;
    std::vector<std::unique_ptr<tFolderDownload>> m_folders;
    int m_nextFolder = 1;

    std::unique_ptr<CTransfers> m_downloadListener;
    std::unique_ptr<CTransfers> m_uploadListener;
    std::unique_ptr<CServerThread> m_server;
    std::unique_ptr<RequestClient> m_client;
    std::unique_ptr<CHostThread> m_discovery;
};
