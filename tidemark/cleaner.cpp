#include "tidemark/cleaner.h"

#include <string.h>

#include <memory>
#include <vector>

#include "common/raii.h"
#include "common/registry.h"
#include "common/trace.h"
#include "tidemark/system_access.h"
#include "tidemark/url_cache.h"

namespace {

// No store lists more than this; one that does is taken as damaged and cut there.
const size_t kMaxProtectedItems = 100000;

} // namespace

// One run of the worker; named outside the anonymous namespace so that its trace lines carry
// a plain class name.
class CCleanRun {
public:
    CCleanRun(tCleanJob& job, CCleanProgress& progress) : m_job(job), m_progress(progress) {}

    void Run();

private:
    bool Cancelled() const { return m_job.cancelled.load(); }

    void ProtectedStoragePass(int mode);
    void DeleteProtectedItems(CProtectedStore& store, int mode);
    void HistoryStorePass();
    void HistoryFolderPass();
    void RecentListsPass();
    void CachePass();

    tCleanJob& m_job;
    CCleanProgress& m_progress;
    // Loaded at the first Protected Storage pass, kept for the second.
    bool m_storageLoaded = false;
    std::unique_ptr<CProtectedStorage> m_storage;
};

void CCleanRun::Run()
{
    const tCleanOptions& options = m_job.options;
    if (options.formData && !Cancelled())
        ProtectedStoragePass(kFormDataMode);
    if (options.passwords && !Cancelled())
        ProtectedStoragePass(kPasswordMode);
    if (options.history && !Cancelled()) {
        m_progress.Phase(kPhaseHistory);
        HistoryStorePass();
        if (!Cancelled())
            HistoryFolderPass();
    }
    if (options.recentLists && !Cancelled())
        RecentListsPass();
    if ((options.cookies || options.tempFiles) && !Cancelled())
        CachePass();
    m_progress.Finished();
}

void CCleanRun::ProtectedStoragePass(int mode)
{
    m_progress.Phase(mode);
    if (!m_storageLoaded) {
        m_storageLoaded = true;
        m_storage = SystemAccess().loadProtectedStorage();
    }
    if (m_storage) {
        std::unique_ptr<CProtectedStore> store = m_storage->CreateStore();
        if (store)
            DeleteProtectedItems(*store, mode);
        if (mode == kFormDataMode && !Cancelled())
            DeleteKeyAndBroadcast(kSearchHistoryKey);
    }
    m_progress.Phase(mode);
}

void CCleanRun::DeleteProtectedItems(CProtectedStore& store, int mode)
{
    std::vector<GUID> types;
    store.Types(types);
    for (const GUID& type : types) {
        if (Cancelled())
            return;
        std::vector<GUID> subtypes;
        store.Subtypes(type, subtypes);
        for (const GUID& subtype : subtypes) {
            if (Cancelled())
                return;
            std::vector<std::wstring> items;
            store.Items(type, subtype, items);
            if (items.size() > kMaxProtectedItems)
                items.resize(kMaxProtectedItems);
            for (const std::wstring& name : items) {
                if (Cancelled())
                    return;
                if (ShouldDeleteProtectedItem(mode, static_cast<uint32_t>(type.Data1), name))
                    store.DeleteItem(type, subtype, name);
            }
        }
    }
}

void CCleanRun::HistoryStorePass()
{
    std::unique_ptr<CUrlHistoryStore> store = SystemAccess().openUrlHistory();
    if (store && store->StartEnumeration()) {
        store->Clear();
        std::wstring url;
        while (!Cancelled() && store->Next(url))
            store->Delete(url);
    }
    m_progress.Phase(kPhaseHistory);
}

void CCleanRun::HistoryFolderPass()
{
    std::unique_ptr<CHistoryFolder> folder = SystemAccess().openHistoryFolder();
    // Without a folder or an entry the pass is as done as with an empty entry.
    if (!folder || !folder->SelectFirstEntry()) {
        m_progress.HistoryRange(0);
        return;
    }
    m_progress.HistoryRange(folder->CountChildren());
    HWND owner = m_progress.Owner();
    std::string previous;
    bool first = true;
    tHistoryItem item;
    while (!Cancelled() && folder->FirstChild(item)) {
        // An item that is still first after its deletion cannot be deleted: going on would
        // ask for it forever.
        if (!first && item.id == previous)
            break;
        first = false;
        previous = item.id;
        m_progress.HistoryItem(item.name);
        folder->DeleteChild(owner);
    }
    if (!Cancelled())
        folder->DeleteEntry(owner);
}

void CCleanRun::RecentListsPass()
{
    m_progress.Phase(kPhaseRecentLists);
    SystemAccess().clearRecentDocuments();
    for (const char* key : kRecentListKeys) {
        if (Cancelled())
            return;
        DeleteKeyAndBroadcast(key);
        m_progress.Phase(kPhaseRecentLists);
    }
}

void CCleanRun::CachePass()
{
    CUrlCacheEnumeration cache;
    tCacheEntry entry;
    while (!Cancelled() && cache.Next(entry)) {
        TraceHere("URL: %s\n", entry.url.c_str());
        if (!ShouldDeleteCacheEntry(ClassifyCacheEntry(entry.type), m_job.options))
            continue;
        if (Cancelled())
            break;
        m_progress.CacheUrl(entry.url);
        if (Cancelled())
            break;
        if (!SystemAccess().deleteCacheEntry(entry.url.c_str()))
            break;
    }
}

void DeleteKeyAndBroadcast(const char* key)
{
    CRegistryKey::DeleteTree(HKEY_CURRENT_USER, key);
    // Sent as Unicode: Wine passes the text of an ANSI broadcast on unconverted, so that the
    // windows get garbage; the key names are plain ASCII either way.
    std::wstring name(key, key + strlen(key));
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(name.c_str()),
                        SMTO_ABORTIFHUNG | SMTO_NOTIMEOUTIFNOTHUNG, kBroadcastTimeoutMs, &answer);
}

void RunCleaner(tCleanJob& job, CCleanProgress& progress)
{
    // The shell's folders and the stores are apartment objects.
    raii::CComInit com;
    CCleanRun run(job, progress);
    run.Run();
}
