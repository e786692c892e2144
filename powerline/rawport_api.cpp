#include "powerline/rawport_api.h"

#include <mutex>

#include "common/module.h"

namespace {

const tRawportApi* g_override;

template <class T>
bool Bind(HMODULE module, T& function, const char* name)
{
    function = reinterpret_cast<T>(GetProcAddress(module, name));
    return function != nullptr;
}

HMODULE LoadRawportModule()
{
    std::string beside = xUtilPathBesideModule(xUtilModuleOfAddress(reinterpret_cast<const void*>(&RawportApi)),
                                               "rawport.dll");
    HMODULE module = beside.empty() ? nullptr : LoadLibraryA(beside.c_str());
    return module ? module : LoadLibraryA("rawport.dll");
}

const tRawportApi* LoadRawport()
{
    static tRawportApi api;
    static bool loaded = false;
    static std::once_flag once;
    std::call_once(once, [] {
        HMODULE module = LoadRawportModule();
        if (!module)
            return;
        auto ordinal = [](int n) { return reinterpret_cast<const char*>(static_cast<uintptr_t>(n)); };
        loaded = Bind(module, api.OpenAdapter, "W32N_OpenAdapterA") &&
                 Bind(module, api.CloseAdapter, "W32N_CloseAdapter") &&
                 Bind(module, api.MakeNdisRequest, "W32N_MakeNdisRequest") &&
                 Bind(module, api.SetBPFProgram, "W32N_SetBPFProgram") &&
                 Bind(module, api.PacketRead, "W32N_PacketRead") &&
                 Bind(module, api.CancelPacketRead, "W32N_CancelPacketRead") &&
                 Bind(module, api.PacketSend, "W32N_PacketSend") &&
                 Bind(module, api.GetLastError, "W32N_GetLastError") &&
                 Bind(module, api.OpenList, ordinal(RAWPORT_ORD_OPEN_LIST)) &&
                 Bind(module, api.CloseList, ordinal(RAWPORT_ORD_CLOSE_LIST)) &&
                 Bind(module, api.FirstEntry, ordinal(RAWPORT_ORD_FIRST_ENTRY)) &&
                 Bind(module, api.NextEntry, ordinal(RAWPORT_ORD_NEXT_ENTRY)) &&
                 Bind(module, api.ReleaseEntry, ordinal(RAWPORT_ORD_RELEASE_ENTRY)) &&
                 Bind(module, api.EntryName, ordinal(RAWPORT_ORD_ENTRY_NAME));
        // The module stays loaded for the life of the process: its threads may still run.
    });
    return loaded ? &api : nullptr;
}

} // namespace

const tRawportApi* RawportApi()
{
    return g_override ? g_override : LoadRawport();
}

void SetRawportApi(const tRawportApi* api)
{
    g_override = api;
}
