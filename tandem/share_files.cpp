#include "tandem/share_files.h"

#include <windows.h>

#include <string.h>

#include <vector>

#include "common/raii.h"
#include "tandem/protocol.h"

const char kSharesSection[] = "shares";

namespace {

// Unknown shares read as this text, which no folder can be.
const char kNoShare[] = "\\\\";

std::string FullPath(const std::string& path)
{
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        DWORD length = GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (length == 0)
            return std::string();
        if (length < buffer.size())
            return std::string(buffer.data(), length);
        buffer.resize(length + 1);
    }
}

bool SameText(const char* a, int lengthA, const char* b, int lengthB)
{
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a, lengthA, b, lengthB) == CSTR_EQUAL;
}

std::string WithoutTrailingSeparator(std::string path)
{
    if (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path;
}

std::string Trimmed(const std::string& text)
{
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string();
    size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

} // namespace

bool IsInsideFolder(const std::string& folder, const std::string& path)
{
    std::string base = WithoutTrailingSeparator(FullPath(folder));
    std::string full = WithoutTrailingSeparator(FullPath(path));
    if (base.empty() || full.size() < base.size())
        return false;
    if (!SameText(base.data(), static_cast<int>(base.size()), full.data(), static_cast<int>(base.size())))
        return false;
    return full.size() == base.size() || full[base.size()] == '\\';
}

bool MapSharePath(const utilcpp::CParseini& settings, const std::string& sharePath, std::string& local)
{
    local.clear();
    std::string share, rest;
    if (!SplitSharePath(sharePath, share, rest))
        return false;
    std::string folder;
    settings.GetString(kSharesSection, share, folder, kNoShare);
    if (folder == kNoShare || folder.empty())
        return false;
    folder = WithoutTrailingSeparator(folder);
    std::string mapped = folder + rest;
    if (!IsInsideFolder(folder, mapped))
        return false;
    local = mapped;
    return true;
}

std::string ListShares(const utilcpp::CParseini& settings)
{
    std::vector<char> buffer(4096);
    DWORD length;
    for (;;) {
        length = GetPrivateProfileSectionA(kSharesSection, buffer.data(), static_cast<DWORD>(buffer.size()),
                                           settings.GetFileName().c_str());
        if (length < buffer.size() - 2)
            break;
        buffer.resize(buffer.size() * 2);
    }
    std::string listing;
    size_t count = 0;
    for (const char* line = buffer.data(); *line && count < kListingEntryLimit; line += strlen(line) + 1) {
        std::string text(line);
        std::string name = Trimmed(text.substr(0, text.find('=')));
        if (name.empty())
            continue;
        AppendListingEntry(listing, name, true, 0);
        ++count;
    }
    return listing;
}

std::string ListFolder(const std::string& folder, const tCancelFlag& cancel)
{
    std::string pattern = folder;
    if (pattern.empty() || pattern.back() != '\\')
        pattern += '\\';
    pattern += "*.*";
    WIN32_FIND_DATAA found;
    raii::CFindHandle search(FindFirstFileA(pattern.c_str(), &found));
    std::string listing;
    if (!search)
        return listing;
    size_t count = 0;
    do {
        if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0)
            continue;
        bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        uint64_t size = isFolder ? 0 : (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        AppendListingEntry(listing, found.cFileName, isFolder, size);
        ++count;
    } while (count < kListingEntryLimit && !cancel.load() && FindNextFileA(search.Get(), &found));
    return listing;
}

bool IsExistingFile(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsExistingFolder(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateParentFolders(const std::string& filePath)
{
    size_t last = filePath.rfind('\\');
    if (last == std::string::npos || last == 0)
        return true;
    std::string folder = filePath.substr(0, last);
    if (IsExistingFolder(folder))
        return true;
    // Parents first; a drive ("C:") or a server name part needs no creation.
    if (!CreateParentFolders(folder))
        return false;
    return CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS ||
           IsExistingFolder(folder);
}

bool BuildDownloadTarget(const std::string& folder, const std::string& relative, std::string& out)
{
    std::string joined;
    if (!JoinLocalPath(folder, relative, joined) || !IsInsideFolder(folder, joined)) {
        out.clear();
        return false;
    }
    out = joined;
    return true;
}
