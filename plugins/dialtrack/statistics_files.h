// "connection.csv" and "stats.log" in the folder of the monitor's program. The plug-in's worker
// thread writes a call when a connection ends, and the statistics window reads and deletes on
// its own thread: one lock keeps them apart, and every change that rewrites the log goes
// through a temporary file, so no line is lost when something fails half way.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "common/raii.h"
#include "plugins/dialtrack/call_log.h"
#include "plugins/dialtrack/monthly_totals.h"

// One call of the log as the statistics window lists it: the record, and the line exactly as
// it stands in the file, by which it is deleted again.
struct tLoggedCall {
    CCallRecord record;
    std::string line;
};

class CStatisticFiles {
public:
    static const char kLogName[];   // "connection.csv"
    static const char kStatsName[]; // "stats.log"
    // The statistics window and deletions read the whole log; a larger one is left alone.
    static constexpr uint64_t kMaxLogBytes = 32ull * 1024 * 1024;
    // "stats.log" section names are read up to this many bytes.
    static constexpr uint32_t kMaxSectionList = 1024 * 1024;

    explicit CStatisticFiles(const std::string& folder);

    std::string GetLogPath() const { return m_folder + "\\" + kLogName; }
    std::string GetStatsPath() const { return m_folder + "\\" + kStatsName; }
    bool StatsExistAndNotEmpty() const;

    // Logs a finished call and adds it to its month's totals. When the log's last line is the
    // same call seen before (same name, not ended before this one started), that line is
    // replaced and its totals taken off first, so the call counts once. The record's entry
    // name must already be sanitized. False when the log could not be opened (nothing changed).
    bool WriteCall(const CCallRecord& record);

    std::vector<tMonthlyEntry> LoadMonthlyEntries() const;
    // Every line of the log that parses, in file order; false when the log cannot be read.
    bool ReadCalls(std::vector<tLoggedCall>& calls) const;
    // Removes one line per given line text (as ReadCalls gave it); lines that are gone already
    // are skipped. False when the log could not be rewritten (it is then unchanged).
    bool DeleteCalls(const std::vector<std::string>& lines);
    // Cuts both files to nothing.
    bool DeleteAll();

private:
    void AddToMonth(const CCallRecord& record, bool subtract);
    bool ReadWholeLog(std::string& text) const;

    std::string m_folder;
    mutable raii::CCriticalSection m_lock;
};
