#include "plugins/dialtrack/formats.h"

#include <stdio.h>

#include "common/strings.h"
#include "common/trace.h"
#include "plugins/dialtrack/res/dialtrack_resource.h"

std::string LocaleNumber(const std::string& plain)
{
    char text[32];
    if (GetNumberFormatA(LOCALE_USER_DEFAULT, LOCALE_NOUSEROVERRIDE, plain.c_str(), nullptr, text, sizeof text) > 0)
        return text;
    return plain;
}

std::string MegabyteText(HINSTANCE instance, uint64_t bytes)
{
    char plain[64];
    snprintf(plain, sizeof plain, "%.3f", static_cast<double>(bytes) / 1048576.0);
    return LocaleNumber(plain) + " " + xUtilLoadString(instance, IDS_MB);
}

std::string DataRateText(HINSTANCE instance, uint32_t bytesPerSecond)
{
    double kilobytes = bytesPerSecond / 1024.0;
    if (kilobytes >= 1000)
        TraceVerbose("This is a little bit too much: %f\n", kilobytes);
    char plain[64];
    snprintf(plain, sizeof plain, "%.2f", kilobytes);
    return LocaleNumber(plain) + " " + xUtilLoadString(instance, IDS_KBYTES_PER_SECOND);
}

std::string ConnectionDurationText(HINSTANCE instance, uint64_t milliseconds)
{
    uint64_t seconds = milliseconds / 1000;
    unsigned s = static_cast<unsigned>(seconds % 60);
    unsigned m = static_cast<unsigned>(seconds / 60 % 60);
    unsigned h = static_cast<unsigned>(milliseconds / 3600000 % 24);
    unsigned long days = static_cast<unsigned long>(milliseconds / 3600000 / 24);
    std::string unit = xUtilLoadString(instance, days == 1 ? IDS_DAY : IDS_DAYS);
    char text[128];
    snprintf(text, sizeof text, "%lu %s %.2u:%.2u:%.2u", days, unit.c_str(), h, m, s);
    return text;
}

std::string YearMonthText(tMonth month)
{
    SYSTEMTIME time = {};
    time.wYear = static_cast<WORD>(month.year);
    time.wMonth = static_cast<WORD>(month.month);
    time.wDay = 1;
    char text[128];
    if (GetDateFormatA(LOCALE_USER_DEFAULT, DATE_YEARMONTH, &time, nullptr, text, sizeof text) > 0)
        return text;
    snprintf(text, sizeof text, "%d-%02d", month.year, month.month);
    return text;
}

std::string LocalStartText(const tCallTime& utc)
{
    SYSTEMTIME universal = {};
    universal.wYear = static_cast<WORD>(utc.year);
    universal.wMonth = static_cast<WORD>(utc.month);
    universal.wDay = static_cast<WORD>(utc.day);
    universal.wHour = static_cast<WORD>(utc.hour);
    universal.wMinute = static_cast<WORD>(utc.minute);
    universal.wSecond = static_cast<WORD>(utc.second);
    SYSTEMTIME local = universal;
    SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local);
    char date[64] = "";
    char time[64] = "";
    GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, sizeof date);
    GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &local, nullptr, time, sizeof time);
    return std::string(date) + " " + time;
}

tMonth CurrentLocalMonth()
{
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth};
}
