// The system stores a cleaning run reaches, behind one table of entry points so that tests
// put fakes in their place. Each is the real COM or DLL call on Windows. Wine has the URL
// cache, the History folder and the recent documents call; its URL history store, Protected
// Storage and shell window list answer "not implemented", which the real code takes as
// "nothing there".
#pragma once

#include <windows.h>
#include <wininet.h>

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

// The URL history store (IUrlHistoryStg2).
class CUrlHistoryStore {
public:
    virtual ~CUrlHistoryStore() = default;
    // Opens the store's URL enumerator and resets it; false when it cannot.
    virtual bool StartEnumeration() = 0;
    virtual void Clear() = 0;
    // The next URL record; false when the enumeration is exhausted.
    virtual bool Next(std::wstring& url) = 0;
    virtual void Delete(const std::wstring& url) = 0;
};

// One Protected Storage (an IPStore of the current user).
class CProtectedStore {
public:
    virtual ~CProtectedStore() = default;
    virtual bool Types(std::vector<GUID>& out) = 0;
    virtual bool Subtypes(const GUID& type, std::vector<GUID>& out) = 0;
    virtual bool Items(const GUID& type, const GUID& subtype, std::vector<std::wstring>& out) = 0;
    virtual bool DeleteItem(const GUID& type, const GUID& subtype, const std::wstring& name) = 0;
};

// "pstorec.dll", loaded once for a run.
class CProtectedStorage {
public:
    virtual ~CProtectedStorage() = default;
    // A store, or none when it cannot be made.
    virtual std::unique_ptr<CProtectedStore> CreateStore() = 0;
};

// One item of the History folder, with an identity that tells two items of the same name
// apart.
struct tHistoryItem {
    std::string name;
    std::string id;
};

// The shell's History folder (CSIDL_HISTORY) and its first entry.
class CHistoryFolder {
public:
    virtual ~CHistoryFolder() = default;
    // Takes the folder's first entry; false when there is none.
    virtual bool SelectFirstEntry() = 0;
    virtual unsigned CountChildren() = 0;
    // Enumerates the entry's children afresh and takes the first; false when none is left.
    virtual bool FirstChild(tHistoryItem& item) = 0;
    // Invokes "delete" on the child taken last, the shell's confirmation answered with Yes
    // when it belongs to `owner`.
    virtual void DeleteChild(HWND owner) = 0;
    virtual void DeleteEntry(HWND owner) = 0;
};

struct tSystemAccess {
    std::unique_ptr<CUrlHistoryStore> (*openUrlHistory)();
    // None when "pstorec.dll" or its export is missing.
    std::unique_ptr<CProtectedStorage> (*loadProtectedStorage)();
    // None when the shell has no History folder.
    std::unique_ptr<CHistoryFolder> (*openHistoryFolder)();
    // SHAddToRecentDocs with no item.
    void (*clearRecentDocuments)();
    // Internet Explorer and Windows Explorer windows that hold a document.
    int (*countDocumentWindows)();
    // The URL cache (WinINet), all stores.
    HANDLE (*findFirstCacheEntry)(INTERNET_CACHE_ENTRY_INFOA* entry, DWORD* size);
    BOOL (*findNextCacheEntry)(HANDLE find, INTERNET_CACHE_ENTRY_INFOA* entry, DWORD* size);
    void (*closeCacheFind)(HANDLE find);
    BOOL (*deleteCacheEntry)(const char* url);
};

// The access in use; none puts the real system back.
void SetSystemAccess(const tSystemAccess* access);
const tSystemAccess& SystemAccess();
const tSystemAccess& RealSystemAccess();

// The History folder's first entry, its children counted and deleted through the shell.
std::unique_ptr<CHistoryFolder> OpenShellHistoryFolder();
