// The two statistics files of the dial-up plug-in, as text: the call log "connection.csv"
// (one call a line, fields separated by ";", no quoting) and the section names of the monthly
// totals "stats.log". Nothing here touches the system, so the formats are tested and fuzzed on
// their own; reading and writing the files is statistics_files.*.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

// A moment in UTC, to the second (the fields of a SYSTEMTIME that the log keeps).
struct tCallTime {
    int year = 1601;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

bool IsValidCallTime(const tCallTime& time);
// Whole seconds since 1601-01-01 00:00:00 UTC, the epoch of FILETIME.
int64_t CallTimeToSeconds(const tCallTime& time);
tCallTime SecondsToCallTime(int64_t seconds);

// One line of the call log.
class CCallRecord {
public:
    std::string m_entryName;
    uint32_t m_duration = 0; // seconds
    uint64_t m_received = 0;
    uint64_t m_sent = 0;
    tCallTime m_start; // UTC

    int64_t StartSeconds() const { return CallTimeToSeconds(m_start); }
    int64_t EndSeconds() const { return StartSeconds() + m_duration; }
    bool operator==(const CCallRecord& other) const;
};

// RAS entry names are at most 256 characters; the log reads no more back.
const size_t kMaxEntryName = 256;
// A log line longer than this cannot have been written by the plug-in: it counts as a line that
// does not parse, and the search for the last line stops there.
const size_t kMaxLogLine = 1024;

// The name under which a call is stored. The log has no quoting and a section name of the
// totals ends at "]" and cannot hold "=": every character that would break either file
// (";", "[", "]", "=", control characters) becomes "_", blanks at either end go (the section
// functions drop them), the length is cut to kMaxEntryName, and a name left empty reads "_".
std::string SanitizeEntryName(const std::string& name);

// "year/month/day hh:mm:ss;entry;dd:hh:mm:ss;sent;received", without the line end.
std::string FormatCallLine(const CCallRecord& record);
// The reverse; false for anything the plug-in would not have written.
bool ParseCallLine(const std::string& line, CCallRecord& record);
// Whether `next` continues the call logged as `last`: the same entry name, and the logged call
// had not ended before the new one started.
bool IsContinuation(const CCallRecord& last, const CCallRecord& next);

// A duration as days:hours:minutes:seconds, each at least two digits.
std::string FormatDurationDhms(uint32_t seconds);
// Seconds as "%d:%.2d (h:min)" and as "%dh %.2dmin".
std::string FormatHoursMinutes(uint64_t seconds);
std::string FormatHoursMinutesShort(uint64_t seconds);

// Section of the totals file for one entry name and month: entry "_" year "_" month as two
// lower-case hexadecimal digits (Office, December 2026: Office_2026_0c).
std::string StatsSectionName(const std::string& entryName, int year, int month);
// The reverse, split at the last two "_"; false for sections of any other shape.
bool SplitStatsSectionName(const std::string& section, std::string& entryName, int& year, int& month);

// A decimal count as far as its digits go: leading blanks skipped, no digits read as 0, a value
// beyond 64 bits stops at the largest one.
uint64_t ParseCount(const char* text);
uint64_t SaturatingAdd(uint64_t a, uint64_t b);

// Where the last line of a log lies, found in a block read from the file's end.
struct tLastLine {
    bool found = false;     // false: the block holds no line start; read a bigger one
    size_t offset = 0;      // in the block
    size_t length = 0;      // without the line end
    bool terminated = true; // the file ends with CR LF after it
};
// `block` is the tail of the file; `atFileStart` tells whether it begins at the file's start.
// The last line is the text after the last CR LF that precedes the final one; a file that does
// not end with CR LF has its unterminated text as last line.
tLastLine FindLastLine(const std::string& block, bool atFileStart);

// A text split at CR LF: every line with its end as it stands, so joining them gives the text
// back byte for byte (the last piece has no line end when the text does not end with one).
std::vector<std::string> SplitLogLines(const std::string& text);
// A split line without its CR LF.
std::string StripLineEnd(const std::string& line);
