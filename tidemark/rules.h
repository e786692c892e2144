// What a cleaning run deletes and how much of the progress bar each part is worth. Pure
// logic: no window, no system call, so every rule is tested on its own.
#pragma once

#include <stdint.h>

#include <string>

// The six choices of the main dialog, stored per user (see option_store.h).
struct tCleanOptions {
    bool cookies = true;
    bool tempFiles = true;
    bool history = true;
    bool recentLists = true;
    bool formData = true;
    bool passwords = true;

    bool operator==(const tCleanOptions& other) const
    {
        return cookies == other.cookies && tempFiles == other.tempFiles &&
               history == other.history && recentLists == other.recentLists &&
               formData == other.formData && passwords == other.passwords;
    }
    bool operator!=(const tCleanOptions& other) const { return !(*this == other); }
};

// Phases of a run; the numbers are those of the progress calls and pick the status text.
enum ePhase : int {
    kPhaseNone = 0,
    kPhaseHistory = 4,
    kPhaseRecentLists = 5,
    kPhaseFormData = 6,
    kPhasePasswords = 7,
};

// Units of the progress bar.
const unsigned kHistoryStoreWeight = 100;  // the URL history store
const unsigned kHistoryFolderWeight = 100; // spread over the History folder's items
const unsigned kRecentListKeyWeight = 200; // per MRU key
const unsigned kProtectedStorageWeight = 100;

// The weight one phase call with the current phase number adds.
unsigned PhaseWeight(int phase);
// The string-table text shown when a phase starts; 0 for an unknown phase.
unsigned PhaseTextId(int phase);

// The URL cache as counted before a run.
struct tCacheCounts {
    uint32_t history = 0;
    uint32_t cookies = 0;
    uint32_t others = 0;
    uint64_t cookieBytes = 0;
    uint64_t otherBytes = 0;
};

enum class eCacheKind { History, Cookie, Other };

const uint32_t kCookieEntryType = 0x100000;     // COOKIE_CACHE_ENTRY
const uint32_t kUrlHistoryEntryType = 0x200000; // URLHISTORY_CACHE_ENTRY

eCacheKind ClassifyCacheEntry(uint32_t entryType);
// History entries always stay; cookies and the other entries go by their option.
bool ShouldDeleteCacheEntry(eCacheKind kind, const tCleanOptions& options);
void CountCacheEntry(tCacheCounts& counts, uint32_t entryType, uint64_t size);

// The bar's range: the sum of the weights of the ticked options.
unsigned TotalWeight(const tCleanOptions& options, const tCacheCounts& counts);

// What the n-th of `total` History folder items adds: the items share 100 units exactly.
unsigned HistoryItemShare(unsigned n, unsigned total);

// The MRU keys under HKEY_CURRENT_USER, in the order they are deleted.
const int kRecentListKeyCount = 4;
extern const char* const kRecentListKeys[kRecentListKeyCount];
// Deleted with the form data: a toolbar's search history.
extern const char kSearchHistoryKey[];

// Protected Storage: the passes and the type that holds the browser's AutoComplete items.
enum eProtectedStorageMode : int { kFormDataMode = kPhaseFormData, kPasswordMode = kPhasePasswords };
// The first field of that type's GUID, as "%x" prints it.
extern const char kAutoCompleteTypeText[];

// Whether an item of the given type (the first field of its GUID) and name goes in this mode.
// Only AutoComplete items count, never their "StringIndex" bookkeeping; form data mode keeps
// the items named with a web address (those belong to stored passwords).
bool ShouldDeleteProtectedItem(int mode, uint32_t typeFirstField, const std::wstring& name);
// Whether a Protected Storage item name, cut at ":String", starts with a web address.
bool IsWebAddressItem(const std::wstring& name);
