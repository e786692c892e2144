// Takes the pictures of the setup wizard shown in docs/: the suite's own script from the
// ready-to-ship folder, driven through every page of an installation (Wizard97), the licence
// page in the classic style, and every page of the removal. Installs into a temporary folder
// and removes again. Usage: setup_screens.exe SHIP_FOLDER OUTPUT_FOLDER
#include <windows.h>
#include <commctrl.h>

#include <stdio.h>

#include <functional>

#include "common/strings.h"
#include "common/tests/test_support.h"
#include "setup/command_line.h"
#include "setup/language.h"
#include "setup/pages.h"
#include "setup/res/resource.h"
#include "setup/setup_run.h"
#include "setup/tests/setup_test_support.h"
#include "setup/tests/wizard_driver.h"

using namespace setuptest;

namespace {

const char* PageName(UINT id)
{
    switch (id) {
    case IDD_WELCOME:
        return "welcome";
    case IDD_LICENSE:
        return "license";
    case IDD_TYPE:
        return "type";
    case IDD_COMPONENTS:
        return "components";
    case IDD_DIRECTORY:
        return "directory";
    case IDD_CARRY_OUT:
        return "carry-out";
    case IDD_FINISH:
        return "finish";
    case IDD_REMOVAL:
        return "removal";
    case IDD_REMOVAL_FINISH:
        return "removal-finish";
    default:
        return "page";
    }
}

// One run of the wizard; the driver made before it answers the pages.
int Run(const std::string& ship, const std::string& commandLine)
{
    CFakeFirewall firewall;
    setup::tSetupContext context;
    context.instance = GetModuleHandleA(nullptr);
    context.folder = ship;
    context.programPath = ship + "\\setup.exe";
    context.commandLine = ParseSetupCommandLine(commandLine.c_str());
    context.language = setup::ChooseLanguage(context.instance, context.commandLine.language);
    setup::UseLanguage(context.language);
    context.wizard97 = context.commandLine.style != 0;
    context.firewall = &firewall;
    setup::CSetupRun run(context);
    return run.Run();
}

// The carry-out page is shown only while the work runs: it is taken when the files are done
// (the first message of the registry phase), before the page moves on.
std::function<void(HWND)> g_onWork;

LRESULT CALLBACK WatchMessages(int code, WPARAM wParam, LPARAM lParam)
{
    const MSG* message = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && message->message == setup::WM_SETUP_PHASE &&
        message->wParam == setup::PHASE_REGISTRY && g_onWork)
        g_onWork(message->hwnd);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: setup_screens SHIP_FOLDER OUTPUT_FOLDER\n");
        return 2;
    }
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    std::string ship = argv[1], out = argv[2];
    testsupport::CTempDir target;
    HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, WatchMessages, nullptr, GetCurrentThreadId());
    int number = 0;
    auto capture = [&](const char* prefix) {
        return [&, prefix](ui::CDialogBase& page) {
            if (page.TemplateId() == IDD_CARRY_OUT || page.TemplateId() == IDD_REMOVAL)
                return;
            HWND sheet = GetParent(page.Handle());
            Sleep(300);
            char name[MAX_PATH];
            snprintf(name, sizeof name, "%s\\%02d-%s-%s.bmp", out.c_str(), ++number, prefix, PageName(page.TemplateId()));
            if (!CaptureWindow(sheet, name))
                fprintf(stderr, "cannot capture %s\n", name);
        };
    };
    auto work = [&](const char* name) {
        return [&, name](HWND page) {
            char file[MAX_PATH];
            snprintf(file, sizeof file, "%s\\%02d-%s.bmp", out.c_str(), ++number, name);
            CaptureWindow(GetParent(page), file);
        };
    };
    {
        CWizardDriver driver;
        driver.onShown = capture("install");
        g_onWork = work("install-carry-out");
        driver.On(IDD_LICENSE, [](ui::CDialogBase& page) {
            SendMessageA(page.Item(IDC_LICENSE_ACCEPT), BM_CLICK, 0, 0);
            CWizardDriver::Advance(page);
        });
        driver.On(IDD_TYPE, [](ui::CDialogBase& page) {
            SendMessageA(page.Item(IDC_TYPE_CUSTOM), BM_CLICK, 0, 0);
            CWizardDriver::Advance(page);
        });
        driver.On(IDD_DIRECTORY, [&](ui::CDialogBase& page) {
            page.SetItemText(IDC_DIRECTORY_EDIT, target.Path() + "\\Brindle");
            CWizardDriver::Advance(page);
        });
        driver.On(IDD_FINISH, [](ui::CDialogBase& page) {
            SendMessageA(page.Item(IDC_FINISH_ACTION_FIRST), BM_SETCHECK, BST_UNCHECKED, 0);
            CWizardDriver::Advance(page);
        });
        printf("installation: %d\n", Run(ship, "setup.exe /style:1 /reboot:0"));
    }
    {
        CWizardDriver driver;
        driver.onShown = capture("classic");
        driver.On(IDD_LICENSE, [](ui::CDialogBase& page) {
            PostMessageA(GetParent(page.Handle()), PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        });
        driver.On(IDD_WELCOME, [](ui::CDialogBase& page) { CWizardDriver::Advance(page); });
        printf("classic: %d\n", Run(ship, "setup.exe /style:0"));
    }
    {
        CWizardDriver driver;
        driver.onShown = capture("remove");
        g_onWork = work("remove-removal");
        printf("removal: %d\n", Run(ship, "setup.exe /style:1 /remove /reboot:0"));
    }
    UnhookWindowsHookEx(hook);
    return 0;
}
