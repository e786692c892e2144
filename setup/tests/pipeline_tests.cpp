// The install and remove pipeline against a real Wine registry, file system, service control
// manager and shell: a whole installation of two products and its removal, the order of the
// work, the script version rule, plug-in steps, and an installation that stops half-way.
#include <gtest/gtest.h>

#include "common/registry.h"
#include "common/strings.h"
#include "setup/file_queue.h"
#include "setup/plan.h"
#include "setup/security.h"
#include "setup/services.h"
#include "setup/setup_run.h"
#include "setup/shortcuts.h"
#include "setup/tests/setup_test_support.h"
#include "setup/uninstall_entry.h"
#include "setup/work.h"

using namespace setuptest;
using testsupport::FileExists;
using testsupport::ReadFileText;

namespace {

const char kTestKey[] = "Software\\VelmoraSetupTests";
const char kService[] = "VelmoraSetupTestSvc";
const HWND kWindow = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));

const char kScript[] = R"INF([Version]
Signature = "$Windows NT$"
Version = 3

[Strings]
Group = "VelmoraSetupTests"

[DestinationDirs]
DefaultDestDir = 32768
Files.Main = 32768, app
Files.Data = 32768, "app\data files"
Files.Script = 32768
Files.Beta = 32768, beta
Files.Runtime = 32768, app

[Install]
ProductVer = alpha, 2.0.1
ProductVer = beta, tool.exe

[Products]
alpha = "Alpha", Install.Alpha, Remove.Alpha, 2
beta = "Beta", Install.Beta, Remove.Beta, 2

[Install.Alpha]
CopyFiles = Files.Main, Files.Data, Files.Script
AddReg = Reg.Alpha
UpdateInis = Ini.Alpha
Ini2Reg = IniReg.Alpha
MakeIcons = Icons.Alpha
MakeFirewallEntries = Fw.Alpha
FileSecurity = FileSec.Alpha
RegSecurity = RegSec.Alpha
Exec = Exec.Alpha

[Install.Alpha.Services]
AddService = VelmoraSetupTestSvc, 0, Svc.Params
StartService = VelmoraSetupTestSvc

[Install.Beta]
CopyFiles = Files.Beta
AddReg = Reg.Beta

[Install.Beta.Services]
AddService = VelmoraSetupTestSvc, 0, Svc.Params
StartService = VelmoraSetupTestSvc

[Remove.Alpha]
DelFiles = Files.Main, Files.Data, Files.Script, Files.Runtime
DelReg = DelReg.Alpha
DelIcons = Icons.Alpha
DelFirewallEntries = Fw.Alpha
DelEmptyKeys = Keys.Shared
Exec = @"@MEDIUM@\dir with blanks\child.exe"

[Remove.Alpha.Services]
StopService = VelmoraSetupTestSvc
DelService = VelmoraSetupTestSvc

[Remove.Beta]
DelFiles = Files.Beta
DelReg = DelReg.Beta
DelEmptyKeys = Keys.Shared

[Remove.Beta.Services]
DelService = VelmoraSetupTestSvc

[Files.Main]
tool.exe,,,2
service.exe,,,2
optional.dll

[Files.Data]
readme.txt

[Files.Script]
setup.inf

[Files.Runtime]
alpha.ini

[Files.Beta]
beta.txt,readme.txt

[Reg.Alpha]
HKCU, "Software\VelmoraSetupTests\Alpha", "Path", 0, "%32768%\app"
HKCU, "Software\VelmoraSetupTests\Alpha", "Count", 0x10001, 5

[Reg.Beta]
HKCU, "Software\VelmoraSetupTests\Beta", "Kind", 0, "second"

[DelReg.Alpha]
HKCU, "Software\VelmoraSetupTests\Alpha"

[DelReg.Beta]
HKCU, "Software\VelmoraSetupTests\Beta"

[Keys.Shared]
HKCU, "Software\VelmoraSetupTests"

[Ini.Alpha]
"%32768%\app\alpha.ini", Main, , "Key=Value"

[IniReg.Alpha]
"@MEDIUM@\source.ini", Settings, , HKCU, "Software\VelmoraSetupTests\Alpha\FromIni"

[Icons.Alpha]
UPRG, "%Group%\Alpha Tool", "%32768%\app\tool.exe", "/start now", "%32768%\app", 0, 0
UPRG, "%Group%\Alpha Web", "http://www.velmora.example/", , , 0, 0
UPRG, "%Group%\Alpha Asked", "%32768%\app\tool.exe", , , 0, 1

[Fw.Alpha]
"Alpha Tool", "%32768%\app\tool.exe"

[FileSec.Alpha]
"%32768%\app", "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;BU)"

[RegSec.Alpha]
HKCU, "Software\VelmoraSetupTests\Alpha", "D:P(A;CI;KA;;;BA)(A;CI;KA;;;SY)(A;CI;KR;;;BU)"

[Exec.Alpha]
first = 1, "@MEDIUM@\dir with blanks\child.exe", """%32768%\exec one.txt"" 0 %hwnd% /w=%hwnd%"
last = 2, "@MEDIUM@\dir with blanks\child.exe", """%32768%\exec two.txt"" 0", "%32768%\app"

[Svc.Params]
DisplayName = "Velmora setup test service"
ServiceType = 0x10
StartType = 3
ErrorControl = 1
ServiceBinary = "%32768%\app\service.exe"
)INF";

// A medium with the script above, the programs it copies and runs, and its INI source.
class CTwoProducts : public CMedium {
public:
    CTwoProducts() : CMedium({"alpha", "beta"})
    {
        WriteScript(kScript);
        CopyProgram("xutil_child.exe", "tool.exe");
        CopyProgram("setup_test_service.exe", "service.exe");
        CopyProgram("xutil_child.exe", "dir with blanks\\child.exe");
        WriteFile("readme.txt", "read me\r\n");
        WriteFile("source.ini", "[Settings]\r\nColour=blue\r\nSize=3\r\n");
        CRegistryKey::DeleteTree(HKEY_CURRENT_USER, kTestKey);
    }
    ~CTwoProducts()
    {
        DWORD error = 0;
        setup::DeleteServices({kService}, error);
        CRegistryKey::DeleteTree(HKEY_CURRENT_USER, kTestKey);
        std::string group = setup::ShellFolderPath("UPRG") + "\\VelmoraSetupTests";
        for (const char* name : {"\\Alpha Tool.lnk", "\\Alpha Web.url", "\\Alpha Asked.lnk"})
            DeleteFileA((group + name).c_str());
        RemoveDirectoryA(group.c_str());
    }
    std::string App(const std::string& name = "") const { return Target() + "\\app" + (name.empty() ? "" : "\\" + name); }
};

bool ServiceExists(const char* name, DWORD* state = nullptr)
{
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceA(manager, name, SERVICE_QUERY_STATUS) : nullptr;
    if (service && state) {
        SERVICE_STATUS status = {};
        QueryServiceStatus(service, &status);
        *state = status.dwCurrentState;
    }
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
    return service != nullptr;
}

} // namespace

TEST(SetupPipeline, InstallsTwoProductsAndRemovesThemWithoutTrace)
{
    CTwoProducts medium;
    CFakeFirewall firewall;
    std::string commandLine = medium.Expand("setup.exe /silent:@TARGET@ /install:alpha,beta");
    setup::tSetupContext context;
    ASSERT_TRUE(PrepareRun(context, medium, commandLine.c_str(), firewall));
    CRecordingSink sink;
    DWORD error = 0;
    ASSERT_TRUE(setup::RunInstallation(context, sink, kWindow, error)) << error;
    EXPECT_EQ(0, context.workInProgress);

    // Work in its order, files counted as they went.
    EXPECT_EQ((std::vector<int>{2, 3, 4, 5, 6, -1}), sink.phases);
    EXPECT_EQ(6u, sink.queued) << "six copies queued, the missing one among them";
    EXPECT_EQ(6u, sink.steps);
    // Files: a missing file that may be skipped is, the others are there.
    EXPECT_TRUE(FileExists(medium.App("tool.exe")));
    EXPECT_TRUE(FileExists(medium.App("data files\\readme.txt")));
    EXPECT_TRUE(FileExists(medium.Target() + "\\setup.inf"));
    EXPECT_TRUE(FileExists(medium.Target() + "\\beta\\beta.txt")) << "copied under another name";
    EXPECT_FALSE(FileExists(medium.App("optional.dll")));
    // Registry, INI and INI to registry.
    std::string alphaKey = std::string(kTestKey) + "\\Alpha";
    EXPECT_EQ(medium.App(), RegString(HKEY_CURRENT_USER, alphaKey, "Path"));
    DWORD count = 0;
    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, alphaKey.c_str()));
    EXPECT_TRUE(key.GetDword("Count", count));
    EXPECT_EQ(5u, count);
    EXPECT_NE(std::string::npos, ReadFileText(medium.App("alpha.ini")).find("Key=Value"));
    EXPECT_EQ("blue", RegString(HKEY_CURRENT_USER, alphaKey + "\\FromIni", "Colour"));
    EXPECT_EQ("3", RegString(HKEY_CURRENT_USER, alphaKey + "\\FromIni", "Size"));
    // Shortcuts, read back; the one that asks was declined.
    std::string group = setup::ShellFolderPath("UPRG") + "\\VelmoraSetupTests";
    tLink link;
    ASSERT_TRUE(ReadLink(group + "\\Alpha Tool.lnk", link));
    EXPECT_EQ(medium.App("tool.exe"), link.target);
    EXPECT_EQ("/start now", link.arguments);
    EXPECT_EQ(medium.App(), link.directory);
    EXPECT_NE(std::string::npos, ReadFileText(group + "\\Alpha Web.url").find("URL=http://www.velmora.example/"));
    EXPECT_TRUE(sink.asked.empty()) << "an unattended run never asks";
    EXPECT_TRUE(FileExists(group + "\\Alpha Asked.lnk")) << "and makes what it would have asked for";
    // Firewall and security.
    EXPECT_EQ(std::vector<std::string>{"Alpha Tool=" + medium.App("tool.exe")}, firewall.authorized);
    std::string keyDacl = KeyDacl(std::string("CURRENT_USER\\") + alphaKey);
    EXPECT_NE(std::string::npos, keyDacl.find("(A;CI;KR;;;BU)")) << keyDacl;
    // Programs: blanks in their paths, the window handle twice, the working folder.
    std::string first = ReadFileText(medium.Target() + "\\exec one.txt");
    EXPECT_NE(std::string::npos, first.find("\"" + medium.Folder() + "\\dir with blanks\\child.exe\"")) << first;
    EXPECT_NE(std::string::npos, first.find("0 0x00001234 /w=0x00001234")) << first;
    std::string last = ReadFileText(medium.Target() + "\\exec two.txt");
    EXPECT_NE(std::string::npos, last.find("\n" + medium.App() + "\n")) << last;
    // The service both products name, once, and running.
    DWORD state = 0;
    EXPECT_TRUE(ServiceExists(kService, &state));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), state);
    // The uninstall registration.
    setup::tUninstallEntry entry;
    ASSERT_TRUE(setup::ReadUninstallEntry("alpha", entry));
    EXPECT_EQ("Alpha", entry.displayName);
    EXPECT_EQ(medium.Target(), entry.userTargetDir);
    EXPECT_EQ("2.0.1", entry.productVersion);
    EXPECT_EQ(medium.Folder() + "\\setup.exe /remove:alpha", entry.uninstallString);
    ASSERT_TRUE(setup::ReadUninstallEntry("beta", entry));
    EXPECT_EQ(setup::FileVersionText(medium.Folder() + "\\tool.exe"), entry.productVersion);

    // The removal, with the folders the uninstall entries name. The "@" program reports to a file.
    std::string report = medium.Target() + "\\report.txt";
    SetEnvironmentVariableA("VELMORA_CHILD_REPORT", report.c_str());
    setup::tSetupContext removal;
    ASSERT_TRUE(PrepareRun(removal, medium, "setup.exe /silent /remove:alpha,beta", firewall));
    EXPECT_EQ(medium.Target(), removal.products[0].targetDir);
    CRecordingSink removed;
    bool removedAll = setup::RunRemoval(removal, removed, kWindow, error);
    SetEnvironmentVariableA("VELMORA_CHILD_REPORT", nullptr);
    ASSERT_TRUE(removedAll) << error;
    EXPECT_EQ(0, removal.rebootNeeded) << "nothing was in use";
    EXPECT_FALSE(FileExists(medium.App())) << "the folders went with their files";
    EXPECT_FALSE(FileExists(medium.Target() + "\\beta"));
    EXPECT_FALSE(FileExists(medium.Target() + "\\setup.inf"));
    EXPECT_TRUE(FileExists(medium.Target())) << "kept: it holds a file that is not the installation's";
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kTestKey)) << "the shared key went with its last product";
    EXPECT_FALSE(FileExists(group)) << "the program group went with its last shortcut";
    EXPECT_TRUE(firewall.authorized.empty());
    EXPECT_FALSE(ServiceExists(kService));
    EXPECT_FALSE(setup::ReadUninstallEntry("alpha", entry));
    EXPECT_FALSE(setup::ReadUninstallEntry("beta", entry));
    EXPECT_NE(std::string::npos, ReadFileText(report).find("dir with blanks\\child.exe\"")) << "the \"@\" program ran";
}

// Wine answers success but keeps no access lists of files; Windows does.
TEST(SetupPipeline, FileSecurityIsApplied)
{
    if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version"))
        GTEST_SKIP() << "Wine does not keep the access lists of files";
    testsupport::CTempDir folder;
    DWORD error = 0;
    ASSERT_TRUE(setup::ApplyFileSecurity({folder.Path(), "D:P(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;BU)"}, error)) << error;
    EXPECT_NE(std::string::npos, FileDacl(folder.Path()).find("(A;OICI;0x1301bf;;;BU)")) << FileDacl(folder.Path());
    EXPECT_FALSE(setup::ApplyFileSecurity({folder.Path(), "D:(no descriptor"}, error));
}

TEST(SetupPipeline, PlanListsEveryChangeAndChangesNothing)
{
    CTwoProducts medium;
    CFakeFirewall firewall;
    std::string commandLine = medium.Expand("setup.exe /plan /silent:@TARGET@ /install:alpha");
    setup::tSetupContext context;
    ASSERT_TRUE(PrepareRun(context, medium, commandLine.c_str(), firewall));
    setup::CSetupRun run(context);
    std::vector<std::string> plan = run.Plan();
    auto has = [&plan](const std::string& line) {
        for (const std::string& entry : plan)
            if (entry == line)
                return true;
        return false;
    };
    EXPECT_TRUE(has("product\talpha\tAlpha\t2.0.1\t" + medium.Target()));
    EXPECT_TRUE(has("file\tcopy\t" + medium.App("tool.exe") + "\t" + medium.Folder() + "\\tool.exe\tpresent"));
    EXPECT_TRUE(has("file\tcopy\t" + medium.App("optional.dll") + "\t" + medium.Folder() + "\\optional.dll\toptional"));
    EXPECT_TRUE(has("registry\tadd\tHKCU\tSoftware\\VelmoraSetupTests\\Alpha\tCount\tREG_DWORD\t5"));
    EXPECT_TRUE(has("ini\t" + medium.App("alpha.ini") + "\tMain\t\tKey=Value"));
    EXPECT_TRUE(has("service\tadd\t" + std::string(kService) + "\t" + medium.App("service.exe") + "\t3"));
    EXPECT_TRUE(has("firewall\tadd\tAlpha Tool\t" + medium.App("tool.exe")));
    EXPECT_TRUE(has("exec\t1\t" + medium.Folder() + "\\dir with blanks\\child.exe\t\"" + medium.Target() +
                    "\\exec one.txt\" 0 %hwnd% /w=%hwnd%\t"));
    EXPECT_TRUE(has("shortcut\tmake\t" + setup::ShellFolderPath("UPRG") + "\\VelmoraSetupTests\\Alpha Asked.lnk\t" +
                    medium.App("tool.exe") + "\t\t\t0\task"));
    EXPECT_TRUE(has("# not chosen: beta"));
    EXPECT_FALSE(FileExists(medium.App()));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kTestKey));
    EXPECT_FALSE(ServiceExists(kService));
    setup::tUninstallEntry entry;
    EXPECT_FALSE(setup::ReadUninstallEntry("alpha", entry));
}

TEST(SetupPipeline, HalfwayFailureLeavesWhatARemovalCleansUp)
{
    CTwoProducts medium;
    // The file security line is broken: the installation stops in the registry phase, after
    // files, registry and firewall entries were made.
    std::string script = kScript;
    std::string bad = "\"%32768%\\app\", \"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;BU)\"";
    script.replace(script.find(bad), bad.size(), "\"%32768%\\app\", \"D:(this is no descriptor\"");
    medium.WriteScript(script);
    CFakeFirewall firewall;
    std::string commandLine = medium.Expand("setup.exe /silent:@TARGET@ /install:alpha,beta");
    setup::tSetupContext context;
    ASSERT_TRUE(PrepareRun(context, medium, commandLine.c_str(), firewall));
    CRecordingSink sink;
    DWORD error = 0;
    EXPECT_FALSE(setup::RunInstallation(context, sink, kWindow, error));
    EXPECT_NE(0u, error);
    EXPECT_EQ((std::vector<int>{2, 3, 4}), sink.phases) << "nothing after the registry phase";
    EXPECT_EQ(0, context.workInProgress);
    EXPECT_TRUE(FileExists(medium.App("tool.exe")));
    EXPECT_FALSE(ServiceExists(kService)) << "services come after the registry phase";
    setup::tUninstallEntry entry;
    ASSERT_TRUE(setup::ReadUninstallEntry("alpha", entry)) << "listed, so that it can be removed";

    setup::tSetupContext removal;
    ASSERT_TRUE(PrepareRun(removal, medium, "setup.exe /silent /remove:alpha,beta", firewall));
    CRecordingSink removed;
    ASSERT_TRUE(setup::RunRemoval(removal, removed, kWindow, error)) << "missing pieces are no obstacle";
    EXPECT_FALSE(FileExists(medium.App()));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kTestKey));
    EXPECT_TRUE(firewall.authorized.empty());
    EXPECT_FALSE(setup::ReadUninstallEntry("alpha", entry));

    // And the next attempt, with the script mended, goes through.
    medium.WriteScript(kScript);
    setup::tSetupContext again;
    ASSERT_TRUE(PrepareRun(again, medium, commandLine.c_str(), firewall));
    CRecordingSink sinkAgain;
    EXPECT_TRUE(setup::RunInstallation(again, sinkAgain, kWindow, error)) << error;
    setup::tSetupContext last;
    ASSERT_TRUE(PrepareRun(last, medium, "setup.exe /silent /remove:alpha,beta", firewall));
    EXPECT_TRUE(setup::RunRemoval(last, removed, kWindow, error));
}

TEST(SetupPipeline, AMissingRequiredFileStopsTheInstallation)
{
    CTwoProducts medium;
    DeleteFileA((medium.Folder() + "\\service.exe").c_str());
    CFakeFirewall firewall;
    std::string commandLine = medium.Expand("setup.exe /silent:@TARGET@ /install:alpha");
    setup::tSetupContext context;
    ASSERT_TRUE(PrepareRun(context, medium, commandLine.c_str(), firewall));
    CRecordingSink sink;
    DWORD error = 0;
    EXPECT_FALSE(setup::RunInstallation(context, sink, kWindow, error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), error);
    EXPECT_EQ((std::vector<int>{2, 3}), sink.phases);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, std::string(kTestKey) + "\\Alpha"));
}

TEST(SetupPipeline, AnInstalledScriptOfAHigherVersionStays)
{
    CMedium medium;
    medium.WriteScript(R"INF([Version]
Signature = "$Windows NT$"
Version = 3
[DestinationDirs]
DefaultDestDir = 32768
[Install]
CopyFiles = Files.Script
[Remove]
[Files.Script]
setup.inf
)INF");
    CFakeFirewall firewall;
    std::string commandLine = medium.Expand("setup.exe /silent:@TARGET@");
    std::string installed = medium.Target() + "\\setup.inf";
    for (int version : {5, 1}) {
        testsupport::WriteFileText(installed, "[Version]\r\nVersion=" + std::to_string(version) + "\r\n");
        setup::tSetupContext context;
        ASSERT_TRUE(PrepareRun(context, medium, commandLine.c_str(), firewall));
        ASSERT_EQ(1u, context.products.size()) << "a script without products is one product";
        CRecordingSink sink;
        DWORD error = 0;
        ASSERT_TRUE(setup::RunInstallation(context, sink, kWindow, error));
        EXPECT_EQ(version > 3 ? version : 3, setup::CFileQueue::ScriptVersion(installed)) << "installed " << version;
    }
}

TEST(SetupPipeline, PluginStepsQueueFilesAndAskForARestart)
{
    CMedium medium({"gamma"});
    medium.CopyProgram("setup_test_plugin.dll", "setup_test_plugin.dll");
    medium.WriteFile("extra.txt", "extra");
    medium.WriteScript(R"INF([Version]
Signature = "$Windows NT$"
[Install]
[Remove]
[Products]
gamma = "Gamma", Install.Gamma, Remove.Gamma, 2
[Install.Gamma]
Plugins = setup_test_plugin.dll:copy:@MEDIUM@\extra.txt|@TARGET@\queued.txt
)INF");
    CFakeFirewall firewall;
    std::string commandLine = medium.Expand("setup.exe /silent:@TARGET@");
    setup::tSetupContext context;
    ASSERT_TRUE(PrepareRun(context, medium, commandLine.c_str(), firewall));
    ASSERT_EQ(2u, context.plugins.Steps().size());
    EXPECT_EQ(1, context.plugins.Steps()[0].fieldIndex);
    CRecordingSink sink;
    DWORD error = 0;
    ASSERT_TRUE(setup::RunInstallation(context, sink, kWindow, error)) << error;
    EXPECT_EQ("extra", ReadFileText(medium.Target() + "\\queued.txt")) << "queued by the level-0 step";
    EXPECT_EQ((std::vector<std::string>{"Preparing the test files [progress]", "Checking the test files"}), sink.stepTexts);
    EXPECT_EQ(1, context.rebootNeeded) << "the level-2 step asked for it";
}

TEST(SetupPipeline, AFailingPluginStepFailsAndARefusedPluginIsSkipped)
{
    CMedium medium;
    medium.CopyProgram("setup_test_plugin.dll", "setup_test_plugin.dll");
    medium.CopyProgram("setup_test_plugin_v2.dll", "setup_test_plugin_v2.dll");
    medium.WriteScript(R"INF([Version]
Signature = "$Windows NT$"
[Install]
Plugins = setup_test_plugin_v2.dll:copy:x|y, ..\setup_test_plugin.dll:fail, setup_test_plugin.dll:fail
[Remove]
)INF");
    CFakeFirewall firewall;
    std::string commandLine = medium.Expand("setup.exe /silent:@TARGET@");
    setup::tSetupContext context;
    ASSERT_TRUE(PrepareRun(context, medium, commandLine.c_str(), firewall));
    ASSERT_EQ(1u, context.plugins.Steps().size()) << "version 2 and a path outside the medium are refused";
    EXPECT_EQ(3, context.plugins.Steps()[0].fieldIndex);
    CRecordingSink sink;
    DWORD error = 0;
    EXPECT_FALSE(setup::RunInstallation(context, sink, kWindow, error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), error);
    EXPECT_EQ(std::vector<int>{2}, sink.phases) << "the level-1 step runs after the services stopped";
}
