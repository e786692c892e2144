// The contract between the monitor and its status plug-ins, beside the status tree they share:
// the exports a plug-in DLL offers, the names the monitor binds them by, and the window
// messages by which other programs (the powerline wizard) control the running monitor.
//
// A plug-in defines the exports it offers with VELMORA_PLUGIN_EXPORT and the signatures
// declared here; a definition that differs from its declaration does not compile, so the
// monitor's loader and every plug-in agree on what crosses the module boundary.
#pragma once

#include <windows.h>

#include <string>
#include <type_traits>

#include "monitor/source.win/global/status.h"

#define VELMORA_PLUGIN_EXPORT extern "C" __declspec(dllexport)

extern "C" {
typedef void (*tPluginInit)(void);
typedef CState* (*tPluginGetState)(HANDLE cancel, HANDLE refresh);
typedef void (*tPluginCleanup)(void);
typedef const char* (*tPluginGetShareableOptions)(void);
typedef void (*tPluginSetShareableOptions)(std::string& options);

// Once, on the plug-in's worker thread, before the first GetState. Optional.
void Init(void);
// In a loop on the worker thread: blocks until there is something to report, the refresh event
// is set or the cancel event is set; returns the plug-in's one tree, or none. Required.
CState* GetState(HANDLE cancel, HANDLE refresh);
// Once, on the worker thread, after the loop. Optional.
void Cleanup(void);
// On the monitor's shared-options thread: text owned by the plug-in, valid until the next call.
// Only together with SetShareableOptions.
const char* GetShareableOptions(void);
// On the shared-options thread: options from a peer, owned by the monitor during the call.
void SetShareableOptions(std::string& options);
}

static_assert(std::is_same<decltype(&Init), tPluginInit>::value, "Init");
static_assert(std::is_same<decltype(&GetState), tPluginGetState>::value, "GetState");
static_assert(std::is_same<decltype(&Cleanup), tPluginCleanup>::value, "Cleanup");
static_assert(std::is_same<decltype(&GetShareableOptions), tPluginGetShareableOptions>::value, "GetShareableOptions");
static_assert(std::is_same<decltype(&SetShareableOptions), tPluginSetShareableOptions>::value, "SetShareableOptions");

// The names the exports are looked up by.
const char kPluginInit[] = "Init";
const char kPluginGetState[] = "GetState";
const char kPluginCleanup[] = "Cleanup";
const char kPluginGetShareableOptions[] = "GetShareableOptions";
const char kPluginSetShareableOptions[] = "SetShareableOptions";

// The monitor's main window, found by its class.
const char kMonitorWindowClass[] = "VelmoraMonitorClass";
// WM_COPYDATA to that window: dwData is one of these kinds, lpData the plug-in's DLL file name
// (for example "plexa.dll") as zero-terminated text.
const ULONG_PTR kCopyDataStopPlugin = 1;
const ULONG_PTR kCopyDataStartPlugin = 2;
// WM_CLOSE with this first parameter ends the monitor (0 only hides its window).
const WPARAM kCloseEndsMonitor = 1;
// The powerline plug-in, which the wizard stops and starts again by name.
const char kPowerlinePluginName[] = "plexa.dll";
