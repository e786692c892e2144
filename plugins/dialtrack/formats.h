// Texts the user reads: numbers, rates, durations, dates, in the formats of the user's locale
// and with the words of the plug-in's string table.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <string>

#include "plugins/dialtrack/call_log.h"
#include "plugins/dialtrack/monthly_totals.h"

// A number written with "." as decimal point, through GetNumberFormatA (user default locale,
// its default number format); the plain text where the locale cannot format it.
std::string LocaleNumber(const std::string& plain);
// Bytes in megabytes: "%.3f" of bytes / 1048576 in the locale's format, a blank, "MB".
std::string MegabyteText(HINSTANCE instance, uint64_t bytes);
// Bytes per second in kilobytes per second: "%.2f", the locale's format, "Kbytes/s".
std::string DataRateText(HINSTANCE instance, uint32_t bytesPerSecond);
// A connection's duration: "0 Days 01:02:03", with "Day" for exactly one day.
std::string ConnectionDurationText(HINSTANCE instance, uint64_t milliseconds);
// A month as the locale writes year and month ("December 2026").
std::string YearMonthText(tMonth month);
// A call's start (UTC) in local time: the short date, a blank, the time without seconds.
std::string LocalStartText(const tCallTime& utc);
// The current month of the local calendar.
tMonth CurrentLocalMonth();
