// The pure parts of the usage data collector: its time stamps, its record lines and the body
// of its upload request.
#pragma once

#include <stdint.h>

#include <string>

// A UTC time as 100 ns units since 1601 (a Win32 file time).
struct tTimeStamp {
    uint64_t value = 0;
    bool operator<(const tTimeStamp& other) const { return value < other.value; }
    bool operator<=(const tTimeStamp& other) const { return value <= other.value; }
};

struct tCalendar {
    int day, month, year, hour, minute, second;
};

tTimeStamp TimeStampFromCalendar(const tCalendar& c);
tCalendar CalendarFromTimeStamp(const tTimeStamp& t);
tTimeStamp AddSeconds(const tTimeStamp& t, uint64_t seconds);
// "dd.mm.yyyy;hh:mm:ss"
std::string FormatTimeStamp(const tTimeStamp& t);
// Accepts the text form, or free decimal fields; fewer than three fields read give time 0.
tTimeStamp ParseTimeStamp(const std::string& text);
// Unsigned number in decimal or with a "0x" prefix; the default when it is neither.
uint64_t ParseSettingNumber(const std::string& text, uint64_t defaultValue);

struct tUsageRecord {
    tCalendar when;
    std::string localDigest, remoteDigest; // 32 lower-case hex digits each
    std::string osVersion;                 // "5.1.2600"
    std::string language;                  // "English"
    double rate;                           // Mbit/s
    int localKind;                         // 0 HomePlug 1.0, 1 HS
    int remoteHs;                          // 0 or 1
    std::string country;                   // "Germany"
};
// One line of condata.csv, CR LF included. Fields that come from the system are stripped of
// ";" and line breaks so that no value can break the record format.
std::string FormatUsageRecord(const tUsageRecord& record);

extern const char kUploadBoundary[];
std::string UploadContentType();
std::string UploadBody(const std::string& collector, const std::string& fileName, const std::string& compressed);
