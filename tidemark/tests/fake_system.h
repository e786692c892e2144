// A system in memory for the cleaner's tests: a URL history store, Protected Storage, a
// History folder, the recent documents, the shell's windows and a URL cache, each recording
// what the run did to it. Install with CFakeSystemScope; one at a time.
#pragma once

#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "tidemark/cleaner.h"
#include "tidemark/progress_model.h"
#include "tidemark/system_access.h"

// The GUID type of the browser's AutoComplete items, and another one.
extern const GUID kAutoCompleteType;
extern const GUID kOtherType;
extern const GUID kSubtype;

struct tFakeSystem {
    // URL history store
    bool historyStorePresent = true;
    std::vector<std::wstring> historyUrls;
    bool historyCleared = false;
    std::vector<std::wstring> historyDeleted;

    // Protected Storage
    bool pstorecPresent = true;
    int pstorecLoads = 0;
    struct tProtectedItem {
        GUID type;
        GUID subtype;
        std::wstring name;
    };
    std::vector<tProtectedItem> protectedItems;
    std::vector<std::wstring> protectedDeleted;

    // History folder: an entry with children
    bool historyFolderPresent = true;
    bool historyEntryPresent = true;
    std::vector<std::string> historyChildren;
    std::set<std::string> undeletableChildren;
    bool historyEntryDeleted = false;
    HWND deleteOwner = nullptr;

    int recentDocumentsCleared = 0;
    int documentWindows = 0;

    // URL cache, enumerated in this order
    struct tCacheItem {
        std::string url;
        DWORD type;
        DWORD size;
        bool undeletable;
        bool deleted;
    };
    std::vector<tCacheItem> cache;
    // An error the enumeration reports after this many entries (-1: none).
    int failEnumerationAt = -1;
    DWORD enumerationError = 0;
    std::vector<std::string> cacheDeleted;

    // Everything the run did, in order ("pstore-delete:name", "history-item:name", ...).
    std::vector<std::string> events;
    // Called on the worker thread after each event is recorded.
    std::function<void(const std::string& event)> onEvent;

    void AddCache(const std::string& url, DWORD type, DWORD size = 100, bool undeletable = false);
    size_t CacheLeft(DWORD typeMask) const;
    void Record(const std::string& event);
    bool HasEvent(const std::string& prefix) const;
};

// Installs a fake system for its lifetime and puts the real one back afterwards.
class CFakeSystemScope {
public:
    explicit CFakeSystemScope(tFakeSystem& fake);
    ~CFakeSystemScope();
    CFakeSystemScope(const CFakeSystemScope&) = delete;
    CFakeSystemScope& operator=(const CFakeSystemScope&) = delete;
};

// A progress receiver that keeps the bar's numbers as the dialog would and logs each report.
class CRecordingProgress : public CCleanProgress {
public:
    explicit CRecordingProgress(unsigned range = 0) { model.Start(range); }

    void Phase(int phase) override;
    void HistoryRange(unsigned total) override;
    void HistoryItem(const std::string& name) override;
    void CacheUrl(const std::string& url) override;
    void Finished() override;
    HWND Owner() const override { return owner; }

    CProgressModel model;
    std::vector<std::string> log;
    std::vector<std::string> texts; // what the status line would show, in order
    int finished = 0;
    HWND owner = nullptr;
};

std::string Narrow(const std::wstring& text);
// Options with nothing ticked, for tests to tick what they need.
tCleanOptions NoOptions();
