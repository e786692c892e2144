#include "plugins/dialtrack/monthly_totals.h"

#include <algorithm>

#include "plugins/dialtrack/call_log.h"

uint64_t tMonthTotals::Volume() const
{
    return SaturatingAdd(sent, received);
}

tMonthTotals SumMonth(const std::vector<tMonthlyEntry>& entries, tMonth month)
{
    tMonthTotals totals;
    for (const tMonthlyEntry& entry : entries)
        if (entry.year == month.year && entry.month == month.month) {
            totals.duration += entry.duration;
            totals.received = SaturatingAdd(totals.received, entry.received);
            totals.sent = SaturatingAdd(totals.sent, entry.sent);
        }
    return totals;
}

std::vector<tMonth> MonthsWithData(const std::vector<tMonthlyEntry>& entries)
{
    std::vector<tMonth> months;
    for (const tMonthlyEntry& entry : entries)
        months.push_back({entry.year, entry.month});
    std::sort(months.begin(), months.end(), [](const tMonth& a, const tMonth& b) { return b < a; });
    months.erase(std::unique(months.begin(), months.end()), months.end());
    return months;
}

std::vector<tMonth> MonthsUpTo(tMonth last, int count)
{
    std::vector<tMonth> months(static_cast<size_t>(std::max(count, 0)));
    tMonth month = last;
    for (size_t i = months.size(); i-- > 0;) {
        months[i] = month;
        if (--month.month == 0) {
            month.month = 12;
            --month.year;
        }
    }
    return months;
}

std::vector<tChartBar> LastTwelveMonths(const std::vector<tMonthlyEntry>& entries, tMonth current)
{
    std::vector<tChartBar> bars;
    for (const tMonth& month : MonthsUpTo(current, 12)) {
        tMonthTotals totals = SumMonth(entries, month);
        bars.push_back({month, totals.sent, totals.received});
    }
    return bars;
}

std::vector<tBarHeights> ScaleBars(const std::vector<tChartBar>& bars, int plotHeight)
{
    uint64_t highest = 0;
    for (const tChartBar& bar : bars)
        highest = std::max(highest, SaturatingAdd(bar.sent, bar.received));
    std::vector<tBarHeights> heights(bars.size());
    if (highest == 0 || plotHeight <= 0)
        return heights;
    for (size_t i = 0; i < bars.size(); ++i) {
        // Doubles: 64-bit counts times a height would overflow integers.
        double scale = static_cast<double>(plotHeight) / static_cast<double>(highest);
        uint64_t total = SaturatingAdd(bars[i].sent, bars[i].received);
        int whole = static_cast<int>(static_cast<double>(total) * scale + 0.5);
        if (total > 0 && whole == 0)
            whole = 1;
        int sent = static_cast<int>(static_cast<double>(bars[i].sent) * scale + 0.5);
        sent = std::min(sent, whole);
        heights[i].sent = sent;
        heights[i].received = whole - sent;
    }
    return heights;
}
