// The monthly totals as the overview item and the statistics window use them: one entry per
// section of "stats.log" (entry name and month), summed per month over all entry names.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct tMonthlyEntry {
    std::string entryName;
    uint32_t duration = 0; // seconds
    uint64_t received = 0;
    uint64_t sent = 0;
    int month = 1; // 1-12
    int year = 0;
};

struct tMonth {
    int year = 0;
    int month = 1;
    bool operator==(const tMonth& other) const { return year == other.year && month == other.month; }
    bool operator<(const tMonth& other) const
    {
        return year != other.year ? year < other.year : month < other.month;
    }
};

struct tMonthTotals {
    uint64_t duration = 0;
    uint64_t received = 0;
    uint64_t sent = 0;
    uint64_t Volume() const;
};

tMonthTotals SumMonth(const std::vector<tMonthlyEntry>& entries, tMonth month);
// Every month that has an entry, newest first.
std::vector<tMonth> MonthsWithData(const std::vector<tMonthlyEntry>& entries);
// The month `count` - 1 months before `last` up to `last`, oldest first.
std::vector<tMonth> MonthsUpTo(tMonth last, int count);

// One bar of the chart of the last twelve months: sent and received stacked.
struct tChartBar {
    tMonth month;
    uint64_t sent = 0;
    uint64_t received = 0;
};
std::vector<tChartBar> LastTwelveMonths(const std::vector<tMonthlyEntry>& entries, tMonth current);

// Heights in pixels of the two parts of a bar, the highest bar filling `plotHeight`. A bar with
// any data is at least one pixel high, so a small month never looks like an empty one.
struct tBarHeights {
    int sent = 0;
    int received = 0;
};
std::vector<tBarHeights> ScaleBars(const std::vector<tChartBar>& bars, int plotHeight);
