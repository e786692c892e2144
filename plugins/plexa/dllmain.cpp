// plexa.dll: the powerline status plug-in. It exports all five plug-in functions.
#include <windows.h>

#include "monitor/source.win/global/plugin_contract.h"
#include "plugins/plexa/plexa_front.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        CPlexaFront::Instance().Attach(instance);
    else if (reason == DLL_PROCESS_DETACH)
        CPlexaFront::Instance().Detach();
    return TRUE;
}

VELMORA_PLUGIN_EXPORT void Init(void)
{
    CPlexaFront::Instance().Init();
}

VELMORA_PLUGIN_EXPORT CState* GetState(HANDLE cancel, HANDLE refresh)
{
    return CPlexaFront::Instance().GetState(cancel, refresh);
}

VELMORA_PLUGIN_EXPORT void Cleanup(void)
{
    CPlexaFront::Instance().Cleanup();
}

VELMORA_PLUGIN_EXPORT const char* GetShareableOptions(void)
{
    return CPlexaFront::Instance().GetShareableOptions();
}

VELMORA_PLUGIN_EXPORT void SetShareableOptions(std::string& options)
{
    CPlexaFront::Instance().SetShareableOptions(options);
}
