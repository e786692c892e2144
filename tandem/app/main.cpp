// Program entry of tandem: one instance per program file; a second start brings the running
// window to the front and ends.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <ctype.h>

#include <memory>
#include <string>

#include "common/list.h"
#include "common/options.h"
#include "common/raii.h"
#include "common/trace.h"
#include "tandem/app/cobble_dialog.h"
#include "tandem/app/dialogs.h"

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

bool HasOption(const char* commandLine, const char* name)
{
    tList* options = ParseOptions(commandLine);
    bool found = options && FindOption(options, name) != nullptr;
    if (options)
        ListFree(options);
    return found;
}

// "-ini:PATH" names another settings file (tests and several hosts on one machine).
std::string OptionValue(const char* commandLine, const char* name)
{
    tList* options = ParseOptions(commandLine);
    std::string value;
    if (options) {
        tOption* option = FindOption(options, name);
        if (option && option->value)
            value = option->value;
        ListFree(options);
    }
    return value;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES |
                                                          ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    const char* commandLine = GetCommandLineA();
    TraceInit(commandLine);
    TraceHere("entering\n");
    tCobbleOptions options;
    options.debugFeatures = HasOption(commandLine, "debugfeatures");
    options.settingsPath = OptionValue(commandLine, "ini");

    raii::CWinsockInit winsock;
    if (FAILED(OleInitialize(nullptr)))
        TraceHere("OleInitialize failed: folders cannot be dropped on the tree\n");

    int result = 0;
    {
        raii::CHandle mutex(CreateMutexA(nullptr, FALSE, InstanceMutexName().c_str()));
        if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
            if (HWND running = FindWindowA(CCobbleDialog::kClassName, nullptr)) {
                if (IsIconic(running))
                    ShowWindow(running, SW_RESTORE);
                SetForegroundWindow(running);
            }
            OleUninitialize();
            return 0;
        }

        std::unique_ptr<CCobbleDialog> window(new CCobbleDialog(instance, options));
        if (!window->CreateMain()) {
            TraceHere("the main window cannot be made\n");
            OleUninitialize();
            return 1;
        }
        if (window->Settings().GetInt("skipsplash", 0) == 0)
            ShowSplash(instance);
        window->RunFirstRunWizardIfDue();
        window->ShowMain(show);

        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            if (window->PreTranslate(msg))
                continue;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        result = static_cast<int>(msg.wParam);
    }
    OleUninitialize();
    return result;
}
