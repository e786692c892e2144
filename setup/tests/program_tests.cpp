// setup.exe as a program: one instance per program file (a second start brings the first
// one's wizard to the front), exit codes of silent runs, and the plan written to a file.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include "common/raii.h"
#include "setup/command_line.h"
#include "setup/setup_context.h"
#include "setup/tests/setup_test_support.h"
#include "setup/uninstall_entry.h"

using namespace setuptest;
using testsupport::FileExists;

namespace {

const char kScript[] = R"INF([Version]
Signature = "$Windows NT$"
[DestinationDirs]
DefaultDestDir = 32768
[Install]
[Remove]
[Products]
omega = "Omega", Install.Omega, Remove.Omega, 2
[Install.Omega]
CopyFiles = Files.Omega
[Remove.Omega]
DelFiles = Files.Omega
[Files.Omega]
notes.txt
)INF";

class CProgramMedium : public CMedium {
public:
    CProgramMedium() : CMedium({"omega"})
    {
        WriteScript(kScript);
        WriteFile("notes.txt", "notes");
        CopyProgram("setup.exe", "setup.exe");
    }
    std::string Program() const { return Folder() + "\\setup.exe"; }
};

raii::CHandle Start(const std::string& program, const std::string& arguments)
{
    std::string line = "\"" + program + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return raii::CHandle();
    CloseHandle(process.hThread);
    return raii::CHandle(process.hProcess);
}

DWORD ExitCodeWithin(HANDLE process, DWORD milliseconds)
{
    if (WaitForSingleObject(process, milliseconds) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process, &code);
    return code;
}

// The wizard of a process: a visible top-level window with a current page.
HWND WizardOf(DWORD processId, DWORD milliseconds)
{
    struct tSearch {
        DWORD processId;
        HWND found;
    } search = {processId, nullptr};
    for (DWORD waited = 0; waited < milliseconds && !search.found; waited += 100) {
        EnumWindows(
            [](HWND window, LPARAM data) -> BOOL {
                tSearch* search = reinterpret_cast<tSearch*>(data);
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                if (owner == search->processId && IsWindowVisible(window) &&
                    SendMessageA(window, PSM_GETCURRENTPAGEHWND, 0, 0)) {
                    search->found = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        if (!search.found)
            Sleep(100);
    }
    return search.found;
}

} // namespace

TEST(SetupProgram, ASecondStartBringsTheFirstToTheFront)
{
    CProgramMedium medium;
    raii::CHandle first = Start(medium.Program(), "/debug:0");
    ASSERT_TRUE(first);
    HWND wizard = WizardOf(GetProcessId(first.Get()), 20000);
    ASSERT_NE(nullptr, wizard) << "the first setup shows its wizard";
    ShowWindow(wizard, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(wizard));

    raii::CHandle second = Start(medium.Program(), "/debug:0 /quiet");
    ASSERT_TRUE(second);
    EXPECT_EQ(0u, ExitCodeWithin(second.Get(), 20000)) << "the second one ends at once";
    EXPECT_FALSE(IsIconic(wizard)) << "and the first one's wizard is back";
    EXPECT_EQ(STILL_ACTIVE, ExitCodeWithin(first.Get(), 0)) << "the first one goes on";

    PostMessageA(wizard, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    EXPECT_EQ(static_cast<DWORD>(setup::SETUP_EXIT_CANCELLED), ExitCodeWithin(first.Get(), 20000));
    setup::tUninstallEntry entry;
    EXPECT_FALSE(setup::ReadUninstallEntry("omega", entry));
}

TEST(SetupProgram, SilentRunsSayHowTheyEndedInTheirExitCode)
{
    CProgramMedium medium;
    raii::CHandle run = Start(medium.Program(), medium.Expand("/debug:0 /silent:@TARGET@ /install:omega"));
    ASSERT_TRUE(run);
    EXPECT_EQ(static_cast<DWORD>(setup::SETUP_EXIT_SUCCESS), ExitCodeWithin(run.Get(), 30000));
    EXPECT_TRUE(FileExists(medium.Target() + "\\notes.txt"));
    setup::tUninstallEntry entry;
    ASSERT_TRUE(setup::ReadUninstallEntry("omega", entry));
    EXPECT_EQ(medium.Program() + " /remove:omega", entry.uninstallString);

    // The registered command removes it again.
    raii::CHandle removal = Start(medium.Program(), "/debug:0 /silent /remove:omega");
    EXPECT_EQ(static_cast<DWORD>(setup::SETUP_EXIT_SUCCESS), ExitCodeWithin(removal.Get(), 30000));
    EXPECT_FALSE(FileExists(medium.Target() + "\\notes.txt"));
    EXPECT_FALSE(setup::ReadUninstallEntry("omega", entry));

    // A broken script ends a silent run without a window.
    medium.WriteFile("setup.inf", "[Version\r\n");
    raii::CHandle broken = Start(medium.Program(), "/debug:0 /silent /install:omega");
    EXPECT_EQ(static_cast<DWORD>(setup::SETUP_EXIT_FAILED), ExitCodeWithin(broken.Get(), 30000));
}

TEST(SetupProgram, ThePlanGoesToAFileAndNothingChanges)
{
    CProgramMedium medium;
    std::string plan = medium.Target() + "\\plan with blanks.txt";
    raii::CHandle run = Start(medium.Program(), "/debug:0 /plan:\"" + plan + "\" /install:omega");
    ASSERT_TRUE(run);
    EXPECT_EQ(0u, ExitCodeWithin(run.Get(), 30000));
    std::string text = testsupport::ReadFileText(plan);
    EXPECT_EQ(0u, text.find("# installation planned from " + medium.Folder() + "\\setup.inf\r\n")) << text;
    EXPECT_NE(std::string::npos, text.find("\r\nproduct\tomega\tOmega\t\t")) << text;
    EXPECT_NE(std::string::npos, text.find("notes.txt\t" + medium.Folder() + "\\notes.txt\tpresent\r\n")) << text;
    setup::tUninstallEntry entry;
    EXPECT_FALSE(setup::ReadUninstallEntry("omega", entry));
}
