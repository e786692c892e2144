#include "tidemark/preview.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <stdio.h>

#include <memory>

#include "common/raii.h"
#include "common/registry.h"
#include "common/strings.h"
#include "tidemark/res/resource.h"
#include "tidemark/system_access.h"
#include "tidemark/url_cache.h"

namespace {

// Stops counting where a store lists more than anyone keeps: the preview must not hang.
const unsigned kMaxCounted = 1000000;

void CountHistoryStore(tPreview& preview)
{
    std::unique_ptr<CUrlHistoryStore> store = SystemAccess().openUrlHistory();
    if (!store || !store->StartEnumeration())
        return;
    preview.historyStoreListed = true;
    std::wstring url;
    while (preview.historyStoreEntries < kMaxCounted && store->Next(url))
        ++preview.historyStoreEntries;
}

void CountHistoryFolder(tPreview& preview)
{
    std::unique_ptr<CHistoryFolder> folder = SystemAccess().openHistoryFolder();
    if (!folder)
        return;
    preview.historyFolderFound = true;
    if (folder->SelectFirstEntry())
        preview.historyFolderItems = folder->CountChildren();
}

void CountRecentDocuments(tPreview& preview)
{
    char folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_RECENT, nullptr, SHGFP_TYPE_CURRENT, folder)))
        return;
    WIN32_FIND_DATAA found;
    raii::CFindHandle find(FindFirstFileA((std::string(folder) + "\\*").c_str(), &found));
    if (!find)
        return;
    do {
        if (!(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN)) &&
            preview.recentDocuments < kMaxCounted)
            ++preview.recentDocuments;
    } while (FindNextFileA(find.Get(), &found));
}

void CountRecentListKeys(tPreview& preview)
{
    for (int i = 0; i < kRecentListKeyCount; ++i) {
        CRegistryKey key;
        if (!key.Open(HKEY_CURRENT_USER, kRecentListKeys[i], KEY_READ))
            continue;
        preview.keyPresent[i] = true;
        std::vector<std::string> names;
        key.EnumValueNames(names);
        preview.keyEntries[i] = static_cast<unsigned>(names.size());
    }
}

void CountProtectedItems(tPreview& preview)
{
    std::unique_ptr<CProtectedStorage> storage = SystemAccess().loadProtectedStorage();
    if (!storage)
        return;
    std::unique_ptr<CProtectedStore> store = storage->CreateStore();
    std::vector<GUID> types;
    if (!store || !store->Types(types))
        return;
    preview.protectedStorageListed = true;
    unsigned formData = 0, all = 0;
    for (const GUID& type : types) {
        std::vector<GUID> subtypes;
        store->Subtypes(type, subtypes);
        for (const GUID& subtype : subtypes) {
            std::vector<std::wstring> items;
            store->Items(type, subtype, items);
            for (const std::wstring& name : items) {
                uint32_t first = static_cast<uint32_t>(type.Data1);
                if (ShouldDeleteProtectedItem(kFormDataMode, first, name))
                    ++formData;
                if (ShouldDeleteProtectedItem(kPasswordMode, first, name))
                    ++all;
            }
        }
    }
    // The password pass takes what the form data pass, when it runs first, left over.
    if (preview.options.formData)
        preview.formDataItems = formData;
    if (preview.options.passwords)
        preview.passwordItems = preview.options.formData ? all - formData : all;
}

std::string Format(HINSTANCE instance, UINT id, unsigned number)
{
    std::string format = xUtilLoadString(instance, id);
    char text[512];
    snprintf(text, sizeof text, format.c_str(), number);
    return text;
}

std::string FormatEntries(HINSTANCE instance, unsigned count, uint64_t bytes)
{
    char size[64] = {};
    StrFormatByteSize64A(static_cast<LONGLONG>(bytes), size, sizeof size);
    std::string format = xUtilLoadString(instance, IDS_PREVIEW_ENTRIES_SIZE);
    char text[512];
    snprintf(text, sizeof text, format.c_str(), count, size);
    return text;
}

} // namespace

tPreview CollectPreview(const tCleanOptions& options)
{
    tPreview preview;
    preview.options = options;
    if (options.cookies || options.tempFiles)
        preview.cache = CountUrlCache();
    if (options.history) {
        raii::CComInit com;
        CountHistoryStore(preview);
        CountHistoryFolder(preview);
    }
    if (options.recentLists) {
        CountRecentDocuments(preview);
        CountRecentListKeys(preview);
    }
    if (options.formData || options.passwords) {
        raii::CComInit com;
        CountProtectedItems(preview);
    }
    return preview;
}

tPreviewRows FormatPreview(const tPreview& preview, HINSTANCE instance)
{
    tPreviewRows rows;
    auto text = [instance](UINT id) { return xUtilLoadString(instance, id); };
    const tCleanOptions& options = preview.options;
    if (options.cookies)
        rows.emplace_back(text(IDS_PREVIEW_COOKIES),
                          FormatEntries(instance, preview.cache.cookies, preview.cache.cookieBytes));
    if (options.tempFiles)
        rows.emplace_back(text(IDS_PREVIEW_TEMPFILES),
                          FormatEntries(instance, preview.cache.others, preview.cache.otherBytes));
    if (options.history) {
        rows.emplace_back(text(IDS_PREVIEW_HISTORY_STORE),
                          preview.historyStoreListed
                              ? Format(instance, IDS_PREVIEW_ITEMS, preview.historyStoreEntries)
                              : text(IDS_PREVIEW_UNAVAILABLE));
        rows.emplace_back(text(IDS_PREVIEW_HISTORY_FOLDER),
                          preview.historyFolderFound
                              ? Format(instance, IDS_PREVIEW_ITEMS, preview.historyFolderItems)
                              : text(IDS_PREVIEW_UNAVAILABLE));
    }
    if (options.recentLists) {
        rows.emplace_back(text(IDS_PREVIEW_RECENT_DOCS),
                          Format(instance, IDS_PREVIEW_ITEMS, preview.recentDocuments));
        for (int i = 0; i < kRecentListKeyCount; ++i)
            rows.emplace_back(text(IDS_PREVIEW_TYPED_URLS + i),
                              preview.keyPresent[i]
                                  ? Format(instance, IDS_PREVIEW_KEY_PRESENT, preview.keyEntries[i])
                                  : text(IDS_PREVIEW_KEY_ABSENT));
    }
    if (options.formData)
        rows.emplace_back(text(IDS_PREVIEW_FORM_DATA),
                          preview.protectedStorageListed
                              ? Format(instance, IDS_PREVIEW_ITEMS, preview.formDataItems)
                              : text(IDS_PREVIEW_UNAVAILABLE));
    if (options.passwords)
        rows.emplace_back(text(IDS_PREVIEW_PASSWORDS),
                          preview.protectedStorageListed
                              ? Format(instance, IDS_PREVIEW_ITEMS, preview.passwordItems)
                              : text(IDS_PREVIEW_UNAVAILABLE));
    if (rows.empty())
        rows.emplace_back(text(IDS_PREVIEW_NOTHING), std::string());
    return rows;
}
