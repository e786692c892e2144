// Everything the dial-up plug-in asks of the system about dial-up connections, in one table:
// Remote Access Service, the TAPI line functions, the clocks, the system version and, on the
// Windows 9x family, the dial-up adapter's byte counters in the dynamic registry. On Windows the
// table holds the real functions (RAS and TAPI bound late, so the plug-in loads where they are
// missing); tests install a fake dial-up world in its place.
#pragma once

#ifndef TAPI_CURRENT_VERSION
#define TAPI_CURRENT_VERSION 0x00020002
#endif

#include <windows.h>
#include <ras.h>
#include <tapi.h>

struct tDialApi {
    DWORD(WINAPI* RasEnumConnectionsA)(LPRASCONNA entries, LPDWORD bytes, LPDWORD count);
    DWORD(WINAPI* RasGetConnectionStatistics)(HRASCONN connection, RAS_STATS* statistics);
    DWORD(WINAPI* RasHangUpA)(HRASCONN connection);

    LONG(WINAPI* lineInitializeExA)(LPHLINEAPP app, HINSTANCE instance, LINECALLBACK callback,
                                    LPCSTR appName, LPDWORD devices, LPDWORD apiVersion,
                                    LPLINEINITIALIZEEXPARAMS parameters);
    LONG(WINAPI* lineShutdown)(HLINEAPP app);
    LONG(WINAPI* lineNegotiateAPIVersion)(HLINEAPP app, DWORD device, DWORD lowVersion,
                                          DWORD highVersion, LPDWORD version,
                                          LPLINEEXTENSIONID extension);
    LONG(WINAPI* lineGetDevCapsA)(HLINEAPP app, DWORD device, DWORD version, DWORD extVersion,
                                  LPLINEDEVCAPS caps);
    LONG(WINAPI* lineGetMessage)(HLINEAPP app, LPLINEMESSAGE message, DWORD timeout);
    LONG(WINAPI* lineGetNewCalls)(HLINE line, DWORD address, DWORD select, LPLINECALLLIST calls);
    LONG(WINAPI* lineGetCallStatus)(HCALL call, LPLINECALLSTATUS status);
    LONG(WINAPI* lineGetCallInfoA)(HCALL call, LPLINECALLINFO info);
    LONG(WINAPI* lineDeallocateCall)(HCALL call);
    LONG(WINAPI* lineClose)(HLINE line);

    DWORD(WINAPI* GetTickCount)(void);
    void(WINAPI* GetSystemTimeAsFileTime)(LPFILETIME time);
    BOOL(WINAPI* GetVersionExA)(LPOSVERSIONINFOA version);
    // "Dial-Up Adapter\TotalBytesRecvd" and "...\TotalBytesXmit" under HKEY_DYN_DATA
    // "PerfStats\StatData"; false when the key cannot be read.
    bool (*ReadOldRasCounters)(DWORD* received, DWORD* sent);
};

// The table in use; none puts the real one back. Installed before the plug-in starts.
void SetDialApi(const tDialApi* api);
const tDialApi& DialApi();

// What the real table answers for a function its DLL lacks.
const DWORD kRasStatisticsUnavailable = static_cast<DWORD>(E_INVALIDARG);
