#include "plugins/dialtrack/tests/fake_dialup.h"

#include <stddef.h>
#include <string.h>

#include <algorithm>

#include "plugins/dialtrack/call_log.h"
#include "plugins/dialtrack/ras_layout.h"

namespace {

CFakeDialup* g_world = nullptr;
const HLINEAPP kApp = 0x51;

tRasEntryForm Form()
{
    return g_world->major < 5 ? RAS_ENTRY_OLD : g_world->major == 5 && g_world->minor == 0 ? RAS_ENTRY_W2K : RAS_ENTRY_LATER;
}

DWORD WINAPI FakeEnum(LPRASCONNA entries, LPDWORD bytes, LPDWORD count)
{
    DWORD entrySize = 0;
    memcpy(&entrySize, entries, sizeof entrySize);
    g_world->enumEntrySizes.push_back(entrySize);
    g_world->enumBufferSizes.push_back(*bytes);
    if (g_world->enumFailures > 0) {
        --g_world->enumFailures;
        return g_world->enumError;
    }
    tRasEntryLayout layout = RasEntryLayout(Form(), g_world->handleSize);
    if (entrySize != layout.stride)
        return g_world->major < 5 ? 610 : 632;
    DWORD needed = static_cast<DWORD>(layout.stride * g_world->connections.size());
    if (*bytes < needed) {
        *bytes = needed;
        *count = 0;
        return 603;
    }
    BYTE* base = reinterpret_cast<BYTE*>(entries);
    memset(base, 0, needed);
    for (size_t i = 0; i < g_world->connections.size(); ++i) {
        const tFakeConnection& c = g_world->connections[i];
        BYTE* entry = base + i * layout.stride;
        DWORD size = static_cast<DWORD>(layout.stride);
        memcpy(entry, &size, sizeof size);
        uint64_t handle = reinterpret_cast<uintptr_t>(c.handle);
        memcpy(entry + layout.handleOffset, &handle, layout.handleSize);
        strncpy(reinterpret_cast<char*>(entry + layout.entryNameOffset), c.entryName.c_str(), kRasMaxEntryName);
        strncpy(reinterpret_cast<char*>(entry + layout.deviceTypeOffset), c.deviceType.c_str(), kRasMaxDeviceType);
        strncpy(reinterpret_cast<char*>(entry + layout.deviceNameOffset), c.deviceName.c_str(), kRasMaxDeviceName);
    }
    *bytes = needed;
    *count = static_cast<DWORD>(g_world->connections.size());
    return 0;
}

DWORD WINAPI FakeStatistics(HRASCONN handle, RAS_STATS* statistics)
{
    ++g_world->statisticsCalls;
    if (g_world->major < 5)
        return static_cast<DWORD>(E_NOTIMPL);
    if (statistics->dwSize != 60)
        return ERROR_INVALID_PARAMETER;
    tFakeConnection* c = g_world->Find(handle);
    if (!c || c->statisticsFail)
        return ERROR_INVALID_HANDLE;
    statistics->dwBytesRcved = static_cast<DWORD>(c->received);
    statistics->dwBytesXmited = static_cast<DWORD>(c->sent);
    statistics->dwConnectDuration = static_cast<DWORD>(c->connectMs);
    return 0;
}

DWORD WINAPI FakeHangUp(HRASCONN handle)
{
    g_world->hangUps.push_back(handle);
    if (!g_world->Find(handle))
        return ERROR_INVALID_HANDLE;
    g_world->Drop(handle);
    return 0;
}

LONG WINAPI FakeInitialize(LPHLINEAPP app, HINSTANCE, LINECALLBACK, LPCSTR name, LPDWORD devices, LPDWORD,
                           LPLINEINITIALIZEEXPARAMS parameters)
{
    g_world->appName = name ? name : "";
    g_world->initOptions = parameters->dwOptions;
    if (g_world->tapiFails)
        return LINEERR_NODRIVER;
    *app = kApp;
    *devices = static_cast<DWORD>(g_world->lines.size());
    parameters->Handles.hEvent = g_world->tapiEvent.Get();
    return 0;
}

LONG WINAPI FakeShutdown(HLINEAPP)
{
    ++g_world->shutdowns;
    return 0;
}

LONG WINAPI FakeNegotiate(HLINEAPP, DWORD device, DWORD low, DWORD high, LPDWORD version, LPLINEEXTENSIONID)
{
    if (device >= g_world->lines.size() || g_world->lines[device].negotiateFails || low > 0x00020002)
        return LINEERR_INCOMPATIBLEAPIVERSION;
    *version = std::min<DWORD>(high, 0x00020002);
    return 0;
}

LONG WINAPI FakeDevCaps(HLINEAPP, DWORD device, DWORD, DWORD, LPLINEDEVCAPS caps)
{
    g_world->capsSizes.push_back(caps->dwTotalSize);
    if (device >= g_world->lines.size() || g_world->lines[device].capsFail)
        return LINEERR_OPERATIONFAILED;
    const std::string& name = g_world->lines[device].name;
    DWORD fixed = sizeof(LINEDEVCAPS);
    DWORD needed = fixed + static_cast<DWORD>(name.size()) + 1;
    caps->dwNeededSize = needed;
    if (caps->dwTotalSize < needed) {
        caps->dwUsedSize = std::min<DWORD>(caps->dwTotalSize, fixed);
        return 0;
    }
    memcpy(reinterpret_cast<BYTE*>(caps) + fixed, name.c_str(), name.size() + 1);
    caps->dwLineNameSize = static_cast<DWORD>(name.size()) + 1;
    caps->dwLineNameOffset = fixed;
    caps->dwUsedSize = needed;
    return 0;
}

LONG WINAPI FakeMessage(HLINEAPP, LPLINEMESSAGE message, DWORD)
{
    if (g_world->messages.empty())
        return LINEERR_OPERATIONFAILED;
    *message = g_world->messages.front();
    g_world->messages.pop_front();
    return 0;
}

LONG WINAPI FakeNewCalls(HLINE, DWORD, DWORD, LPLINECALLLIST)
{
    return LINEERR_INVALLINEHANDLE;
}

LONG WINAPI FakeCallStatus(HCALL, LPLINECALLSTATUS)
{
    return LINEERR_INVALCALLHANDLE;
}

LONG WINAPI FakeCallInfo(HCALL, LPLINECALLINFO)
{
    return LINEERR_INVALCALLHANDLE;
}

LONG WINAPI FakeCallHandle(HCALL)
{
    return 0;
}

LONG WINAPI FakeLineHandle(HLINE)
{
    return 0;
}

DWORD WINAPI FakeTick()
{
    return g_world->tick;
}

void WINAPI FakeTime(LPFILETIME time)
{
    time->dwLowDateTime = static_cast<DWORD>(g_world->systemTime);
    time->dwHighDateTime = static_cast<DWORD>(g_world->systemTime >> 32);
}

BOOL WINAPI FakeVersion(LPOSVERSIONINFOA info)
{
    info->dwMajorVersion = g_world->major;
    info->dwMinorVersion = g_world->minor;
    info->dwPlatformId = g_world->major < 5 ? VER_PLATFORM_WIN32_WINDOWS : VER_PLATFORM_WIN32_NT;
    return TRUE;
}

bool FakeOldRasCounters(DWORD* received, DWORD* sent)
{
    if (!g_world->oldRasKey)
        return false;
    *received = g_world->oldRasReceived;
    *sent = g_world->oldRasSent;
    return true;
}

const tDialApi kFakeApi = {
    FakeEnum,     FakeStatistics, FakeHangUp,     FakeInitialize, FakeShutdown, FakeNegotiate,
    FakeDevCaps,  FakeMessage,    FakeNewCalls,   FakeCallStatus, FakeCallInfo, FakeCallHandle,
    FakeLineHandle, FakeTick,     FakeTime,       FakeVersion,    FakeOldRasCounters,
};

} // namespace

CFakeDialup::CFakeDialup()
{
    SetClock(2026, 10, 14, 9, 0, 0);
    g_world = this;
    SetDialApi(&kFakeApi);
}

CFakeDialup::~CFakeDialup()
{
    SetDialApi(nullptr);
    g_world = nullptr;
}

tFakeConnection& CFakeDialup::Dial(uintptr_t handle, const std::string& entryName, const std::string& deviceName)
{
    tFakeConnection c;
    c.handle = reinterpret_cast<HRASCONN>(handle);
    c.entryName = entryName;
    c.deviceName = deviceName;
    connections.push_back(c);
    return connections.back();
}

tFakeConnection* CFakeDialup::Find(HRASCONN handle)
{
    for (tFakeConnection& c : connections)
        if (c.handle == handle)
            return &c;
    return nullptr;
}

void CFakeDialup::Drop(HRASCONN handle)
{
    connections.erase(std::remove_if(connections.begin(), connections.end(),
                                     [handle](const tFakeConnection& c) { return c.handle == handle; }),
                      connections.end());
}

void CFakeDialup::Advance(uint32_t milliseconds)
{
    tick += milliseconds;
    systemTime += static_cast<uint64_t>(milliseconds) * 10000;
    for (tFakeConnection& c : connections) {
        c.connectMs += milliseconds;
        uint64_t received = static_cast<uint64_t>(c.receiveRate) * milliseconds / 1000;
        uint64_t sent = static_cast<uint64_t>(c.sendRate) * milliseconds / 1000;
        c.received += received;
        c.sent += sent;
        oldRasReceived += static_cast<DWORD>(received);
        oldRasSent += static_cast<DWORD>(sent);
    }
}

void CFakeDialup::SetClock(int year, int month, int day, int hour, int minute, int second)
{
    tCallTime time;
    time.year = year;
    time.month = month;
    time.day = day;
    time.hour = hour;
    time.minute = minute;
    time.second = second;
    systemTime = static_cast<uint64_t>(CallTimeToSeconds(time)) * 10000000;
}
