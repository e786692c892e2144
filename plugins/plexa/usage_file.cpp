#include "plugins/plexa/usage_file.h"

#include <windows.h>

#include <vector>

#include "common/raii.h"

namespace {

bool Seek(HANDLE file, uint64_t position, DWORD method = FILE_BEGIN)
{
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(position);
    return SetFilePointerEx(file, distance, nullptr, method) != FALSE;
}

bool WriteAll(HANDLE file, const char* data, size_t length)
{
    while (length > 0) {
        DWORD piece = length > 0x10000000 ? 0x10000000 : static_cast<DWORD>(length);
        DWORD written = 0;
        if (!WriteFile(file, data, piece, &written, nullptr) || written == 0)
            return false;
        data += written;
        length -= written;
    }
    return true;
}

bool ReadAll(HANDLE file, char* data, size_t length)
{
    while (length > 0) {
        DWORD read = 0;
        if (!ReadFile(file, data, static_cast<DWORD>(length), &read, nullptr) || read == 0)
            return false;
        data += read;
        length -= read;
    }
    return true;
}

// Keeps the newest whole lines that fit into keep bytes at the start of the file.
bool DropOldest(HANDLE file, uint64_t size, uint64_t keep)
{
    std::vector<char> tail;
    if (keep > 0 && size > 0) {
        // One byte more, to see whether the kept part starts a line.
        uint64_t take = keep + 1 < size ? keep + 1 : size;
        tail.resize(static_cast<size_t>(take));
        if (!Seek(file, size - take) || !ReadAll(file, tail.data(), tail.size()))
            return false;
        size_t start = 0;
        if (take < size || take > keep) {
            // The first byte belongs to an older record unless it ends one.
            size_t end = 0;
            while (end < tail.size() && tail[end] != '\n')
                ++end;
            start = end < tail.size() ? end + 1 : tail.size();
        }
        tail.erase(tail.begin(), tail.begin() + static_cast<std::ptrdiff_t>(start));
    }
    return Seek(file, 0) && WriteAll(file, tail.data(), tail.size()) && SetEndOfFile(file);
}

} // namespace

bool AppendUsageRecord(const std::string& path, const std::string& line, uint64_t cap)
{
    if (line.size() > cap)
        return false;
    raii::CHandle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0)
        return false;
    uint64_t current = static_cast<uint64_t>(size.QuadPart);
    if (current + line.size() > cap) {
        uint64_t room = cap / 4 * 3;
        if (!DropOldest(file.Get(), current, room > line.size() ? room - line.size() : 0))
            return false;
    }
    return Seek(file.Get(), 0, FILE_END) && WriteAll(file.Get(), line.data(), line.size());
}
