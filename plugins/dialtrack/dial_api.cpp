#include "plugins/dialtrack/dial_api.h"

#include <vector>

#include "common/module.h"
#include "common/registry.h"

namespace {

// The real services, bound once on first use and kept until the plug-in is unloaded.
struct tRealBinding {
    CDllBinding ras;
    CDllBinding tapi;
    tDialApi api = {};
};

// Stand-ins for functions the system lacks: each answers as the service would when it has
// nothing to offer.
DWORD WINAPI NoEnum(LPRASCONNA, LPDWORD, LPDWORD count)
{
    if (count)
        *count = 0;
    return ERROR_CALL_NOT_IMPLEMENTED;
}
DWORD WINAPI NoStatistics(HRASCONN, RAS_STATS*)
{
    return kRasStatisticsUnavailable;
}
DWORD WINAPI NoHangUp(HRASCONN)
{
    return ERROR_CALL_NOT_IMPLEMENTED;
}
LONG WINAPI NoInitialize(LPHLINEAPP, HINSTANCE, LINECALLBACK, LPCSTR, LPDWORD, LPDWORD, LPLINEINITIALIZEEXPARAMS)
{
    return LINEERR_OPERATIONUNAVAIL;
}
LONG WINAPI NoShutdown(HLINEAPP)
{
    return LINEERR_OPERATIONUNAVAIL;
}
LONG WINAPI NoNegotiate(HLINEAPP, DWORD, DWORD, DWORD, LPDWORD, LPLINEEXTENSIONID)
{
    return LINEERR_OPERATIONUNAVAIL;
}
LONG WINAPI NoDevCaps(HLINEAPP, DWORD, DWORD, DWORD, LPLINEDEVCAPS)
{
    return LINEERR_OPERATIONUNAVAIL;
}
LONG WINAPI NoMessage(HLINEAPP, LPLINEMESSAGE, DWORD)
{
    return LINEERR_OPERATIONUNAVAIL;
}
LONG WINAPI NoNewCalls(HLINE, DWORD, DWORD, LPLINECALLLIST)
{
    return LINEERR_OPERATIONUNAVAIL;
}
LONG WINAPI NoCallStatus(HCALL, LPLINECALLSTATUS)
{
    return LINEERR_OPERATIONUNAVAIL;
}
LONG WINAPI NoCallInfo(HCALL, LPLINECALLINFO)
{
    return LINEERR_OPERATIONUNAVAIL;
}
LONG WINAPI NoCallHandle(HCALL)
{
    return LINEERR_OPERATIONUNAVAIL;
}
LONG WINAPI NoLineHandle(HLINE)
{
    return LINEERR_OPERATIONUNAVAIL;
}

bool RealReadOldRasCounters(DWORD* received, DWORD* sent)
{
    CRegistryKey key;
    if (!key.Open(HKEY_DYN_DATA, "PerfStats\\StatData"))
        return false;
    // The 9x family keeps these as 4-byte binary values; accept a DWORD as well.
    auto read = [&key](const char* name, DWORD* out) {
        std::vector<BYTE> data;
        if (key.GetBinary(name, data) && data.size() >= sizeof(DWORD)) {
            *out = static_cast<DWORD>(data[0]) | static_cast<DWORD>(data[1]) << 8 |
                   static_cast<DWORD>(data[2]) << 16 | static_cast<DWORD>(data[3]) << 24;
            return true;
        }
        return key.GetDword(name, *out);
    };
    DWORD r = 0, s = 0;
    if (!read("Dial-Up Adapter\\TotalBytesRecvd", &r) || !read("Dial-Up Adapter\\TotalBytesXmit", &s))
        return false;
    *received = r;
    *sent = s;
    return true;
}

template <class F>
void BindOr(const CDllBinding& dll, F& function, const char* name, F fallback)
{
    if (!dll.Bind(function, name))
        function = fallback;
}

tRealBinding& Real()
{
    // Only the plug-in's worker thread reaches the services, so binding needs no lock.
    static tRealBinding binding;
    static bool bound = false;
    if (!bound) {
        bound = true;
        binding.ras.Load("rasapi32.dll");
        binding.tapi.Load("tapi32.dll");
        tDialApi& api = binding.api;
        BindOr(binding.ras, api.RasEnumConnectionsA, "RasEnumConnectionsA", NoEnum);
        BindOr(binding.ras, api.RasGetConnectionStatistics, "RasGetConnectionStatistics", NoStatistics);
        BindOr(binding.ras, api.RasHangUpA, "RasHangUpA", NoHangUp);
        BindOr(binding.tapi, api.lineInitializeExA, "lineInitializeExA", NoInitialize);
        BindOr(binding.tapi, api.lineShutdown, "lineShutdown", NoShutdown);
        BindOr(binding.tapi, api.lineNegotiateAPIVersion, "lineNegotiateAPIVersion", NoNegotiate);
        BindOr(binding.tapi, api.lineGetDevCapsA, "lineGetDevCapsA", NoDevCaps);
        BindOr(binding.tapi, api.lineGetMessage, "lineGetMessage", NoMessage);
        BindOr(binding.tapi, api.lineGetNewCalls, "lineGetNewCalls", NoNewCalls);
        BindOr(binding.tapi, api.lineGetCallStatus, "lineGetCallStatus", NoCallStatus);
        BindOr(binding.tapi, api.lineGetCallInfoA, "lineGetCallInfoA", NoCallInfo);
        BindOr(binding.tapi, api.lineDeallocateCall, "lineDeallocateCall", NoCallHandle);
        BindOr(binding.tapi, api.lineClose, "lineClose", NoLineHandle);
        api.GetTickCount = ::GetTickCount;
        api.GetSystemTimeAsFileTime = ::GetSystemTimeAsFileTime;
        api.GetVersionExA = ::GetVersionExA;
        api.ReadOldRasCounters = RealReadOldRasCounters;
    }
    return binding;
}

const tDialApi* g_installed = nullptr;

} // namespace

void SetDialApi(const tDialApi* api)
{
    g_installed = api;
}

const tDialApi& DialApi()
{
    return g_installed ? *g_installed : Real().api;
}
