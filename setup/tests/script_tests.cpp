// The setup script as the program reads it: sections by version, products and their flags,
// conditions and condition DLLs, and the checks that end a run before the wizard (the
// administrator, a broken script, a newer installed version, a failing condition).
#include <gtest/gtest.h>

#include "common/strings.h"
#include "common/ui/message_box.h"
#include "setup/language.h"
#include "setup/res/resource.h"
#include "setup/script.h"
#include "setup/setup_run.h"
#include "setup/tests/setup_test_support.h"
#include "setup/uninstall_entry.h"

using namespace setuptest;

namespace {

struct tShown {
    std::string text;
    std::string caption;
    UINT flags;
};

// Answers every message box with `answer` and keeps what it said.
class CMessages {
public:
    explicit CMessages(int answer = IDOK)
    {
        ui::SetMessageHook([this, answer](HWND, const std::string& text, const std::string& caption, UINT flags) {
            shown.push_back({text, caption, flags});
            return answer;
        });
    }
    ~CMessages() { ui::SetMessageHook(nullptr); }
    std::vector<tShown> shown;
};

bool OpenScript(setup::CInfFile& inf, const CMedium& medium)
{
    UINT line = 0;
    DWORD error = 0;
    return inf.Open(medium.Folder() + "\\setup.inf", line, error);
}

// A UTF-8 text of this file in the ANSI code page, as the program's texts come.
std::string Ansi(const char* utf8)
{
    WCHAR wide[512];
    char ansi[512];
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 512);
    WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi, sizeof ansi, nullptr, nullptr);
    return ansi;
}

tOSVersion Version(const char* text)
{
    tOSVersion version;
    ParseOSVersion(text, version);
    return version;
}

const char kProducts[] = R"INF([Version]
Signature = "$Windows NT$"
[Install]
Conditions = Cond.Always
ProductVer = delta, 2.0
[Install.NT5]
ProductVer = delta, 2.0
[Remove]
[Products]
delta = "Delta", Install.Delta, Remove.Delta, 2
epsilon = , Install.Epsilon, Remove.Epsilon, 1
zeta = "Zeta", Install.Zeta, Remove.Zeta, 3
[Install.Delta]
[Install.Epsilon]
Conditions = Cond.Missing
[Install.Zeta]
Conditions = Cond.Always, Cond.DllHolds
[Cond.Always]
OS = ">=Win2k"
[Cond.Missing]
File = missing.exe
Message = "Epsilon is not on this medium."
[Cond.DllHolds]
Dll = setup_test_plugin.dll, ConditionHolds
)INF";

} // namespace

TEST(SetupScript, SectionsAreChosenByWindowsVersion)
{
    CMedium medium;
    medium.WriteScript(kProducts);
    setup::CInfFile inf;
    ASSERT_TRUE(OpenScript(inf, medium));
    setup::tChosenSections xp = setup::ChooseSections(inf, Version("WinXP"));
    EXPECT_EQ("Install.NT5", xp.install) << "no XP variant: the next one that applies";
    EXPECT_EQ("Remove", xp.remove);
    EXPECT_EQ("Products", xp.products);
    EXPECT_EQ("Install", setup::ChooseSections(inf, Version("WinNT40")).install);
    EXPECT_EQ("Install", setup::ChooseSections(inf, Version("Win98")).install);
}

TEST(SetupScript, ProductsConditionsAndTheirMessages)
{
    CMedium medium({"delta", "epsilon", "zeta"});
    medium.WriteScript(kProducts);
    medium.CopyProgram("setup_test_plugin.dll", "setup_test_plugin.dll");
    setup::CInfFile inf;
    ASSERT_TRUE(OpenScript(inf, medium));
    setup::tChosenSections sections = setup::ChooseSections(inf, Version("WinXP"));
    std::vector<setup::tProduct> products = setup::ReadProducts(inf, sections);
    ASSERT_EQ(3u, products.size());
    EXPECT_EQ("epsilon", products[1].name) << "without a name the key stands for it";
    EXPECT_EQ(3, products[2].flags);

    setup::tConditionOutcome missing = setup::CheckConditions(inf, "Install.Epsilon", medium.Folder());
    EXPECT_FALSE(missing.holds);
    EXPECT_EQ("Epsilon is not on this medium.", missing.message);
    EXPECT_TRUE(setup::CheckConditions(inf, "Install.Zeta", medium.Folder()).holds);
    EXPECT_TRUE(setup::CheckConditions(inf, "Install.Delta", medium.Folder()).holds) << "no conditions";

    // In the run: epsilon is not offered, the others are, each as its flags say.
    CFakeFirewall firewall;
    setup::tSetupContext context;
    ASSERT_TRUE(PrepareRun(context, medium, "setup.exe /silent", firewall));
    ASSERT_EQ(2u, context.products.size());
    EXPECT_EQ("delta", context.products[0].key);
    EXPECT_TRUE(context.products[0].selected);
    EXPECT_EQ("2.0", context.products[0].version);
    EXPECT_EQ("zeta", context.products[1].key);
    EXPECT_TRUE(context.products[1].selected);
}

TEST(SetupScript, ConditionDllsThatSayNoOrCannotBeUsed)
{
    CMedium medium;
    medium.CopyProgram("setup_test_plugin.dll", "setup_test_plugin.dll");
    medium.CopyProgram("setup_test_plugin_v2.dll", "setup_test_plugin_v2.dll");
    medium.WriteScript(R"INF([Version]
Signature = "$Windows NT$"
[Install]
[Says.No]
Conditions = Cond.No
[Cond.No]
Dll = setup_test_plugin.dll, ConditionFails
Message = "overruled by the DLL's own message"
[Too.New]
Conditions = Cond.New
[Cond.New]
Dll = setup_test_plugin_v2.dll, ConditionHolds
Message = "not shown"
[No.Export]
Conditions = Cond.NoExport
[Cond.NoExport]
Dll = setup_test_plugin.dll, NoSuchFunction
[Outside]
Conditions = Cond.Outside
[Cond.Outside]
Dll = ..\setup_test_plugin.dll, ConditionHolds
[Wrong.System]
Conditions = Cond.Nine
[Cond.Nine]
OS = "Win98"
Message = "Only for Windows 98."
)INF");
    setup::CInfFile inf;
    ASSERT_TRUE(OpenScript(inf, medium));
    setup::tConditionOutcome no = setup::CheckConditions(inf, "Says.No", medium.Folder());
    EXPECT_FALSE(no.holds);
    EXPECT_EQ("The test condition does not hold.", no.message);
    for (const char* section : {"Too.New", "No.Export", "Outside"}) {
        setup::tConditionOutcome refused = setup::CheckConditions(inf, section, medium.Folder());
        EXPECT_FALSE(refused.holds) << section;
        EXPECT_TRUE(refused.message.empty()) << section << ": a DLL that cannot be used has no message";
    }
    setup::tConditionOutcome nine = setup::CheckConditions(inf, "Wrong.System", medium.Folder());
    EXPECT_FALSE(nine.holds);
    EXPECT_EQ("Only for Windows 98.", nine.message);
}

TEST(SetupRun, AFailingConditionDllShowsItsMessageAndStops)
{
    CMedium medium;
    medium.CopyProgram("setup_test_plugin.dll", "setup_test_plugin.dll");
    medium.WriteScript(R"INF([Version]
Signature = "$Windows NT$"
[Install]
Conditions = Cond.No
[Remove]
[Cond.No]
Dll = setup_test_plugin.dll, ConditionFails
)INF");
    CMessages messages;
    CFakeFirewall firewall;
    setup::tSetupContext context;
    EXPECT_FALSE(PrepareRun(context, medium, "setup.exe", firewall));
    ASSERT_EQ(1u, messages.shown.size());
    EXPECT_EQ("The test condition does not hold.", messages.shown[0].text);
    EXPECT_EQ("Setup cannot continue", messages.shown[0].caption);
}

TEST(SetupRun, ABrokenScriptNamesItsLineAndChangesNothing)
{
    CMedium medium({"broken"});
    medium.WriteScript("[Version]\r\nSignature = \"$Windows NT$\"\r\n[Products]\r\nbroken = x, Install, Remove, 2\r\n"
                       "[Install\r\nAddReg = Reg\r\n");
    CMessages messages;
    CFakeFirewall firewall;
    setup::tSetupContext context;
    EXPECT_FALSE(PrepareRun(context, medium, "setup.exe /install:broken", firewall));
    ASSERT_EQ(1u, messages.shown.size());
    EXPECT_EQ("There is an error in file " + medium.Folder() + "\\setup.inf, line 5. Installation can not continue.",
              messages.shown[0].text);
    EXPECT_EQ("Setup cannot continue", messages.shown[0].caption);
    setup::tUninstallEntry entry;
    EXPECT_FALSE(setup::ReadUninstallEntry("broken", entry));
    EXPECT_TRUE(context.products.empty());

    // No script at all is said so, not as a line 0.
    DeleteFileA((medium.Folder() + "\\setup.inf").c_str());
    setup::tSetupContext none;
    EXPECT_FALSE(PrepareRun(none, medium, "setup.exe", firewall));
    ASSERT_EQ(2u, messages.shown.size());
    EXPECT_EQ("The setup script " + medium.Folder() + "\\setup.inf cannot be read. Installation can not continue.",
              messages.shown[1].text);
}

TEST(SetupRun, WithoutAdministratorRightsNothingHappens)
{
    CMedium medium;
    medium.WriteScript(kProducts);
    CMessages messages;
    CFakeFirewall firewall;
    setup::tSetupContext context;
    EXPECT_FALSE(PrepareRun(context, medium, "setup.exe", firewall, false));
    ASSERT_EQ(1u, messages.shown.size());
    EXPECT_EQ(0u, messages.shown[0].text.find("Insufficient Privileges.\r\rYou must have administrative rights"));
    EXPECT_EQ(static_cast<UINT>(MB_ICONSTOP), messages.shown[0].flags & MB_ICONMASK);
    EXPECT_TRUE(context.sections.install.empty()) << "not even the script was read";
}

TEST(SetupRun, ANewerInstalledVersionAsksBeforeItIsReplaced)
{
    CMedium medium({"delta"});
    medium.WriteScript(kProducts);
    setup::tUninstallEntry installed;
    installed.displayName = "Delta installed";
    installed.productVersion = "2.0.10";
    ASSERT_TRUE(setup::WriteUninstallEntry("delta", installed));
    CFakeFirewall firewall;
    {
        CMessages no(IDNO);
        setup::tSetupContext context;
        EXPECT_FALSE(PrepareRun(context, medium, "setup.exe", firewall));
        ASSERT_EQ(1u, no.shown.size());
        EXPECT_EQ("A more recent version of Delta installed is currently installed on your system.\r\r"
                  "Do you really want to replace the existing version?",
                  no.shown[0].text);
        EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONWARNING), no.shown[0].flags & (MB_TYPEMASK | MB_ICONMASK));
        EXPECT_EQ("Brindle Setup", no.shown[0].caption);
    }
    {
        CMessages yes(IDYES);
        setup::tSetupContext context;
        EXPECT_TRUE(PrepareRun(context, medium, "setup.exe", firewall));
        EXPECT_EQ(1u, yes.shown.size());
    }
    {
        // A silent run never replaces a newer version.
        CMessages none(IDYES);
        setup::tSetupContext context;
        EXPECT_FALSE(PrepareRun(context, medium, "setup.exe /silent", firewall));
        EXPECT_TRUE(none.shown.empty());
    }
    installed.productVersion = "1.9";
    ASSERT_TRUE(setup::WriteUninstallEntry("delta", installed));
    CMessages older;
    setup::tSetupContext context;
    EXPECT_TRUE(PrepareRun(context, medium, "setup.exe", firewall));
    EXPECT_TRUE(older.shown.empty()) << "an older version is replaced without asking";
}

TEST(SetupRun, NamedProductsThatAreNotOfferedAreSaid)
{
    CMedium medium;
    medium.WriteScript(kProducts);
    CMessages messages;
    CFakeFirewall firewall;
    setup::tSetupContext context;
    EXPECT_FALSE(PrepareRun(context, medium, "setup.exe /install:epsilon,omega", firewall));
    ASSERT_EQ(1u, messages.shown.size());
    EXPECT_EQ("Epsilon is not on this medium.\r\nomega is not part of this setup.", messages.shown[0].text);
}

TEST(SetupLanguage, SpanishIsLanguageTenAndFindsTheSpanishTexts)
{
    tSetupCommandLine line = ParseSetupCommandLine("setup.exe /lang:spa");
    HINSTANCE instance = GetModuleHandleA(nullptr);
    unsigned short language = setup::ChooseLanguage(instance, line.language);
    EXPECT_EQ(10, language);
    setup::UseLanguage(language);
    EXPECT_EQ(Ansi("El programa de instalación no puede continuar"), xUtilLoadString(instance, IDS_CANNOT_CONTINUE));
    setup::UseLanguage(setup::ChooseLanguage(instance, LanguageOfCode("ger")));
    EXPECT_EQ("Setup kann nicht fortgesetzt werden", xUtilLoadString(instance, IDS_CANNOT_CONTINUE));
    setup::UseLanguage(setup::ChooseLanguage(instance, LanguageOfCode("rus")));
    EXPECT_EQ("Setup cannot continue", xUtilLoadString(instance, IDS_CANNOT_CONTINUE)) << "no Russian texts: English";
    xUtilSetResourceLanguage(0);
    // Without "/lang:" the user's language, where the program has it.
    unsigned short chosen = setup::ChooseLanguage(instance, 0);
    EXPECT_NE(0, chosen);
    EXPECT_FALSE(xUtilResourceLanguages(instance, RT_STRING, MAKEINTRESOURCEA(IDS_TITLE / 16 + 1)).empty());
}
