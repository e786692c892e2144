#include "tidemark/url_cache.h"

#include "common/trace.h"
#include "tidemark/system_access.h"

namespace {

const DWORD kInitialEntryBytes = 4096;

} // namespace

CUrlCacheEnumeration::CUrlCacheEnumeration() : m_buffer(kInitialEntryBytes / sizeof(uint64_t)) {}

CUrlCacheEnumeration::~CUrlCacheEnumeration()
{
    Close();
}

void CUrlCacheEnumeration::Close()
{
    if (m_find) {
        SystemAccess().closeCacheFind(m_find);
        m_find = nullptr;
    }
    m_ended = true;
}

INTERNET_CACHE_ENTRY_INFOA* CUrlCacheEnumeration::Info()
{
    return reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(m_buffer.data());
}

bool CUrlCacheEnumeration::Fetch()
{
    for (;;) {
        DWORD size = static_cast<DWORD>(m_buffer.size() * sizeof(uint64_t));
        bool ok;
        if (!m_started) {
            HANDLE find = SystemAccess().findFirstCacheEntry(Info(), &size);
            ok = find != nullptr;
            if (ok) {
                m_find = find;
                m_started = true;
            }
        } else {
            ok = SystemAccess().findNextCacheEntry(m_find, Info(), &size) != FALSE;
        }
        if (ok)
            return true;
        DWORD error = GetLastError();
        if (error == ERROR_INSUFFICIENT_BUFFER && size > m_buffer.size() * sizeof(uint64_t) &&
            size <= kMaxEntryBytes) {
            m_buffer.resize((size + sizeof(uint64_t) - 1) / sizeof(uint64_t));
            continue;
        }
        if (error != ERROR_NO_MORE_ITEMS) {
            if (!m_started)
                TraceHere("## FindFirstUrlCacheEntry() failed (%d)\n", static_cast<int>(error));
            else
                TraceHere("## FindNextUrlCacheEntry() failed (%d)\n", static_cast<int>(error));
        }
        return false;
    }
}

bool CUrlCacheEnumeration::Next(tCacheEntry& entry)
{
    if (m_ended)
        return false;
    if (!Fetch()) {
        Close();
        return false;
    }
    const INTERNET_CACHE_ENTRY_INFOA* info = Info();
    // The URL points into the buffer; a name that runs past it is cut at the buffer's end.
    entry.url.clear();
    if (info->lpszSourceUrlName) {
        const char* begin = reinterpret_cast<const char*>(m_buffer.data());
        const char* end = begin + m_buffer.size() * sizeof(uint64_t);
        const char* url = info->lpszSourceUrlName;
        if (url >= begin && url < end) {
            const char* stop = url;
            while (stop < end && *stop)
                ++stop;
            entry.url.assign(url, stop);
        }
    }
    entry.type = info->CacheEntryType;
    entry.size = (static_cast<uint64_t>(info->dwSizeHigh) << 32) | info->dwSizeLow;
    return true;
}

tCacheCounts CountUrlCache()
{
    tCacheCounts counts;
    CUrlCacheEnumeration cache;
    tCacheEntry entry;
    while (cache.Next(entry))
        CountCacheEntry(counts, entry.type, entry.size);
    return counts;
}
