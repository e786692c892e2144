// The options property sheet: General (shared options, device notices) and Connections (usage
// data). The pages only move values between their controls and tMonitorOptions; the window
// reads the settings into it before the sheet opens (LoadMonitorOptions) and stores them after
// the sheet has ended with OK (StoreMonitorOptions).
#pragma once

#include <windows.h>

#include "common/parseini.h"
#include "monitor/monitor_interfaces.h"

// Registry home of the usage data switch the powerline plug-in reads.
extern const char kPlexaRegistryKey[];
// Settings key (section "DialogSettings") of the tray notices; off unless it is 1.
extern const char kDeviceNoticesKey[];

struct tMonitorOptions {
    bool sharedOptions = true;      // "SharedOptions" is 1
    bool notices = false;           // a tray notice when a device appears or disappears
    bool settingsWritable = true;   // the settings file can be written; else its boxes are disabled
    bool collecting = false;        // "CollectingAllowed" exists and is not 0
    bool collectingWritable = false; // its key opens for writing; else its box is disabled
};

tMonitorOptions LoadMonitorOptions(const utilcpp::CParseini& settings, IMonitor* monitor);
// Writes what the user could change: nothing of a setting whose box was disabled.
void StoreMonitorOptions(const utilcpp::CParseini& settings, const tMonitorOptions& options);
bool DeviceNoticesEnabled(const utilcpp::CParseini& settings);

// Runs the sheet modally; true when it ended with OK, `options` then holds the pages' values.
bool RunOptionsSheet(HWND owner, HINSTANCE instance, tMonitorOptions& options);
