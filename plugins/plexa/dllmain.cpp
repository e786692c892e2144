// plexa.dll: the powerline status plug-in. It exports all five plug-in functions.
#include <windows.h>

#include "plugins/plexa/plexa_front.h"

#define PLUGIN_EXPORT extern "C" __declspec(dllexport)

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        CPlexaFront::Instance().Attach(instance);
    else if (reason == DLL_PROCESS_DETACH)
        CPlexaFront::Instance().Detach();
    return TRUE;
}

PLUGIN_EXPORT void Init(void)
{
    CPlexaFront::Instance().Init();
}

PLUGIN_EXPORT CState* GetState(HANDLE cancelEvent, HANDLE refreshEvent)
{
    return CPlexaFront::Instance().GetState(cancelEvent, refreshEvent);
}

PLUGIN_EXPORT void Cleanup(void)
{
    CPlexaFront::Instance().Cleanup();
}

PLUGIN_EXPORT const char* GetShareableOptions(void)
{
    return CPlexaFront::Instance().GetShareableOptions();
}

PLUGIN_EXPORT void SetShareableOptions(std::string& options)
{
    CPlexaFront::Instance().SetShareableOptions(options);
}
