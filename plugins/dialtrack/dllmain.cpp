// dialtrack.dll: the dial-up status plug-in. It exports GetState and Cleanup only.
#include <windows.h>

#include "monitor/source.win/global/plugin_contract.h"
#include "plugins/dialtrack/dialtrack_plugin.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH)
        DialtrackAttach(instance);
    else if (reason == DLL_PROCESS_DETACH)
        DialtrackDetach(reserved != nullptr);
    return TRUE;
}

VELMORA_PLUGIN_EXPORT CState* GetState(HANDLE cancelEvent, HANDLE refreshEvent)
{
    return DialtrackGetState(cancelEvent, refreshEvent);
}

VELMORA_PLUGIN_EXPORT void Cleanup(void)
{
    DialtrackCleanup();
}
