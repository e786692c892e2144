// The setup wizard driven through its pages under a virtual display: an interactive
// installation (both wizard styles), unattended runs, a plug-in's page in place of the
// welcome page, a failure on the work page, a removal and a wizard in Spanish.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <atomic>

#include "common/strings.h"
#include "common/thread.h"
#include "common/ui/message_box.h"
#include "setup/language.h"
#include "setup/res/resource.h"
#include "setup/setup_run.h"
#include "setup/tests/setup_test_support.h"
#include "setup/tests/test_plugin_resource.h"
#include "setup/tests/wizard_driver.h"
#include "setup/uninstall_entry.h"

using namespace setuptest;
using testsupport::FileExists;

namespace {


const char kScript[] = R"INF([Version]
Signature = "$Windows NT$"
[DestinationDirs]
DefaultDestDir = 32768
Files.Alpha = 32768, alpha
Files.Beta = 32768, beta
[Install]
License = license.txt
ProductVer = alpha, 1.2.3
FinishAction = Finish.Tool, "%32768%\alpha\tool.exe"
[Remove]
[Finish.Tool]
Default = 1
[Products]
alpha = "Alpha program", Install.Alpha, Remove.Alpha, 2
beta = "Beta program", Install.Beta, Remove.Beta, 2
[Install.Alpha]
CopyFiles = Files.Alpha
[Install.Beta]
CopyFiles = Files.Beta
[Remove.Alpha]
DelFiles = Files.Alpha
[Remove.Beta]
DelFiles = Files.Beta
[Files.Alpha]
tool.exe
[Files.Beta]
notes.txt
)INF";

class CWizardMedium : public CMedium {
public:
    explicit CWizardMedium(const std::string& extra = "") : CMedium({"alpha", "beta"})
    {
        WriteScript(kScript + extra);
        CopyProgram("xutil_child.exe", "tool.exe");
        WriteFile("notes.txt", "notes");
        WriteFile("license.txt", "You may use this test program as you like.");
    }
};

// One run of the setup program in this process, as the program makes it.
int RunSetup(setup::tSetupContext& context, const CMedium& medium, const std::string& commandLine,
             setup::IFirewall& firewall)
{
    FillContext(context, medium, medium.Expand(commandLine).c_str(), firewall);
    context.language = setup::ChooseLanguage(context.instance, context.commandLine.language);
    setup::UseLanguage(context.language);
    context.wizard97 = context.commandLine.style != 0;
    setup::CSetupRun run(context);
    run.isAdministrator = [] { return true; };
    int result = run.Run();
    xUtilSetResourceLanguage(0);
    return result;
}

// The wizard of the thread: its top-level dialog that has a current page.
HWND FindSheet(DWORD thread)
{
    HWND found = nullptr;
    EnumThreadWindows(
        thread,
        [](HWND window, LPARAM data) -> BOOL {
            if (IsWindowVisible(window) && SendMessageA(window, PSM_GETCURRENTPAGEHWND, 0, 0)) {
                *reinterpret_cast<HWND*>(data) = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

void Click(ui::CDialogBase& page, int id)
{
    SendMessageA(page.Item(id), BM_CLICK, 0, 0);
}

} // namespace

TEST(SetupWizard, InteractiveInstallationThroughEveryPage)
{
    VELMORA_REQUIRE_DISPLAY();
    for (bool wizard97 : {true, false}) {
        CWizardMedium medium;
        CFakeFirewall firewall;
        CWizardDriver driver;
        std::string headerTitle, phase;
        bool headerShown = false, nextWithoutAccepting = true;
        driver.On(IDD_LICENSE, [&](ui::CDialogBase& page) {
            headerTitle = page.ItemText(IDC_HEADER_TITLE);
            headerShown = IsWindowVisible(page.Item(IDC_HEADER_TITLE)) != FALSE;
            nextWithoutAccepting = IsWindowEnabled(GetDlgItem(GetParent(page.Handle()), 0x3024)) != FALSE;
            Click(page, IDC_LICENSE_ACCEPT);
            CWizardDriver::Advance(page);
        });
        driver.On(IDD_TYPE, [](ui::CDialogBase& page) {
            Click(page, IDC_TYPE_CUSTOM);
            CWizardDriver::Advance(page);
        });
        driver.On(IDD_COMPONENTS, [](ui::CDialogBase& page) {
            HWND list = page.Item(IDC_COMPONENT_LIST);
            EXPECT_EQ(2, ListView_GetItemCount(list));
            ListView_SetCheckState(list, 1, FALSE);
            CWizardDriver::Advance(page);
        });
        std::string target = medium.Target() + "\\chosen";
        driver.On(IDD_DIRECTORY, [&](ui::CDialogBase& page) {
            page.SetItemText(IDC_DIRECTORY_EDIT, target);
            CWizardDriver::Advance(page);
        });
        driver.On(IDD_FINISH, [&](ui::CDialogBase& page) {
            HWND action = page.Item(IDC_FINISH_ACTION_FIRST);
            EXPECT_NE(nullptr, action) << "the finish action's check box";
            char label[128] = "";
            GetWindowTextA(action, label, sizeof label);
            EXPECT_STREQ("Start tool.exe now", label);
            // Ticked by the script; the classic run keeps it, so the program starts.
            if (wizard97)
                SendMessageA(action, BM_SETCHECK, BST_UNCHECKED, 0);
            CWizardDriver::Advance(page);
        });
        setup::tSetupContext context;
        std::string style = wizard97 ? " /style:1" : " /style:0";
        std::string report = medium.Target() + "\\started.txt";
        SetEnvironmentVariableA("VELMORA_CHILD_REPORT", report.c_str());
        EXPECT_EQ(setup::SETUP_EXIT_SUCCESS, RunSetup(context, medium, "setup.exe" + style, firewall));
        SetEnvironmentVariableA("VELMORA_CHILD_REPORT", nullptr);
        for (int turn = 0; turn < 50 && !wizard97 && !FileExists(report); ++turn)
            Sleep(100);
        EXPECT_EQ(!wizard97, FileExists(report)) << "the ticked finish action started the installed program";
        EXPECT_EQ(wizard97 ? std::string() : target + "\\alpha\\tool.exe\n",
                  testsupport::ReadFileText(report));
        EXPECT_EQ((std::vector<UINT>{IDD_WELCOME, IDD_LICENSE, IDD_TYPE, IDD_COMPONENTS, IDD_DIRECTORY, IDD_CARRY_OUT,
                                     IDD_FINISH}),
                  driver.shown)
            << (wizard97 ? "Wizard97" : "classic");
        EXPECT_FALSE(nextWithoutAccepting) << "Next waits for the licence to be accepted";
        EXPECT_EQ("License Agreement", headerTitle);
        EXPECT_EQ(!wizard97, headerShown) << "classic pages show their own header";
        EXPECT_TRUE(FileExists(target + "\\alpha\\tool.exe"));
        EXPECT_FALSE(FileExists(target + "\\beta")) << "beta was not ticked";
        setup::tUninstallEntry entry;
        EXPECT_TRUE(setup::ReadUninstallEntry("alpha", entry));
        EXPECT_EQ(target, entry.userTargetDir);
        EXPECT_FALSE(setup::ReadUninstallEntry("beta", entry));
        EXPECT_EQ(!wizard97, context.finishActions.at(0).ticked);
    }
}

TEST(SetupWizard, QuietRunAdvancesByItselfAndTheDefaultSkipsTheChoices)
{
    VELMORA_REQUIRE_DISPLAY();
    CWizardMedium medium;
    CFakeFirewall firewall;
    CWizardDriver driver;
    // Only watching: the pages advance by themselves.
    for (UINT id : {IDD_WELCOME, IDD_LICENSE, IDD_TYPE, IDD_FINISH})
        driver.On(id, [](ui::CDialogBase&) {});
    setup::tSetupContext context;
    EXPECT_EQ(setup::SETUP_EXIT_SUCCESS, RunSetup(context, medium, "setup.exe /quiet:@TARGET@", firewall));
    EXPECT_EQ((std::vector<UINT>{IDD_WELCOME, IDD_LICENSE, IDD_TYPE, IDD_COMPONENTS, IDD_DIRECTORY, IDD_CARRY_OUT,
                                 IDD_FINISH}),
              driver.made)
        << "components and directory are made but skipped";
    EXPECT_TRUE(FileExists(medium.Target() + "\\alpha\\tool.exe"));
    EXPECT_TRUE(FileExists(medium.Target() + "\\beta\\notes.txt"));
}

TEST(SetupWizard, APluginPageTakesTheWelcomePagesPlace)
{
    VELMORA_REQUIRE_DISPLAY();
    CWizardMedium medium("[Install.Alpha]\r\nPlugins = setup_test_plugin.dll:copy:@MEDIUM@\\notes.txt|@TARGET@\\n.txt\r\n");
    medium.CopyProgram("setup_test_plugin.dll", "setup_test_plugin.dll");
    // The script above adds a second Install.Alpha; SetupAPI merges sections of one name.
    CFakeFirewall firewall;
    CWizardDriver driver;
    std::atomic<bool> sawPluginPage{false};
    DWORD thread = GetCurrentThreadId();
    CThread presser;
    presser.Start([&](CThread& self) {
        // The plug-in's page does not go on by itself: press Next on it, as a user would.
        for (int turn = 0; turn < 400 && !self.WaitForStop(50); ++turn) {
            HWND sheet = FindSheet(thread);
            HWND page = sheet ? reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)) : nullptr;
            if (page && GetDlgItem(page, IDC_TEST_PLUGIN_TEXT)) {
                sawPluginPage = true;
                PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_NEXT, 0);
                return;
            }
        }
        PostMessageA(FindSheet(thread), PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    });
    setup::tSetupContext context;
    EXPECT_EQ(setup::SETUP_EXIT_REBOOT_PENDING, RunSetup(context, medium, "setup.exe /quiet:@TARGET@ /reboot:0", firewall))
        << "the plug-in's level-2 step asks for a restart";
    presser.Stop();
    EXPECT_TRUE(sawPluginPage);
    ASSERT_FALSE(driver.made.empty());
    EXPECT_EQ(static_cast<UINT>(IDD_LICENSE), driver.made.front()) << "no welcome page";
    EXPECT_TRUE(FileExists(medium.Target() + "\\n.txt")) << "the plug-in's step queued it";
}

TEST(SetupWizard, AFailureIsShownOnTheWorkPage)
{
    VELMORA_REQUIRE_DISPLAY();
    CWizardMedium medium("[Install.Alpha]\r\nPlugins = setup_test_plugin.dll:fail\r\n");
    medium.CopyProgram("setup_test_plugin.dll", "setup_test_plugin.dll");
    CFakeFirewall firewall;
    CWizardDriver driver;
    std::string status;
    driver.On(IDD_CARRY_OUT, [](ui::CDialogBase&) {});
    std::vector<std::string> messages;
    ui::SetMessageHook([&](HWND sheet, const std::string& text, const std::string&, UINT) {
        messages.push_back(text);
        HWND page = reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
        char shown[512] = "";
        GetDlgItemTextA(page, IDC_WORK_STATUS, shown, sizeof shown);
        status = shown;
        return IDOK;
    });
    setup::tSetupContext context;
    int result = RunSetup(context, medium, "setup.exe /quiet:@TARGET@", firewall);
    ui::SetMessageHook(nullptr);
    EXPECT_EQ(setup::SETUP_EXIT_FAILED, result);
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ(0u, messages[0].find("The installation did not complete successfully.\r\n\r\n")) << messages[0];
    EXPECT_EQ(messages[0], status) << "the page says the same";
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), context.workError);
    EXPECT_EQ(0, context.workInProgress);
}

TEST(SetupWizard, RemovalPages)
{
    VELMORA_REQUIRE_DISPLAY();
    CWizardMedium medium;
    CFakeFirewall firewall;
    setup::tSetupContext installation;
    {
        CWizardDriver quiet;
        ASSERT_EQ(setup::SETUP_EXIT_SUCCESS, RunSetup(installation, medium, "setup.exe /quiet:@TARGET@", firewall));
    }
    CWizardDriver driver;
    std::string welcome;
    driver.onShown = [&](ui::CDialogBase& page) {
        if (page.TemplateId() == IDD_WELCOME)
            welcome = page.ItemText(IDC_PAGE_TITLE);
    };
    setup::tSetupContext context;
    EXPECT_EQ(setup::SETUP_EXIT_SUCCESS, RunSetup(context, medium, "setup.exe /remove:alpha,beta", firewall));
    EXPECT_EQ((std::vector<UINT>{IDD_WELCOME, IDD_REMOVAL, IDD_REMOVAL_FINISH}), driver.shown);
    EXPECT_EQ("Welcome to the Brindle Removal Wizard", welcome);
    EXPECT_FALSE(FileExists(medium.Target() + "\\alpha"));
    setup::tUninstallEntry entry;
    EXPECT_FALSE(setup::ReadUninstallEntry("alpha", entry));
}

TEST(SetupWizard, SpeaksTheChosenLanguage)
{
    VELMORA_REQUIRE_DISPLAY();
    CWizardMedium medium;
    CFakeFirewall firewall;
    CWizardDriver driver;
    std::string title;
    driver.On(IDD_WELCOME, [&](ui::CDialogBase& page) {
        title = page.ItemText(IDC_PAGE_TITLE);
        PostMessageA(GetParent(page.Handle()), PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    });
    setup::tSetupContext context;
    EXPECT_EQ(setup::SETUP_EXIT_CANCELLED, RunSetup(context, medium, "setup.exe /lang:ger", firewall));
    EXPECT_EQ(1031, context.language);
    EXPECT_EQ("Willkommen beim Brindle-Setup-Assistenten", title);
}
