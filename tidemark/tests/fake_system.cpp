#include "tidemark/tests/fake_system.h"

#include <string.h>

#include <memory>


const GUID kAutoCompleteType = {0xE161255A, 0x37C3, 0x11D2, {0xBC, 0xAA, 0x00, 0xC0, 0x4F, 0xD9, 0x29, 0xDB}};
const GUID kOtherType = {0x5E7E8100, 0x9138, 0x11D1, {0x94, 0x5A, 0x00, 0xC0, 0x4F, 0xC3, 0x08, 0xFF}};
const GUID kSubtype = {0x12345678, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};

namespace {

tFakeSystem* g_fake = nullptr;

bool SameGuid(const GUID& a, const GUID& b)
{
    return memcmp(&a, &b, sizeof a) == 0;
}

class CFakeUrlHistory : public CUrlHistoryStore {
public:
    bool StartEnumeration() override
    {
        m_next = 0;
        return true;
    }
    void Clear() override
    {
        g_fake->historyCleared = true;
        g_fake->Record("history-clear");
    }
    bool Next(std::wstring& url) override
    {
        if (m_next >= g_fake->historyUrls.size())
            return false;
        url = g_fake->historyUrls[m_next++];
        return true;
    }
    void Delete(const std::wstring& url) override
    {
        g_fake->historyDeleted.push_back(url);
        g_fake->Record("history-delete:" + Narrow(url));
    }

private:
    size_t m_next = 0;
};

class CFakeProtectedStore : public CProtectedStore {
public:
    bool Types(std::vector<GUID>& out) override
    {
        for (const auto& item : g_fake->protectedItems)
            Add(out, item.type);
        return true;
    }
    bool Subtypes(const GUID& type, std::vector<GUID>& out) override
    {
        for (const auto& item : g_fake->protectedItems)
            if (SameGuid(item.type, type))
                Add(out, item.subtype);
        return true;
    }
    bool Items(const GUID& type, const GUID& subtype, std::vector<std::wstring>& out) override
    {
        for (const auto& item : g_fake->protectedItems)
            if (SameGuid(item.type, type) && SameGuid(item.subtype, subtype))
                out.push_back(item.name);
        return true;
    }
    bool DeleteItem(const GUID& type, const GUID& subtype, const std::wstring& name) override
    {
        auto& items = g_fake->protectedItems;
        for (auto it = items.begin(); it != items.end(); ++it) {
            if (SameGuid(it->type, type) && SameGuid(it->subtype, subtype) && it->name == name) {
                items.erase(it);
                g_fake->protectedDeleted.push_back(name);
                g_fake->Record("pstore-delete:" + Narrow(name));
                return true;
            }
        }
        return false;
    }

private:
    static void Add(std::vector<GUID>& out, const GUID& guid)
    {
        for (const GUID& known : out)
            if (SameGuid(known, guid))
                return;
        out.push_back(guid);
    }
};

class CFakePstorec : public CProtectedStorage {
public:
    std::unique_ptr<CProtectedStore> CreateStore() override
    {
        return std::unique_ptr<CProtectedStore>(new CFakeProtectedStore);
    }
};

class CFakeHistoryFolder : public CHistoryFolder {
public:
    bool SelectFirstEntry() override { return g_fake->historyEntryPresent; }
    unsigned CountChildren() override { return static_cast<unsigned>(g_fake->historyChildren.size()); }
    bool FirstChild(tHistoryItem& item) override
    {
        if (g_fake->historyChildren.empty())
            return false;
        item.name = g_fake->historyChildren.front();
        item.id = "id:" + item.name;
        return true;
    }
    void DeleteChild(HWND owner) override
    {
        g_fake->deleteOwner = owner;
        std::string name = g_fake->historyChildren.front();
        if (g_fake->undeletableChildren.count(name)) {
            g_fake->Record("history-undeletable:" + name);
            return;
        }
        g_fake->historyChildren.erase(g_fake->historyChildren.begin());
        g_fake->Record("history-folder-delete:" + name);
    }
    void DeleteEntry(HWND owner) override
    {
        g_fake->deleteOwner = owner;
        g_fake->historyEntryDeleted = true;
        g_fake->Record("history-entry-delete");
    }
};

std::unique_ptr<CUrlHistoryStore> FakeOpenUrlHistory()
{
    if (!g_fake->historyStorePresent)
        return nullptr;
    return std::unique_ptr<CUrlHistoryStore>(new CFakeUrlHistory);
}

std::unique_ptr<CProtectedStorage> FakeLoadPstorec()
{
    ++g_fake->pstorecLoads;
    if (!g_fake->pstorecPresent)
        return nullptr;
    return std::unique_ptr<CProtectedStorage>(new CFakePstorec);
}

std::unique_ptr<CHistoryFolder> FakeOpenHistoryFolder()
{
    if (!g_fake->historyFolderPresent)
        return nullptr;
    return std::unique_ptr<CHistoryFolder>(new CFakeHistoryFolder);
}

void FakeClearRecentDocuments()
{
    ++g_fake->recentDocumentsCleared;
    g_fake->Record("recent-documents");
}

int FakeCountDocumentWindows()
{
    return g_fake->documentWindows;
}

// A find handle is the position of the next entry to report.
struct tFakeFind {
    size_t next = 0;
    size_t reported = 0;
};

BOOL Report(tFakeFind* find, INTERNET_CACHE_ENTRY_INFOA* entry, DWORD* size)
{
    auto& cache = g_fake->cache;
    while (find->next < cache.size() && cache[find->next].deleted)
        ++find->next;
    if (g_fake->failEnumerationAt >= 0 && find->reported >= static_cast<size_t>(g_fake->failEnumerationAt)) {
        SetLastError(g_fake->enumerationError);
        return FALSE;
    }
    if (find->next >= cache.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    const auto& item = cache[find->next];
    DWORD needed = static_cast<DWORD>(sizeof *entry + item.url.size() + 1);
    if (*size < needed) {
        *size = needed;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    memset(entry, 0, sizeof *entry);
    entry->dwStructSize = sizeof *entry;
    char* url = reinterpret_cast<char*>(entry + 1);
    memcpy(url, item.url.c_str(), item.url.size() + 1);
    entry->lpszSourceUrlName = url;
    entry->CacheEntryType = item.type;
    entry->dwSizeLow = item.size;
    *size = needed;
    ++find->next;
    ++find->reported;
    return TRUE;
}

HANDLE FakeFindFirst(INTERNET_CACHE_ENTRY_INFOA* entry, DWORD* size)
{
    std::unique_ptr<tFakeFind> find(new tFakeFind);
    if (!Report(find.get(), entry, size))
        return nullptr;
    return find.release();
}

BOOL FakeFindNext(HANDLE handle, INTERNET_CACHE_ENTRY_INFOA* entry, DWORD* size)
{
    return Report(static_cast<tFakeFind*>(handle), entry, size);
}

void FakeCloseFind(HANDLE handle)
{
    delete static_cast<tFakeFind*>(handle);
}

BOOL FakeDeleteEntry(const char* url)
{
    for (auto& item : g_fake->cache) {
        if (!item.deleted && item.url == url) {
            if (item.undeletable) {
                g_fake->Record(std::string("cache-undeletable:") + url);
                SetLastError(ERROR_SHARING_VIOLATION);
                return FALSE;
            }
            item.deleted = true;
            g_fake->cacheDeleted.push_back(url);
            g_fake->Record(std::string("cache-delete:") + url);
            return TRUE;
        }
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

const tSystemAccess kFakeAccess = {
    FakeOpenUrlHistory,       FakeLoadPstorec, FakeOpenHistoryFolder, FakeClearRecentDocuments,
    FakeCountDocumentWindows, FakeFindFirst,   FakeFindNext,          FakeCloseFind,
    FakeDeleteEntry,
};

} // namespace

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out.push_back(c < 128 ? static_cast<char>(c) : '?');
    return out;
}

tCleanOptions NoOptions()
{
    tCleanOptions options;
    options.cookies = options.tempFiles = options.history = false;
    options.recentLists = options.formData = options.passwords = false;
    return options;
}

void tFakeSystem::AddCache(const std::string& url, DWORD type, DWORD size, bool undeletable)
{
    cache.push_back(tCacheItem{url, type, size, undeletable, false});
}

size_t tFakeSystem::CacheLeft(DWORD typeMask) const
{
    size_t left = 0;
    for (const auto& item : cache)
        if (!item.deleted && (typeMask == 0 ? (item.type & 0x300000) == 0 : (item.type & typeMask) != 0))
            ++left;
    return left;
}

void tFakeSystem::Record(const std::string& event)
{
    events.push_back(event);
    if (onEvent)
        onEvent(event);
}

bool tFakeSystem::HasEvent(const std::string& prefix) const
{
    for (const auto& event : events)
        if (event.compare(0, prefix.size(), prefix) == 0)
            return true;
    return false;
}

CFakeSystemScope::CFakeSystemScope(tFakeSystem& fake)
{
    g_fake = &fake;
    SetSystemAccess(&kFakeAccess);
}

CFakeSystemScope::~CFakeSystemScope()
{
    SetSystemAccess(nullptr);
    g_fake = nullptr;
}

void CRecordingProgress::Phase(int phase)
{
    tProgressStep step = model.OnPhase(phase);
    log.push_back("phase " + std::to_string(phase));
    if (step.textId)
        texts.push_back("text " + std::to_string(step.textId));
}

void CRecordingProgress::HistoryRange(unsigned total)
{
    model.OnHistoryRange(total);
    log.push_back("history range " + std::to_string(total));
}

void CRecordingProgress::HistoryItem(const std::string& name)
{
    model.OnHistoryItem();
    log.push_back("history item " + name);
    texts.push_back(name);
}

void CRecordingProgress::CacheUrl(const std::string& url)
{
    model.OnCacheUrl();
    log.push_back("url " + url);
    texts.push_back(url);
}

void CRecordingProgress::Finished()
{
    ++finished;
    log.push_back("finished");
}
