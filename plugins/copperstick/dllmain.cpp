// copperstick.dll: the ADSL USB modem status plug-in. It exports GetState only.
#include <windows.h>

#include "monitor/source.win/global/plugin_contract.h"
#include "plugins/copperstick/copperstick.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        CopperstickAttach(instance);
    else if (reason == DLL_PROCESS_DETACH)
        CopperstickDetach();
    return TRUE;
}

VELMORA_PLUGIN_EXPORT CState* GetState(HANDLE cancel, HANDLE refresh)
{
    return CopperstickGetState(cancel, refresh);
}
