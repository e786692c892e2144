#include "tidemark/system_access.h"

#include <shlobj.h>

#include "tidemark/real_system.h"

namespace {

HANDLE RealFindFirst(INTERNET_CACHE_ENTRY_INFOA* entry, DWORD* size)
{
    // No pattern: every store (cookies, history, content) in one enumeration.
    return FindFirstUrlCacheEntryA(nullptr, entry, size);
}

BOOL RealFindNext(HANDLE find, INTERNET_CACHE_ENTRY_INFOA* entry, DWORD* size)
{
    return FindNextUrlCacheEntryA(find, entry, size);
}

void RealCloseFind(HANDLE find)
{
    FindCloseUrlCache(find);
}

BOOL RealDeleteEntry(const char* url)
{
    return DeleteUrlCacheEntryA(url);
}

void RealClearRecentDocuments()
{
    SHAddToRecentDocs(SHARD_PATHA, nullptr);
}

const tSystemAccess kRealSystem = {
    OpenComUrlHistory,   LoadPstorec,   OpenShellHistoryFolder, RealClearRecentDocuments,
    CountShellDocumentWindows, RealFindFirst, RealFindNext, RealCloseFind,
    RealDeleteEntry,
};
const tSystemAccess* g_access = &kRealSystem;

} // namespace

void SetSystemAccess(const tSystemAccess* access)
{
    g_access = access ? access : &kRealSystem;
}

const tSystemAccess& SystemAccess()
{
    return *g_access;
}

const tSystemAccess& RealSystemAccess()
{
    return kRealSystem;
}
