// What a run with the given options would delete, counted without deleting anything.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tidemark/rules.h"

struct tPreview {
    tCleanOptions options;
    tCacheCounts cache;
    bool historyStoreListed = false;
    unsigned historyStoreEntries = 0;
    bool historyFolderFound = false;
    unsigned historyFolderItems = 0;
    unsigned recentDocuments = 0;
    bool keyPresent[kRecentListKeyCount] = {};
    unsigned keyEntries[kRecentListKeyCount] = {};
    bool protectedStorageListed = false;
    unsigned formDataItems = 0;
    unsigned passwordItems = 0;
};

// Counts what the ticked options cover; the parts of unticked options stay zero.
tPreview CollectPreview(const tCleanOptions& options);

// The preview as rows of (what, how much) texts, from the string table of `instance`.
using tPreviewRows = std::vector<std::pair<std::string, std::string>>;
tPreviewRows FormatPreview(const tPreview& preview, HINSTANCE instance);
