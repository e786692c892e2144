// Program entry of setup: one instance per program file, the language, COM and the common
// controls, the command line, then the hidden window that runs the setup.
#include <windows.h>
#include <commctrl.h>

#include <ctype.h>

#include <string>

#include "common/module.h"
#include "common/raii.h"
#include "common/registry.h"
#include "common/strings.h"
#include "common/trace.h"
#include "common/xutil.h"
#include "setup/command_line.h"
#include "setup/firewall.h"
#include "setup/language.h"
#include "setup/setup_window.h"

namespace {

// The mutex is named after the program file, so copies in other folders run side by side.
std::string InstanceMutexName()
{
    std::string name = xUtilGetModulePath(nullptr);
    for (char& c : name)
        c = c == '\\' ? '_' : static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return name;
}

// The autorun companion of the installation medium pauses while setup runs.
void PauseAutorun()
{
    static raii::CHandle pause(CreateMutexA(nullptr, FALSE, "VelmoraAutorunPauseMutex"));
    if (HWND autorun = FindWindowA("VelmoraAutorunClass", nullptr))
        PostMessageA(autorun, 32769, 0, 0);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    TraceInit(GetCommandLineA());
    TraceHere("entering\n");
    raii::CHandle mutex(CreateMutexA(nullptr, TRUE, InstanceMutexName().c_str()));
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        setup::CSetupWindow::ActivateRunning();
        return 0;
    }

    setup::tSetupContext context;
    context.instance = instance;
    context.programPath = xUtilGetModulePath(nullptr);
    context.folder = xUtilGetModuleFolder(nullptr);
    context.commandLine = ParseSetupCommandLine(GetCommandLineA());
    context.language = setup::ChooseLanguage(instance, context.commandLine.language);
    setup::UseLanguage(context.language);

    raii::CComInit com;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    CDllBinding richEdit("riched32.dll");
    PauseAutorun();

    DWORD major = 0, minor = 0;
    bool newerControls = xUtilGetComctlVersion(&major, &minor) && (major > 5 || (major == 5 && minor >= 80));
    context.wizard97 = context.commandLine.style >= 0 ? context.commandLine.style != 0 : newerControls;
    SetCurrentDirectoryA(context.folder.c_str());
    setup::CWindowsFirewall firewall;
    context.firewall = &firewall;

    setup::CSetupWindow window(context);
    if (!window.Make()) {
        TraceHere("cannot create the setup window\n");
        return setup::SETUP_EXIT_FAILED;
    }
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return window.ExitCode();
}
