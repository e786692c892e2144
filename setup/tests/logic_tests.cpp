// The rules of the setup program that need no system: the command line, the section
// variants by Windows version, plug-in entries, "Exec" parameters, versions, folder codes,
// the page plan and the service group order.
#include <gtest/gtest.h>

#include "setup/command_line.h"
#include "setup/script_rules.h"
#include "setup/services.h"
#include "setup/uninstall_entry.h"

namespace {

tOSVersion Version(const char* text)
{
    tOSVersion version;
    EXPECT_TRUE(ParseOSVersion(text, version)) << text;
    return version;
}

int Count(const tPagePlan& plan, int id)
{
    int count = 0;
    for (const tPageSlot& slot : plan.pages)
        count += slot.builtIn == id;
    return count;
}

} // namespace

TEST(SetupCommandLine, SwitchesAreCaseSensitiveAndTheLaterOneWins)
{
    tSetupCommandLine line = ParseSetupCommandLine(
        "\"C:\\media\\setup.exe\" /install:a,b /Quiet /reboot:2 /style:0 /remove:c /lang:ger");
    EXPECT_EQ(UNATTENDED_NONE, line.unattended) << "\"/Quiet\" is not \"/quiet\"";
    EXPECT_EQ(REBOOT_NOW, line.reboot);
    EXPECT_EQ(0, line.style);
    EXPECT_EQ(SETUP_MODE_REMOVE, line.mode);
    EXPECT_EQ(std::vector<std::string>{"c"}, line.products);
    EXPECT_EQ(1031, line.language);

    line = ParseSetupCommandLine("setup.exe /remove:x /install:netwarden,plexaconf /silent /quiet:\"C:\\Program Files\\A,B\"");
    EXPECT_EQ(SETUP_MODE_INSTALL, line.mode);
    EXPECT_EQ((std::vector<std::string>{"netwarden", "plexaconf"}), line.products);
    EXPECT_EQ(UNATTENDED_QUIET, line.unattended);
    EXPECT_EQ("C:\\Program Files\\A,B", line.unattendedText) << "a folder with a comma stays whole";
    EXPECT_EQ(REBOOT_ASK, line.reboot) << "the default policy asks";
    EXPECT_EQ(-1, line.style) << "no style given";
    EXPECT_FALSE(line.plan);
}

TEST(SetupCommandLine, BadValuesKeepTheDefaults)
{
    tSetupCommandLine line = ParseSetupCommandLine("setup.exe /reboot:7 /reboot:x /lang:xyz /style:");
    EXPECT_EQ(REBOOT_ASK, line.reboot);
    EXPECT_EQ(0, line.language);
    EXPECT_EQ(-1, line.style);
    line = ParseSetupCommandLine("setup.exe /silent /plan:\"C:\\out dir\\plan.txt\" /reboot:0");
    EXPECT_EQ(UNATTENDED_SILENT, line.unattended);
    EXPECT_TRUE(line.unattendedText.empty());
    EXPECT_TRUE(line.plan);
    EXPECT_EQ("C:\\out dir\\plan.txt", line.planFile);
    EXPECT_EQ(REBOOT_NEVER, line.reboot);
}

TEST(SetupCommandLine, LanguageCodes)
{
    EXPECT_EQ(10, ParseSetupCommandLine("setup.exe /lang:spa").language) << "Spanish is the primary id alone";
    const std::pair<const char*, int> codes[] = {{"eng", 1033}, {"ger", 1031}, {"fre", 1036}, {"ita", 1040},
                                                 {"dut", 1043}, {"pol", 1045}, {"fin", 1035}, {"dan", 1030},
                                                 {"nor", 1044}, {"por", 2070}, {"tur", 1055}, {"rus", 1049},
                                                 {"cze", 1029}};
    for (const auto& code : codes)
        EXPECT_EQ(code.second, LanguageOfCode(code.first)) << code.first;
    EXPECT_EQ(0, LanguageOfCode("ENG")) << "codes are case-sensitive";
}

TEST(SetupScriptRules, SectionVariantsFollowTheWindowsVersion)
{
    std::vector<std::string> xp = SectionCandidates("Install", Version("WinXP"));
    ASSERT_EQ(5u, xp.size());
    EXPECT_EQ("Install.XP", xp[0]);
    EXPECT_EQ("Install.NT5", xp[1]);
    EXPECT_EQ("Install.NT", xp[3]);
    EXPECT_EQ("Install", xp[4]);
    std::vector<std::string> w2k = SectionCandidates("Remove", Version("Win2k"));
    EXPECT_EQ("Remove.NT5", w2k[0]) << "Windows 2000 is not XP";
    std::vector<std::string> nt4 = SectionCandidates("Products", Version("WinNT40"));
    EXPECT_EQ(3u, nt4.size());
    EXPECT_EQ("Products.NT", nt4[1]);
    std::vector<std::string> seven = SectionCandidates("Install", Version("WinNT.6.1.7601"));
    EXPECT_EQ("Install.XP", seven[0]) << "5.1 and later";

    EXPECT_EQ((std::vector<std::string>{"Install.WinMe", "Install.Win98", "Install.Win", "Install"}),
              SectionCandidates("Install", Version("WinMe")));
    EXPECT_EQ((std::vector<std::string>{"Install.Win98", "Install.Win", "Install"}),
              SectionCandidates("Install", Version("Win98SE")));
    EXPECT_EQ((std::vector<std::string>{"Install.Win", "Install"}), SectionCandidates("Install", Version("Win95")));
}

TEST(SetupScriptRules, PluginEntriesAndFileNames)
{
    tPluginEntry entry = SplitPluginEntry("helper.dll:C:\\data:x");
    EXPECT_EQ("helper.dll", entry.file);
    EXPECT_EQ("C:\\data:x", entry.parameter) << "split at the first colon only";
    entry = SplitPluginEntry("helper.dll");
    EXPECT_TRUE(entry.parameter.empty());
    EXPECT_TRUE(IsBareFileName("helper.dll"));
    EXPECT_FALSE(IsBareFileName("..\\helper.dll"));
    EXPECT_FALSE(IsBareFileName("C:\\x\\helper.dll"));
    EXPECT_FALSE(IsBareFileName(".."));
    EXPECT_FALSE(IsBareFileName(""));
}

TEST(SetupScriptRules, EveryWindowHandleTokenIsReplaced)
{
    EXPECT_EQ("/owner 0x0001a2b4 /parent=0x0001a2b4 end", ExpandWindowHandle("/owner %hwnd% /parent=%hwnd% end", 0x1a2b4));
    EXPECT_EQ("%HWND% stays", ExpandWindowHandle("%HWND% stays", 1)) << "the token is exact";
    EXPECT_EQ("", ExpandWindowHandle("", 1));
    EXPECT_EQ("0x00000000", ExpandWindowHandle("%hwnd%", 0));
}

TEST(SetupScriptRules, DottedVersions)
{
    EXPECT_GT(CompareDottedVersions("2.1.412", "2.1.5"), 0) << "numbers, not texts";
    EXPECT_LT(CompareDottedVersions("2.1", "2.1.0.1"), 0);
    EXPECT_EQ(0, CompareDottedVersions("2.1", "2.1.0.0"));
    EXPECT_LT(CompareDottedVersions("1.99", "2"), 0);
    EXPECT_EQ(0, CompareDottedVersions("", ""));
    EXPECT_GT(CompareDottedVersions("99999999999999999999.1", "1"), 0) << "huge numbers do not wrap";
    EXPECT_TRUE(IsDottedVersion("2.1.412.0"));
    EXPECT_FALSE(IsDottedVersion("watchpost.exe"));
    EXPECT_FALSE(IsDottedVersion(".1"));
}

TEST(SetupScriptRules, ShellFolderCodesAndWebTargets)
{
    const tShellFolder* programs = FindShellFolder("cprg");
    ASSERT_NE(nullptr, programs);
    EXPECT_STREQ("Common Programs", programs->valueName);
    EXPECT_TRUE(programs->common);
    ASSERT_NE(nullptr, FindShellFolder("USTU"));
    EXPECT_STREQ("Startup", FindShellFolder("USTU")->valueName);
    EXPECT_FALSE(FindShellFolder("USTU")->common);
    EXPECT_EQ(nullptr, FindShellFolder("XXXX"));
    EXPECT_TRUE(IsWebAddress("HTTP://example.org/"));
    EXPECT_FALSE(IsWebAddress("C:\\http\\x.exe"));
}

TEST(SetupPagePlan, InstallationWithoutPluginPages)
{
    int counts[PLUGIN_PAGE_LEVELS] = {};
    tPagePlan plan = PlanPages(false, counts);
    std::vector<int> ids;
    for (const tPageSlot& slot : plan.pages)
        ids.push_back(slot.builtIn);
    EXPECT_EQ((std::vector<int>{PAGE_WELCOME, PAGE_LICENSE, PAGE_TYPE, PAGE_COMPONENTS, PAGE_DIRECTORY,
                                PAGE_CARRY_OUT, PAGE_FINISH}),
              ids);
    EXPECT_EQ(5, plan.workIndex);
    EXPECT_EQ(6, plan.successIndex);
    EXPECT_EQ(5, plan.failureIndex);
}

TEST(SetupPagePlan, PluginPagesTakeTheirLevelsPlaces)
{
    int counts[PLUGIN_PAGE_LEVELS] = {1, 0, 2, 0, 0, 1, 1, 1};
    tPagePlan plan = PlanPages(false, counts);
    EXPECT_EQ(0, Count(plan, PAGE_WELCOME)) << "level 0 replaces the welcome page";
    EXPECT_EQ(0, Count(plan, PAGE_FINISH)) << "level 7 replaces the finish page";
    ASSERT_EQ(11u, plan.pages.size());
    EXPECT_EQ(0, plan.pages[0].builtIn);
    EXPECT_EQ(PAGE_LICENSE, plan.pages[1].builtIn);
    EXPECT_EQ(2, plan.pages[2].level);
    EXPECT_EQ(1, plan.pages[3].index) << "the second page of level 2";
    EXPECT_EQ(PAGE_TYPE, plan.pages[4].builtIn);
    EXPECT_EQ(5, plan.pages[7].level) << "level 5 before carry out";
    EXPECT_EQ(PAGE_CARRY_OUT, plan.pages[8].builtIn);
    EXPECT_EQ(8, plan.workIndex);
    EXPECT_EQ(6, plan.pages[plan.successIndex].level) << "after the work come the level-6 pages";
    EXPECT_EQ(7, plan.pages.back().level);
}

TEST(SetupPagePlan, Removal)
{
    int counts[PLUGIN_PAGE_LEVELS] = {0, 0, 0, 0, 1, 0, 0, 3};
    tPagePlan plan = PlanPages(true, counts);
    ASSERT_EQ(4u, plan.pages.size()) << "welcome, a level-4 page, removal, removal finish";
    EXPECT_EQ(PAGE_WELCOME, plan.pages[0].builtIn);
    EXPECT_EQ(PAGE_REMOVAL, plan.pages[2].builtIn);
    EXPECT_EQ(PAGE_REMOVAL_FINISH, plan.pages[3].builtIn);
    EXPECT_EQ(3, plan.successIndex);
}

TEST(SetupUninstall, KeysAndCommands)
{
    EXPECT_EQ("\"C:\\Program Files\\Brindle\\setup.exe\" /remove:netwarden",
              setup::UninstallCommand("C:\\Program Files\\Brindle\\setup.exe", "netwarden"));
    EXPECT_EQ("D:\\setup.exe /remove:tandem", setup::UninstallCommand("D:\\setup.exe", "tandem"));
    EXPECT_TRUE(setup::IsValidProductKey("netwarden"));
    EXPECT_FALSE(setup::IsValidProductKey("..\\Run"));
    EXPECT_FALSE(setup::IsValidProductKey(""));
    EXPECT_FALSE(setup::IsValidProductKey(std::string(300, 'x')));
}

TEST(SetupServices, GroupsAreInsertedAfterTheirNeighbourOnce)
{
    std::vector<std::string> list = {"System Reserved", "Boot Bus Extender", "NDIS", "PNP_TDI"};
    std::vector<std::string> inserted = setup::InsertGroup(list, "Velmora", "ndis");
    EXPECT_EQ((std::vector<std::string>{"System Reserved", "Boot Bus Extender", "NDIS", "Velmora", "PNP_TDI"}), inserted);
    EXPECT_EQ(inserted, setup::InsertGroup(inserted, "VELMORA", "System Reserved")) << "a listed group stays";
    EXPECT_EQ("Velmora", setup::InsertGroup(list, "Velmora", "missing").back()) << "an unknown neighbour appends";
    EXPECT_EQ(list, setup::InsertGroup(list, "", "NDIS"));
}
