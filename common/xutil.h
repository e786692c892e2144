// System and shell utilities of the utility library: starting programs, finding installed
// products, late deletion, run-once registration, window placement in a settings file,
// centring, version probes, the version language and shortcuts.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <string>

#include "common/osversion.h"

// Wait flags of xUtilStartProgram.
enum {
    XUTIL_WAIT_IDLE = 1, // until the new process waits for input (at most 10 s)
    XUTIL_WAIT_EXIT = 2, // until the new process ends; its exit code is returned
};

// Placement flags: which state keys are written and read.
enum {
    XUTIL_PLACEMENT_MINIMIZED = 1,
    XUTIL_PLACEMENT_MAXIMIZED = 2,
    XUTIL_PLACEMENT_HIDDEN = 4,
    XUTIL_PLACEMENT_TOPMOST = 8,
    XUTIL_PLACEMENT_SHOW = 16, // restore only: show with the plain show command
};

struct tModuleVersion {
    WORD major;
    WORD minor;
    WORD build;
    SYSTEMTIME linkDate; // local time
};

bool xUtilStartProgram(const char* program, const char* arguments, const char* directory,
                       DWORD flags, DWORD* exitCode);
// The command line and working directory xUtilStartProgram uses for a program text.
std::string xUtilBuildCommandLine(const char* program, const char* arguments);
std::string xUtilProgramDirectory(const char* program);
// One argument of a command line, as the C runtime's parser reads it back: unchanged when it
// needs nothing, else in double quotes with its quotes and the backslashes before them escaped.
std::string xUtilQuoteArgument(const std::string& argument);

bool xUtilFindInstalledFile(const char* productKey, const char* fileName, char* out, size_t size);
bool xUtilStartInstalledProgram(const char* productKey, const char* fileName);
bool xUtilGetAppPath(const char* program, char* out, size_t size);
DWORD xUtilGetWindowModuleFileName(HWND window, char* out, DWORD size);
bool xUtilDelayFileDelete(const char* path);
// The 9x way of xUtilDelayFileDelete, against a given wininit.ini.
bool xUtilDelayFileDeleteWininit(const char* path, const char* wininitPath);
bool xUtilRegisterRunOnce(HWND window, const char* arguments);

bool xUtilSaveWindowPlacement(HWND window, const char* iniPath, const char* section,
                              const char* key, DWORD flags);
bool xUtilRestoreWindowPlacement(HWND window, const char* iniPath, const char* section,
                                 const char* key, DWORD flags);
void xUtilCenterWindow(HWND window, HWND other);
void xUtilGetWorkArea(HWND window, RECT* out);

DWORD xUtilGetDllVersion(const char* dllName);
bool xUtilGetComctlVersion(DWORD* major, DWORD* minor);
bool xUtilIsNT51OrLater(void);
bool xUtilGetModuleVersion(HMODULE module, tModuleVersion* out);
// The link time stamp (seconds since 1970 UTC) of a PE image held in memory; false when the
// bytes are no PE image.
bool xUtilReadLinkTimestamp(const void* image, size_t size, DWORD* stamp);

// The running system's version, read once.
const tOSVersion& xUtilGetOSVersion(void);
const char* xUtilGetOSVersionString(void);
int xUtilCompareOSVersion(const char* version, const char* substitute);
bool xUtilMatchOSVersion(const char* expression);

bool xUtilCreateShortcut(const char* linkPath, const char* target, const char* arguments,
                         const char* directory, const char* iconFile, int iconIndex);
bool xUtilCreateInternetShortcut(const char* linkPath, const char* address);
bool SaveShortcut(IPersistFile* object, const char* path, const char* extension);
