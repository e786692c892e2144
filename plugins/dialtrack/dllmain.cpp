// dialtrack.dll: the dial-up status plug-in. It exports GetState and Cleanup only.
#include <windows.h>

#include "plugins/dialtrack/dialtrack_plugin.h"

#define PLUGIN_EXPORT extern "C" __declspec(dllexport)

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH)
        DialtrackAttach(instance);
    else if (reason == DLL_PROCESS_DETACH)
        DialtrackDetach(reserved != nullptr);
    return TRUE;
}

PLUGIN_EXPORT CState* GetState(HANDLE cancelEvent, HANDLE refreshEvent)
{
    return DialtrackGetState(cancelEvent, refreshEvent);
}

PLUGIN_EXPORT void Cleanup(void)
{
    DialtrackCleanup();
}
