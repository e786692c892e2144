// The URL cache entry by entry, through the system access table: every store at once
// (cookies, history, ordinary entries), with an entry buffer that grows to what the cache
// asks for.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "tidemark/rules.h"

struct tCacheEntry {
    std::string url;
    uint32_t type = 0;
    uint64_t size = 0;
};

class CUrlCacheEnumeration {
public:
    // The largest entry buffer accepted: an entry asking for more is taken as a damaged
    // cache, which ends the enumeration.
    static const DWORD kMaxEntryBytes = 1024 * 1024;

    CUrlCacheEnumeration();
    ~CUrlCacheEnumeration();
    CUrlCacheEnumeration(const CUrlCacheEnumeration&) = delete;
    CUrlCacheEnumeration& operator=(const CUrlCacheEnumeration&) = delete;

    // The next entry; false at the end or on an error (errors are traced).
    bool Next(tCacheEntry& entry);
    // Closes the enumeration early.
    void Close();

private:
    bool Fetch();
    INTERNET_CACHE_ENTRY_INFOA* Info();

    // 64-bit cells keep the entry record aligned.
    std::vector<uint64_t> m_buffer;
    HANDLE m_find = nullptr;
    bool m_started = false;
    bool m_ended = false;
};

// Counts the entries of each kind, with their sizes.
tCacheCounts CountUrlCache();
