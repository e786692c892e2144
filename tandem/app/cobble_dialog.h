// tandem's main window: owner of the network model, discovery, the request server and client,
// the chat channel and the transfer bookkeeping. Shows the network as a folder tree and a file
// list, with the chat box and the transfer view below. Worker threads reach it only through
// the sent messages 1025-1038 (WM_USER + 1 onward), each handled by one small member.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "common/raii.h"
#include "common/ui/window.h"
#include "tandem/app/chat_box.h"
#include "tandem/app/paced_rows.h"
#include "tandem/chat_channel.h"
#include "tandem/host_thread.h"
#include "tandem/layout.h"
#include "tandem/listeners.h"
#include "tandem/net_structure.h"
#include "tandem/request_client.h"
#include "tandem/server_thread.h"
#include "tandem/settings.h"
#include "tandem/transfers.h"

class CFolderDropTarget;

// Messages from the worker threads.
enum {
    WM_TANDEM_EXPANDED = WM_USER + 1,         // 1025 job id, items
    WM_TANDEM_DOWNLOAD_STARTED = WM_USER + 2, // 1026
    WM_TANDEM_DOWNLOAD_PROGRESS = WM_USER + 3,
    WM_TANDEM_DOWNLOAD_FINISHED = WM_USER + 4,
    WM_TANDEM_UPLOAD_STARTED = WM_USER + 5, // 1029
    WM_TANDEM_UPLOAD_PROGRESS = WM_USER + 6,
    WM_TANDEM_UPLOAD_FINISHED = WM_USER + 7,
    WM_TANDEM_CHAT = WM_USER + 8,             // 1032 sender, text
    WM_TANDEM_HOST_APPEARED = WM_USER + 9,    // 1033
    WM_TANDEM_HOST_DISAPPEARED = WM_USER + 10, // 1034
    WM_TANDEM_EXPAND_FAILED = WM_USER + 11,   // 1035
    WM_TANDEM_UPLOAD_NOTICE = WM_USER + 12,   // 1036 serial, gives back the cancel flag
    WM_TANDEM_ADMISSION = WM_USER + 13,       // 1037 address, answers 1 for allowed
    WM_TANDEM_HOST_INFO = WM_USER + 14,       // 1038
};

struct tCobbleOptions {
    std::string settingsPath; // empty: tandem.ini beside the program
    bool debugFeatures = false;
    bool discovery = true; // announces and listens (tests may do without)
    tDiscoveryOptions discoveryOptions;
    tServerLimits serverLimits;
    tClientLimits clientLimits;
    tChatOptions chatOptions;
};

class CCobbleDialog : public ui::CWindowImpl,
                      private IHostListener,
                      private IRequestResultListener,
                      private IUploadNotification,
                      private IAdmissionCheck,
                      private IChatListener,
                      private ITransferRequests,
                      private ITransferView,
                      private ITreeView {
public:
    static const char kClassName[];

    CCobbleDialog(HINSTANCE instance, const tCobbleOptions& options);
    ~CCobbleDialog() override;

    // Registers the class and makes the window (not yet shown).
    bool CreateMain();
    // Shows the window at its stored placement.
    void ShowMain(int showCommand);
    // The accelerators and the chat box's dialog keys; true when the message was taken.
    bool PreTranslate(MSG& msg);

    const CTandemSettings& Settings() const { return m_settings; }
    HWND Tree() const { return m_tree; }
    HWND FileList() const { return m_list; }
    HWND TransferView() const { return m_transfers; }
    CChatBox& ChatBox() { return *m_chat; }
    CNetStructure* Net() const { return m_net.get(); }
    CTransfers* Transfers() const { return m_transferBook.get(); }
    // The host table as the tree shows it, for tests.
    bool IsShuttingDown() const { return m_shuttingDown.load(); }

    // Runs the first-run wizard (when "firstinstalled" is 0) and applies its outcome.
    void RunFirstRunWizardIfDue();
    // Lists the local host's shares again and reloads the host name (after a wizard).
    void LocalSharesChanged();
    // Opens the share dialog for a new share of that folder (a folder dropped on the tree).
    void ShareDroppedFolder(const std::string& folder);

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    class CDownloadEvents;
    class CUploadEvents;

    // Window life
    bool OnCreate();
    void OnDestroy();
    bool OnClose();
    void OnSize();
    void OnTimer();
    void OnGetMinMaxInfo(MINMAXINFO* info);
    void OnEndSession(bool ending);
    void CreatePanes();
    void CreateToolbar();
    void CreateImageLists();
    void LayoutPanes();
    void RestoreLayout();
    void SaveLayout();
    void LoadHostName();

    // Worker events
    void OnExpanded(int jobId, const std::vector<ShareItem>& items);
    void OnExpandFailed(int jobId);
    void OnHostInfo(int jobId, const HostInfo& info);
    void OnHostAppeared(uint32_t address, const std::string& name, HostKind kind);
    void OnHostDisappeared(uint32_t address);
    bool OnAdmission(uint32_t address);
    tCancelHandle OnUploadNotice(int serial);
    void OnChatMessage(uint32_t sender, const std::string& text);

    // Commands and menus
    void OnCommand(WORD id, WORD code, HWND control);
    void OnInitMenuPopup(HMENU menu);
    void OnContextMenu(HWND window, int x, int y);
    void EnableMenuItems(HMENU menu);
    void RemoveAddonItems(HMENU menu);
    void OnRefresh();
    void OnRemoveHost();
    void OnAddHost();
    void OnAddShare();
    void OnRemoveShare();
    void OnShareProperties();
    void OnOptions();
    void OnHelpTopics();
    void OnAbout();
    void OnUp();
    void OnSelectAll();
    void OnFocusPane(int step);

    // Downloads
    bool IsDownloadAllowed() const;
    void OnDownload(bool toLastFolder);

    // Tree and file list
    LRESULT OnNotify(NMHDR* header);
    ShareNode* SelectedNode() const;
    ShareNode* NodeOfItem(HTREEITEM item) const;
    void OnTreeSelectionChanged();
    void OnTreeExpanding(HTREEITEM item);
    void Prefetch(ShareNode* node);
    void RequestListing(ShareNode* node);
    void FillFileList();
    void SortFileList();
    void SetSortMark();
    void OnColumnClick(int column);
    void OnFileListDoubleClick();
    std::vector<int> SelectedListItems() const;
    std::vector<int> SelectedTransferRows() const;
    std::string HostDisplayName(uint32_t address) const;
    void PlaySoundEvent(int event);

    // Splitters
    bool OnSetCursor();
    void OnLButtonDown(int x, int y);
    void OnMouseMove(int x, int y);
    void OnLButtonUp(int x, int y);
    void DrawTracker();

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
    // IChatListener
    void ChatMessage(uint32_t sender, const std::string& text) override;
    // ITransferRequests
    int Expand(uint32_t host, const std::string& sharePath, tCancelHandle cancel) override;
    int Retrieve(uint32_t host, const std::string& remotePath, const std::string& localPath,
                 tCancelHandle cancel) override;
    int RetrieveFrom(uint32_t host, const std::string& remotePath, const std::string& localPath, int64_t offset,
                     tCancelHandle cancel) override;
    // ITransferView
    void AddRow(int key, const std::string& name, const std::string& status, const std::string& host) override;
    void SetRowStatus(int key, const std::string& status) override;
    void RemoveRow(int key) override;
    void Signal(int soundEvent) override;
    // ITreeView
    tTreeItem InsertItem(tTreeItem parent, const std::string& text, int image, int selectedImage,
                         void* data) override;
    void DeleteItem(tTreeItem item) override;
    void SetItemText(tTreeItem item, const std::string& text) override;
    void SetItemImage(tTreeItem item, int image, int selectedImage) override;
    void Repaint() override;

    HINSTANCE m_instance;
    const tCobbleOptions m_options;
    CTandemSettings m_settings;
    std::atomic<bool> m_shuttingDown{false};
    bool m_stopped = false;

    HWND m_toolbar = nullptr;
    HWND m_tree = nullptr;
    HWND m_list = nullptr;
    HWND m_transferGroup = nullptr;
    HWND m_transfers = nullptr;
    CPacedRows m_rows;
    std::unique_ptr<CChatBox> m_chat;
    HIMAGELIST m_treeImages = nullptr;
    HIMAGELIST m_toolbarImages = nullptr;
    HIMAGELIST m_sortImages = nullptr;
    raii::CGdiObject m_font;
    HACCEL m_accelerators = nullptr;
    CFolderDropTarget* m_dropTarget = nullptr;

    int m_left = 0;   // "leftpanelwidth"
    int m_bottom = 0; // "bottompanelheight"
    int m_dragging = 0; // 0 none, 1 vertical splitter, 2 horizontal
    int m_dragPosition = 0;
    bool m_trackerShown = false;

    int m_sortColumn = 0;
    bool m_sortAscending = true;
    std::vector<ShareItem> m_listItems; // what the file list shows, by item data index
    bool m_fillPosted = false;

    // The admission question is asked for one download at a time.
    raii::CCriticalSection m_admissionLock;

    std::unique_ptr<CNetStructure> m_net;
    std::unique_ptr<CDownloadEvents> m_downloadEvents;
    std::unique_ptr<CUploadEvents> m_uploadEvents;
    std::unique_ptr<CTransfers> m_transferBook;
    std::unique_ptr<CServerThread> m_server;
    std::unique_ptr<RequestClient> m_client;
    std::unique_ptr<CHostThread> m_discovery;
    std::unique_ptr<ChatChannel> m_chatChannel;
};
