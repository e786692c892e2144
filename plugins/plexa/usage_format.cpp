#include "plugins/plexa/usage_format.h"

#include <stdio.h>
#include <stdlib.h>

const char kUploadBoundary[] = "--3A425B87406942d0B41409C466E1DE5A";

namespace {

const uint64_t kTicksPerSecond = 10000000ull;

// Days from 1601-01-01 to the given date (proleptic Gregorian calendar).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468 + 134774; // 1970 → 1601 offset
}

void CivilFromDays(int64_t z, int& y, int& m, int& d)
{
    z += 719468 - 134774;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
}

std::string Clean(const std::string& text)
{
    std::string out;
    for (char c : text)
        if (c != ';' && c != '\r' && c != '\n')
            out += c;
    return out;
}

} // namespace

tTimeStamp TimeStampFromCalendar(const tCalendar& c)
{
    int64_t days = DaysFromCivil(c.year, static_cast<unsigned>(c.month), static_cast<unsigned>(c.day));
    int64_t seconds = days * 86400 + c.hour * 3600 + c.minute * 60 + c.second;
    tTimeStamp t;
    t.value = seconds < 0 ? 0 : static_cast<uint64_t>(seconds) * kTicksPerSecond;
    return t;
}

tCalendar CalendarFromTimeStamp(const tTimeStamp& t)
{
    uint64_t seconds = t.value / kTicksPerSecond;
    tCalendar c;
    CivilFromDays(static_cast<int64_t>(seconds / 86400), c.year, c.month, c.day);
    uint64_t rest = seconds % 86400;
    c.hour = static_cast<int>(rest / 3600);
    c.minute = static_cast<int>(rest / 60 % 60);
    c.second = static_cast<int>(rest % 60);
    return c;
}

tTimeStamp AddSeconds(const tTimeStamp& t, uint64_t seconds)
{
    tTimeStamp r;
    r.value = t.value + seconds * kTicksPerSecond;
    return r;
}

std::string FormatTimeStamp(const tTimeStamp& t)
{
    tCalendar c = CalendarFromTimeStamp(t);
    char text[64];
    snprintf(text, sizeof text, "%02d.%02d.%04d;%02d:%02d:%02d", c.day, c.month, c.year, c.hour, c.minute,
             c.second);
    return text;
}

tTimeStamp ParseTimeStamp(const std::string& text)
{
    tCalendar c = {};
    int fields = sscanf(text.c_str(), "%2d.%2d.%4d;%2d:%2d:%2d", &c.day, &c.month, &c.year, &c.hour,
                        &c.minute, &c.second);
    if (fields < 3) {
        c = tCalendar();
        fields = sscanf(text.c_str(), "%d.%d.%d;%d:%d:%d", &c.day, &c.month, &c.year, &c.hour, &c.minute,
                        &c.second);
    }
    if (fields < 3)
        return tTimeStamp();
    // Nonsense fields (month 13, year 0) are no time at all rather than some other time.
    if (c.month < 1 || c.month > 12 || c.day < 1 || c.day > 31 || c.year < 1601 || c.year > 30000 ||
        c.hour < 0 || c.hour > 23 || c.minute < 0 || c.minute > 59 || c.second < 0 || c.second > 60)
        return tTimeStamp();
    return TimeStampFromCalendar(c);
}

uint64_t ParseSettingNumber(const std::string& text, uint64_t defaultValue)
{
    if (text.empty())
        return defaultValue;
    const char* start = text.c_str();
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        start += 2;
        base = 16;
    }
    char* end = nullptr;
    unsigned long long value = strtoull(start, &end, base);
    if (end == start || *end != '\0' || *start == '-' || *start == '+')
        return defaultValue;
    return value;
}

std::string FormatUsageRecord(const tUsageRecord& r)
{
    char head[64];
    snprintf(head, sizeof head, "%02d.%02d.%04d;%02d:%02d:%02d;", r.when.day, r.when.month, r.when.year,
             r.when.hour, r.when.minute, r.when.second);
    char rate[64];
    snprintf(rate, sizeof rate, "%.2f MBit/s", r.rate);
    return std::string(head) + Clean(r.localDigest) + ";" + Clean(r.remoteDigest) + ";" + Clean(r.osVersion) + ";" +
           Clean(r.language) + ";" + rate + ";" + (r.localKind == 1 ? "2" : "1") + ";" +
           (r.remoteHs == 1 ? "2" : "1") + ";" + Clean(r.country) + ";\r\n";
}

std::string UploadContentType()
{
    return std::string("Content-Type: multipart/form-data;") + " boundary=" + kUploadBoundary + "\r\n";
}

std::string UploadBody(const std::string& collector, const std::string& fileName, const std::string& compressed)
{
    const std::string b = kUploadBoundary;
    return "--" + b + "\r\n" + "Content-Disposition: form-data; name=\"Collector\"\r\n\r\n" + collector + "\r\n" +
           "--" + b + "\r\n" + "Content-Disposition: form-data; name=\"Backa\"; filename=\"" + fileName + "\"\r\n" +
           "Content-Type: application/octet-stream\r\n\r\n" + compressed + "\r\n--" + b + "--\r\n";
}
