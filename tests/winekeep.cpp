// Keeps a Wine prefix's system processes alive for a whole test run. Wine starts its helper
// processes (services, rpcss, explorer) on demand from whichever program needs them first,
// and they inherit that program's output; started from here they inherit /dev/null, so a
// test's output pipe closes when the test ends. Ends when the wineserver is killed.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

int main()
{
    if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        IShellLinkA* link = nullptr;
        if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IShellLinkA, reinterpret_cast<void**>(&link))))
            link->Release();
        CoUninitialize();
    }
    // A window brings up the desktop process when a display is there.
    HWND window = CreateWindowExA(0, "STATIC", "winekeep", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  nullptr, nullptr);
    if (window)
        DestroyWindow(window);
    Sleep(INFINITE);
    return 0;
}
