// The bar chart of the monthly overview page: the data volume of the last twelve months, sent
// and received stacked, drawn with GDI into an owner-drawn control.
#pragma once

#include <windows.h>

#include <vector>

#include "plugins/dialtrack/monthly_totals.h"

void DrawUsageChart(HDC dc, const RECT& area, HFONT font, HINSTANCE instance, const std::vector<tChartBar>& bars);
