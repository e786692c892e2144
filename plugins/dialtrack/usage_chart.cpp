#include "plugins/dialtrack/usage_chart.h"

#include <stdio.h>

#include <algorithm>
#include <string>

#include "common/raii.h"
#include "common/strings.h"
#include "plugins/dialtrack/call_log.h"
#include "plugins/dialtrack/formats.h"
#include "plugins/dialtrack/res/dialtrack_resource.h"

namespace {

const COLORREF kSentColour = RGB(230, 140, 40);
const COLORREF kReceivedColour = RGB(50, 110, 190);
const COLORREF kAxisColour = RGB(128, 128, 128);

void Fill(HDC dc, const RECT& rect, COLORREF colour)
{
    raii::CGdiObject brush(CreateSolidBrush(colour));
    FillRect(dc, &rect, static_cast<HBRUSH>(brush.Get()));
}

// A short month name ("Jan") in the user's language.
std::string MonthAbbreviation(tMonth month)
{
    SYSTEMTIME time = {};
    time.wYear = static_cast<WORD>(month.year);
    time.wMonth = static_cast<WORD>(month.month);
    time.wDay = 1;
    char text[32] = "";
    if (GetDateFormatA(LOCALE_USER_DEFAULT, 0, &time, "MMM", text, sizeof text) <= 0)
        snprintf(text, sizeof text, "%d", month.month);
    return text;
}

void Legend(HDC dc, int& right, int top, int box, COLORREF colour, const std::string& text)
{
    SIZE size = {};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    right -= size.cx;
    TextOutA(dc, right, top, text.c_str(), static_cast<int>(text.size()));
    right -= box + 4;
    RECT swatch = {right, top + (size.cy - box) / 2, right + box, top + (size.cy - box) / 2 + box};
    Fill(dc, swatch, colour);
    right -= 12;
}

} // namespace

void DrawUsageChart(HDC dc, const RECT& area, HFONT font, HINSTANCE instance, const std::vector<tChartBar>& bars)
{
    int saved = SaveDC(dc);
    Fill(dc, area, GetSysColor(COLOR_WINDOW));
    if (font)
        SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    const int line = metrics.tmHeight;

    // The scale (the highest month) at the top left, the legend at the top right.
    uint64_t highest = 0;
    for (const tChartBar& bar : bars)
        highest = std::max(highest, SaturatingAdd(bar.sent, bar.received));
    std::string scale = MegabyteText(instance, highest);
    TextOutA(dc, area.left + 4, area.top + 2, scale.c_str(), static_cast<int>(scale.size()));
    int right = area.right - 4;
    Legend(dc, right, area.top + 2, line - 4, kReceivedColour, xUtilLoadString(instance, IDS_CHART_RECEIVED));
    Legend(dc, right, area.top + 2, line - 4, kSentColour, xUtilLoadString(instance, IDS_CHART_SENT));

    RECT plot = {area.left + 4, area.top + line + 6, area.right - 4, area.bottom - line - 4};
    if (plot.bottom <= plot.top || bars.empty()) {
        RestoreDC(dc, saved);
        return;
    }
    std::vector<tBarHeights> heights = ScaleBars(bars, plot.bottom - plot.top);
    const int slot = (plot.right - plot.left) / static_cast<int>(bars.size());
    const int width = std::max(2, slot * 3 / 5);
    SetTextAlign(dc, TA_CENTER | TA_TOP);
    for (size_t i = 0; i < bars.size(); ++i) {
        int left = plot.left + static_cast<int>(i) * slot + (slot - width) / 2;
        RECT sent = {left, plot.bottom - heights[i].sent, left + width, plot.bottom};
        RECT received = {left, sent.top - heights[i].received, left + width, sent.top};
        Fill(dc, sent, kSentColour);
        Fill(dc, received, kReceivedColour);
        std::string label = MonthAbbreviation(bars[i].month);
        TextOutA(dc, left + width / 2, plot.bottom + 2, label.c_str(), static_cast<int>(label.size()));
    }
    RECT axis = {plot.left, plot.bottom, plot.right, plot.bottom + 1};
    Fill(dc, axis, kAxisColour);
    RestoreDC(dc, saved);
}
