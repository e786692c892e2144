// Program entry of watchpost: one instance per program file; a second start brings the
// running window to the front and ends.
#include <windows.h>
#include <commctrl.h>

#include <ctype.h>

#include <memory>
#include <string>

#include "common/raii.h"
#include "common/trace.h"
#include "monitor/monitor.h"
#include "monitor/monitor_dialog.h"
#include "monitor/res/resource.h"

namespace {

// The mutex is named after the program file, so copies in other folders run side by side.
std::string InstanceMutexName()
{
    char path[MAX_PATH * 2];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string name(path, length < sizeof path ? length : 0);
    for (char& c : name)
        c = c == '\\' ? '_' : static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return name;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    TraceHere("entering\n");
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES | ICC_BAR_CLASSES |
                                                          ICC_LINK_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    TraceInit(GetCommandLineA());

    // Kept open for the life of the process.
    raii::CHandle mutex(CreateMutexA(nullptr, TRUE, InstanceMutexName().c_str()));
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        WaitForSingleObject(mutex.Get(), INFINITE);
        if (HWND running = FindWindowA(CMonitorDialog::kClassName, nullptr))
            PostMessageA(running, WM_COMMAND, ID_TRAY_SHOW, 0);
        ReleaseMutex(mutex.Get());
        return 0;
    }

    std::unique_ptr<CMonitor> monitor(new CMonitor(instance));
    if (mutex)
        ReleaseMutex(mutex.Get());
    monitor->Show();
    monitor.reset();
    return 0;
}
