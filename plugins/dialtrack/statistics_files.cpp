#include "plugins/dialtrack/statistics_files.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "common/trace.h"

const char CStatisticFiles::kLogName[] = "connection.csv";
const char CStatisticFiles::kStatsName[] = "stats.log";

namespace {

// The log is read from its end in blocks that double until they hold the last line's start.
const DWORD kFirstTailBlock = 256;

raii::CHandle OpenExclusive(const std::string& path)
{
    return raii::CHandle(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool SeekTo(HANDLE file, uint64_t offset)
{
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, to, nullptr, FILE_BEGIN) != FALSE;
}

bool ReadAt(HANDLE file, uint64_t offset, std::string& out, DWORD size)
{
    out.assign(size, '\0');
    DWORD read = 0;
    if (!SeekTo(file, offset) || !ReadFile(file, &out[0], size, &read, nullptr))
        return false;
    out.resize(read);
    return read == size;
}

bool WriteAll(HANDLE file, const std::string& text)
{
    DWORD written = 0;
    return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

uint64_t FileSize(HANDLE file)
{
    LARGE_INTEGER size = {};
    return GetFileSizeEx(file, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

// Where the last line of the log starts and what it holds; false when it is longer than any
// line the plug-in writes (it then counts as a line that does not parse).
bool ReadLastLine(HANDLE file, uint64_t size, uint64_t& start, std::string& line)
{
    for (uint64_t block = kFirstTailBlock;; block *= 2) {
        uint64_t take = block < size ? block : size;
        std::string tail;
        if (!ReadAt(file, size - take, tail, static_cast<DWORD>(take)))
            return false;
        tLastLine last = FindLastLine(tail, take == size);
        if (last.found) {
            if (last.length > kMaxLogLine)
                return false;
            start = size - take + last.offset;
            line = tail.substr(last.offset, last.length);
            return true;
        }
        if (take == size || block > 2 * (kMaxLogLine + 2))
            return false;
    }
}

std::string ReadKey(const std::string& path, const std::string& section, const char* key)
{
    char value[32];
    GetPrivateProfileStringA(section.c_str(), key, "0", value, sizeof value, path.c_str());
    return value;
}

void WriteKey(const std::string& path, const std::string& section, const char* key, const std::string& value)
{
    WritePrivateProfileStringA(section.c_str(), key, value.c_str(), path.c_str());
}

// The section functions may keep a file in memory; after the file was changed behind their
// back they are told to let it go.
void ForgetProfileCache(const std::string& path)
{
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
}

uint32_t ReadDuration(const std::string& path, const std::string& section)
{
    int value = static_cast<int>(GetPrivateProfileIntA(section.c_str(), "Duration", 0, path.c_str()));
    return value > 0 ? static_cast<uint32_t>(value) : 0;
}

} // namespace

CStatisticFiles::CStatisticFiles(const std::string& folder) : m_folder(folder)
{
}

bool CStatisticFiles::StatsExistAndNotEmpty() const
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExA(GetStatsPath().c_str(), GetFileExInfoStandard, &data))
        return false;
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && (data.nFileSizeLow != 0 || data.nFileSizeHigh != 0);
}

bool CStatisticFiles::WriteCall(const CCallRecord& record)
{
    raii::CLock lock(m_lock);
    ForgetProfileCache(GetStatsPath());
    raii::CHandle log = OpenExclusive(GetLogPath());
    if (!log) {
        TraceVerbose("Creating logfile failed due to: %lu\n", GetLastError());
        return false;
    }
    std::string line = FormatCallLine(record) + "\r\n";
    uint64_t size = FileSize(log.Get());
    bool written;
    if (size == 0) {
        written = SeekTo(log.Get(), 0) && WriteAll(log.Get(), line) && SetEndOfFile(log.Get());
    } else {
        uint64_t start = 0;
        std::string lastText;
        CCallRecord last;
        if (ReadLastLine(log.Get(), size, start, lastText) && ParseCallLine(lastText, last) &&
            IsContinuation(last, record)) {
            // The same call again: it replaces its line, and its old figures leave the totals.
            AddToMonth(last, true);
            written = SeekTo(log.Get(), start) && WriteAll(log.Get(), line) && SetEndOfFile(log.Get());
        } else {
            // A last line without its line end gets one, so the new line stands on its own.
            std::string end;
            DWORD tail = size >= 2 ? 2 : 1;
            bool ends = ReadAt(log.Get(), size - tail, end, tail) && end == "\r\n";
            written = SeekTo(log.Get(), size) && WriteAll(log.Get(), (ends ? "" : "\r\n") + line);
        }
    }
    if (!written)
        TraceVerbose("Writing the logfile failed: %lu\n", GetLastError());
    AddToMonth(record, false);
    return true;
}

void CStatisticFiles::AddToMonth(const CCallRecord& record, bool subtract)
{
    std::string path = GetStatsPath();
    std::string section = StatsSectionName(record.m_entryName, record.m_start.year, record.m_start.month);
    uint64_t received = ParseCount(ReadKey(path, section, "BytesReceived").c_str());
    uint64_t sent = ParseCount(ReadKey(path, section, "BytesSent").c_str());
    uint64_t duration = ReadDuration(path, section);
    if (subtract) {
        received = received > record.m_received ? received - record.m_received : 0;
        sent = sent > record.m_sent ? sent - record.m_sent : 0;
        duration = duration > record.m_duration ? duration - record.m_duration : 0;
    } else {
        received = SaturatingAdd(received, record.m_received);
        sent = SaturatingAdd(sent, record.m_sent);
        duration += record.m_duration;
    }
    if (duration > 0x7FFFFFFF)
        duration = 0x7FFFFFFF; // written with "%d"
    char text[32];
    WriteKey(path, section, "BytesReceived", std::to_string(received));
    WriteKey(path, section, "BytesSent", std::to_string(sent));
    snprintf(text, sizeof text, "%d", static_cast<int>(duration));
    WriteKey(path, section, "Duration", text);
}

std::vector<tMonthlyEntry> CStatisticFiles::LoadMonthlyEntries() const
{
    raii::CLock lock(m_lock);
    std::string path = GetStatsPath();
    std::vector<tMonthlyEntry> entries;
    if (!StatsExistAndNotEmpty())
        return entries;
    ForgetProfileCache(path);
    std::vector<char> names;
    for (DWORD size = 4096;; size *= 2) {
        names.assign(size, '\0');
        DWORD length = GetPrivateProfileSectionNamesA(names.data(), size, path.c_str());
        if (length < size - 2)
            break;
        if (size >= kMaxSectionList)
            break; // what fitted is taken; the rest of a file that large is not believed
    }
    const char* end = names.data() + names.size();
    for (const char* name = names.data(); name < end && *name; name += strnlen(name, end - name) + 1) {
        tMonthlyEntry entry;
        if (!SplitStatsSectionName(name, entry.entryName, entry.year, entry.month))
            continue;
        entry.received = ParseCount(ReadKey(path, name, "BytesReceived").c_str());
        entry.sent = ParseCount(ReadKey(path, name, "BytesSent").c_str());
        entry.duration = ReadDuration(path, name);
        entries.push_back(entry);
    }
    return entries;
}

bool CStatisticFiles::ReadWholeLog(std::string& text) const
{
    text.clear();
    raii::CHandle log(CreateFileA(GetLogPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!log)
        return GetLastError() == ERROR_FILE_NOT_FOUND; // no log yet: no calls
    uint64_t size = FileSize(log.Get());
    if (size > kMaxLogBytes)
        return false;
    return ReadAt(log.Get(), 0, text, static_cast<DWORD>(size));
}

bool CStatisticFiles::ReadCalls(std::vector<tLoggedCall>& calls) const
{
    raii::CLock lock(m_lock);
    calls.clear();
    std::string text;
    if (!ReadWholeLog(text))
        return false;
    for (const std::string& line : SplitLogLines(text)) {
        tLoggedCall call;
        if (ParseCallLine(StripLineEnd(line), call.record)) {
            call.line = line;
            calls.push_back(call);
        }
    }
    return true;
}

bool CStatisticFiles::DeleteCalls(const std::vector<std::string>& lines)
{
    raii::CLock lock(m_lock);
    std::string text;
    if (!ReadWholeLog(text))
        return false;
    std::vector<std::string> kept = SplitLogLines(text);
    bool changed = false;
    for (const std::string& line : lines)
        for (auto it = kept.begin(); it != kept.end(); ++it)
            if (*it == line) {
                kept.erase(it);
                changed = true;
                break;
            }
    if (!changed)
        return true;
    std::string rest;
    for (const std::string& line : kept)
        rest += line;
    char temp[MAX_PATH];
    if (!GetTempFileNameA(m_folder.c_str(), "dtk", 0, temp))
        return false;
    bool ok;
    {
        raii::CHandle file(CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ok = file && WriteAll(file.Get(), rest) && FlushFileBuffers(file.Get());
    }
    ok = ok && MoveFileExA(temp, GetLogPath().c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok)
        DeleteFileA(temp);
    return ok;
}

bool CStatisticFiles::DeleteAll()
{
    raii::CLock lock(m_lock);
    bool ok = true;
    for (const std::string& path : {GetLogPath(), GetStatsPath()}) {
        raii::CHandle file = OpenExclusive(path);
        ok = file && SeekTo(file.Get(), 0) && SetEndOfFile(file.Get()) && ok;
    }
    ForgetProfileCache(GetStatsPath());
    return ok;
}
