// The options property sheet: General (shared options) and Connections (usage data).
#pragma once

#include <windows.h>

#include "common/parseini.h"
#include "monitor/monitor_interfaces.h"

// Registry home of the usage data switch the powerline plug-in reads.
extern const char kPlexaRegistryKey[];

void ShowOptionsSheet(HWND owner, HINSTANCE instance, const utilcpp::CParseini& settings,
                      IMonitor* monitor);
