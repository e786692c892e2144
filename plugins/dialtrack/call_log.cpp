#include "plugins/dialtrack/call_log.h"

#include <stdio.h>

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t year, int month, int day)
{
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yoe = year - era * 400;
    const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t days, int& year, int& month, int& day)
{
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t doe = days - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

const int64_t kEpochDays = DaysFromCivil(1601, 1, 1);

int DaysInMonth(int year, int month)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A cursor over one field: reads unsigned numbers and separators, nothing else.
class CScanner {
public:
    CScanner(const std::string& text) : m_text(text) {}

    bool Number(int minDigits, int maxDigits, int64_t& value)
    {
        int digits = 0;
        value = 0;
        while (m_pos < m_text.size() && IsDigit(m_text[m_pos]) && digits < maxDigits) {
            value = value * 10 + (m_text[m_pos++] - '0');
            ++digits;
        }
        return digits >= minDigits && (m_pos >= m_text.size() || !IsDigit(m_text[m_pos]));
    }
    bool Expect(char c)
    {
        if (m_pos >= m_text.size() || m_text[m_pos] != c)
            return false;
        ++m_pos;
        return true;
    }
    bool AtEnd() const { return m_pos == m_text.size(); }

private:
    const std::string& m_text;
    size_t m_pos = 0;
};

bool ParseStart(const std::string& field, tCallTime& time)
{
    CScanner in(field);
    int64_t y, mo, d, h, mi, s;
    if (!(in.Number(1, 5, y) && in.Expect('/') && in.Number(1, 2, mo) && in.Expect('/') &&
          in.Number(1, 2, d) && in.Expect(' ') && in.Number(1, 2, h) && in.Expect(':') &&
          in.Number(1, 2, mi) && in.Expect(':') && in.Number(1, 2, s) && in.AtEnd()))
        return false;
    time.year = static_cast<int>(y);
    time.month = static_cast<int>(mo);
    time.day = static_cast<int>(d);
    time.hour = static_cast<int>(h);
    time.minute = static_cast<int>(mi);
    time.second = static_cast<int>(s);
    return IsValidCallTime(time);
}

bool ParseDuration(const std::string& field, uint32_t& seconds)
{
    CScanner in(field);
    int64_t d, h, m, s;
    if (!(in.Number(1, 5, d) && in.Expect(':') && in.Number(1, 2, h) && in.Expect(':') &&
          in.Number(1, 2, m) && in.Expect(':') && in.Number(1, 2, s) && in.AtEnd()))
        return false;
    if (h >= 24 || m >= 60 || s >= 60)
        return false;
    int64_t total = ((d * 24 + h) * 60 + m) * 60 + s;
    if (total > 0xFFFFFFFFll)
        return false;
    seconds = static_cast<uint32_t>(total);
    return true;
}

bool ParseStrictCount(const std::string& field, uint64_t& value)
{
    if (field.empty() || field.size() > 20)
        return false;
    value = 0;
    for (char c : field) {
        if (!IsDigit(c))
            return false;
        uint64_t digit = static_cast<uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10)
            return false;
        value = value * 10 + digit;
    }
    return true;
}

bool IsUnsafeInName(unsigned char c)
{
    return c < 0x20 || c == 0x7F || c == ';' || c == '[' || c == ']' || c == '=';
}

} // namespace

bool IsValidCallTime(const tCallTime& time)
{
    return time.year >= 1601 && time.year <= 30827 && time.month >= 1 && time.month <= 12 &&
           time.day >= 1 && time.day <= DaysInMonth(time.year, time.month) && time.hour >= 0 &&
           time.hour < 24 && time.minute >= 0 && time.minute < 60 && time.second >= 0 &&
           time.second < 60;
}

int64_t CallTimeToSeconds(const tCallTime& time)
{
    int64_t days = DaysFromCivil(time.year, time.month, time.day) - kEpochDays;
    return ((days * 24 + time.hour) * 60 + time.minute) * 60 + time.second;
}

tCallTime SecondsToCallTime(int64_t seconds)
{
    if (seconds < 0)
        seconds = 0;
    tCallTime time;
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    CivilFromDays(days + kEpochDays, time.year, time.month, time.day);
    time.hour = static_cast<int>(rest / 3600);
    time.minute = static_cast<int>(rest / 60 % 60);
    time.second = static_cast<int>(rest % 60);
    return time;
}

bool CCallRecord::operator==(const CCallRecord& other) const
{
    return m_entryName == other.m_entryName && m_duration == other.m_duration &&
           m_received == other.m_received && m_sent == other.m_sent &&
           StartSeconds() == other.StartSeconds();
}

std::string SanitizeEntryName(const std::string& name)
{
    std::string safe = name;
    for (char& c : safe)
        if (IsUnsafeInName(static_cast<unsigned char>(c)))
            c = '_';
    size_t first = safe.find_first_not_of(' ');
    size_t last = safe.find_last_not_of(' ');
    safe = first == std::string::npos ? std::string() : safe.substr(first, last - first + 1);
    if (safe.size() > kMaxEntryName)
        safe.resize(kMaxEntryName);
    return safe.empty() ? "_" : safe;
}

std::string FormatDurationDhms(uint32_t seconds)
{
    char text[48];
    snprintf(text, sizeof text, "%.2u:%.2u:%.2u:%.2u", seconds / 86400, seconds / 3600 % 24,
             seconds / 60 % 60, seconds % 60);
    return text;
}

std::string FormatHoursMinutes(uint64_t seconds)
{
    char text[48];
    snprintf(text, sizeof text, "%lu:%.2u (h:min)", static_cast<unsigned long>(seconds / 3600),
             static_cast<unsigned>(seconds / 60 % 60));
    return text;
}

std::string FormatHoursMinutesShort(uint64_t seconds)
{
    char text[48];
    snprintf(text, sizeof text, "%luh %.2umin", static_cast<unsigned long>(seconds / 3600),
             static_cast<unsigned>(seconds / 60 % 60));
    return text;
}

std::string FormatCallLine(const CCallRecord& record)
{
    char start[64];
    snprintf(start, sizeof start, "%d/%d/%d %02d:%02d:%02d", record.m_start.year, record.m_start.month,
             record.m_start.day, record.m_start.hour, record.m_start.minute, record.m_start.second);
    return std::string(start) + ";" + record.m_entryName + ";" + FormatDurationDhms(record.m_duration) +
           ";" + std::to_string(record.m_sent) + ";" + std::to_string(record.m_received);
}

bool ParseCallLine(const std::string& line, CCallRecord& record)
{
    if (line.size() > kMaxLogLine)
        return false;
    std::vector<std::string> fields;
    size_t from = 0;
    for (;;) {
        size_t semicolon = line.find(';', from);
        fields.push_back(line.substr(from, semicolon == std::string::npos ? std::string::npos : semicolon - from));
        if (semicolon == std::string::npos || fields.size() > 5)
            break;
        from = semicolon + 1;
    }
    if (fields.size() != 5 || fields[1].empty() || fields[1].size() > kMaxEntryName)
        return false;
    CCallRecord parsed;
    parsed.m_entryName = fields[1];
    if (!ParseStart(fields[0], parsed.m_start) || !ParseDuration(fields[2], parsed.m_duration) ||
        !ParseStrictCount(fields[3], parsed.m_sent) || !ParseStrictCount(fields[4], parsed.m_received))
        return false;
    record = parsed;
    return true;
}

bool IsContinuation(const CCallRecord& last, const CCallRecord& next)
{
    return last.m_entryName == next.m_entryName && last.EndSeconds() >= next.StartSeconds();
}

std::string StatsSectionName(const std::string& entryName, int year, int month)
{
    char suffix[32];
    snprintf(suffix, sizeof suffix, "_%d_%02x", year, static_cast<unsigned>(month));
    return entryName + suffix;
}

bool SplitStatsSectionName(const std::string& section, std::string& entryName, int& year, int& month)
{
    size_t monthSep = section.rfind('_');
    if (monthSep == std::string::npos || monthSep == 0)
        return false;
    size_t yearSep = section.rfind('_', monthSep - 1);
    if (yearSep == std::string::npos || yearSep == 0)
        return false;
    std::string yearText = section.substr(yearSep + 1, monthSep - yearSep - 1);
    std::string monthText = section.substr(monthSep + 1);
    if (yearText.empty() || yearText.size() > 5 || monthText.size() != 2)
        return false;
    int y = 0;
    for (char c : yearText) {
        if (!IsDigit(c))
            return false;
        y = y * 10 + (c - '0');
    }
    int m = 0;
    for (char c : monthText) {
        int digit = IsDigit(c) ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
        if (digit < 0)
            return false;
        m = m * 16 + digit;
    }
    if (m < 1 || m > 12 || y < 1601 || y > 30827)
        return false;
    entryName = section.substr(0, yearSep);
    year = y;
    month = m;
    return true;
}

uint64_t ParseCount(const char* text)
{
    if (!text)
        return 0;
    while (*text == ' ' || *text == '\t')
        ++text;
    uint64_t value = 0;
    for (; IsDigit(*text); ++text) {
        uint64_t digit = static_cast<uint64_t>(*text - '0');
        if (value > (UINT64_MAX - digit) / 10)
            return UINT64_MAX;
        value = value * 10 + digit;
    }
    return value;
}

uint64_t SaturatingAdd(uint64_t a, uint64_t b)
{
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

tLastLine FindLastLine(const std::string& block, bool atFileStart)
{
    tLastLine last;
    size_t end = block.size();
    last.terminated = end >= 2 && block[end - 2] == '\r' && block[end - 1] == '\n';
    if (last.terminated)
        end -= 2;
    // The line starts after the last CR LF that ends at or before `end`.
    size_t start = std::string::npos;
    for (size_t i = end; i >= 2; --i)
        if (block[i - 2] == '\r' && block[i - 1] == '\n') {
            start = i;
            break;
        }
    if (start == std::string::npos) {
        if (!atFileStart)
            return last; // not found: the line may begin before this block
        start = 0;
    }
    last.found = true;
    last.offset = start;
    last.length = end - start;
    return last;
}

std::vector<std::string> SplitLogLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t from = 0;
    while (from < text.size()) {
        size_t end = text.find("\r\n", from);
        size_t next = end == std::string::npos ? text.size() : end + 2;
        lines.push_back(text.substr(from, next - from));
        from = next;
    }
    return lines;
}

std::string StripLineEnd(const std::string& line)
{
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0)
        return line.substr(0, line.size() - 2);
    return line;
}
