#include "tidemark/rules.h"

#include <stdio.h>

#include "tidemark/res/resource.h"

const char* const kRecentListKeys[kRecentListKeyCount] = {
    "Software\\Microsoft\\Internet Explorer\\TypedURLs",
    "Software\\Microsoft\\MediaPlayer\\Player\\RecentFileList",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Doc Find Spec MRU",
};

const char kSearchHistoryKey[] = "Software\\Google\\NavClient\\1.1\\History";

const char kAutoCompleteTypeText[] = "e161255a";

unsigned PhaseWeight(int phase)
{
    switch (phase) {
    case kPhaseHistory:
        return kHistoryStoreWeight;
    case kPhaseRecentLists:
        return kRecentListKeyWeight;
    case kPhaseFormData:
    case kPhasePasswords:
        return kProtectedStorageWeight;
    default:
        return 0;
    }
}

unsigned PhaseTextId(int phase)
{
    switch (phase) {
    case kPhaseHistory:
        return IDS_DELETING_HISTORY;
    case kPhaseRecentLists:
        return IDS_DELETING_LISTS;
    case kPhaseFormData:
        return IDS_DELETING_FORM_DATA;
    case kPhasePasswords:
        return IDS_DELETING_PASSWORDS;
    default:
        return 0;
    }
}

eCacheKind ClassifyCacheEntry(uint32_t entryType)
{
    if (entryType & kUrlHistoryEntryType)
        return eCacheKind::History;
    if (entryType & kCookieEntryType)
        return eCacheKind::Cookie;
    return eCacheKind::Other;
}

bool ShouldDeleteCacheEntry(eCacheKind kind, const tCleanOptions& options)
{
    switch (kind) {
    case eCacheKind::Cookie:
        return options.cookies;
    case eCacheKind::Other:
        return options.tempFiles;
    case eCacheKind::History:
    default:
        return false;
    }
}

void CountCacheEntry(tCacheCounts& counts, uint32_t entryType, uint64_t size)
{
    switch (ClassifyCacheEntry(entryType)) {
    case eCacheKind::History:
        ++counts.history;
        break;
    case eCacheKind::Cookie:
        ++counts.cookies;
        counts.cookieBytes += size;
        break;
    case eCacheKind::Other:
        ++counts.others;
        counts.otherBytes += size;
        break;
    }
}

unsigned TotalWeight(const tCleanOptions& options, const tCacheCounts& counts)
{
    unsigned total = 0;
    if (options.tempFiles)
        total += counts.others;
    if (options.cookies)
        total += counts.cookies;
    if (options.history)
        total += kHistoryStoreWeight + kHistoryFolderWeight;
    if (options.recentLists)
        total += kRecentListKeyCount * kRecentListKeyWeight;
    if (options.formData)
        total += kProtectedStorageWeight;
    if (options.passwords)
        total += kProtectedStorageWeight;
    return total;
}

unsigned HistoryItemShare(unsigned n, unsigned total)
{
    // Items beyond the count made at the start (the folder grew meanwhile) add nothing, so
    // the pass never adds more than its 100 units.
    if (total == 0 || n == 0 || n > total)
        return 0;
    unsigned long long weight = kHistoryFolderWeight;
    return static_cast<unsigned>(weight * n / total - weight * (n - 1) / total);
}

namespace {

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix)
{
    size_t i = 0;
    for (; prefix[i]; ++i) {
        if (i >= text.size())
            return false;
        wchar_t a = text[i], b = prefix[i];
        if (a >= L'A' && a <= L'Z')
            a = static_cast<wchar_t>(a - L'A' + L'a');
        if (a != b)
            return false;
    }
    return true;
}

} // namespace

bool IsWebAddressItem(const std::wstring& name)
{
    std::wstring cut = name.substr(0, name.find(L":String"));
    // The scheme is compared without regard to case: "HTTP://" is as much an address.
    return StartsWithNoCase(cut, L"http:/") || StartsWithNoCase(cut, L"https:/");
}

bool ShouldDeleteProtectedItem(int mode, uint32_t typeFirstField, const std::wstring& name)
{
    char typeText[16];
    snprintf(typeText, sizeof typeText, "%x", static_cast<unsigned>(typeFirstField));
    if (std::string(typeText) != kAutoCompleteTypeText)
        return false;
    if (name.find(L"StringIndex") != std::wstring::npos)
        return false;
    if (mode == kPasswordMode)
        return true;
    if (mode == kFormDataMode)
        return !IsWebAddressItem(name);
    return false;
}
