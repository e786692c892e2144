// The options sheet and the about box on the dialog layer, the layout of every dialog in every
// language, and what closing for good keeps for the next start.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "common/registry.h"
#include "common/strings.h"
#include "common/ui/dialog.h"
#include "common/ui/layout_check.h"
#include "common/xutil.h"
#include "monitor/about_box.h"
#include "monitor/monitor.h"
#include "monitor/options_sheet.h"
#include "monitor/res/resource.h"
#include "monitor/tests/window_fixture.h"
#include "monitor/tray_icon.h"

using namespace monitortest;

namespace {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\netwarden";

struct tObserverScope {
    explicit tObserverScope(ui::tDialogObserver observer) { ui::SetDialogObserver(std::move(observer)); }
    ~tObserverScope() { ui::SetDialogObserver(nullptr); }
};

void Click(ui::CDialogBase& page, int id)
{
    page.Check(id, !page.IsChecked(id));
    SendMessageA(page.Handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(page.Item(id)));
}

int IniInt(const utilcpp::CParseini& settings, const char* key)
{
    int value = -1;
    settings.GetInt(kDialogSettings, key, value, -1);
    return value;
}

// The state the pages showed when they opened.
struct tPageSeen {
    bool shared = false, sharedEnabled = false, notices = true, noticesEnabled = false;
    bool collecting = true, collectingEnabled = false;
    std::vector<std::string> layout;
};

// The options sheet opened from the menu; `act` may change the pages; the sheet ends with OK
// (or Cancel).
tPageSeen RunSheet(HWND window, bool ok, const std::function<void(ui::CDialogBase&)>& act)
{
    tPageSeen seen;
    tObserverScope scope([&](ui::CDialogBase& page) {
        std::vector<std::string> problems = ui::CheckLayout(page.Handle());
        seen.layout.insert(seen.layout.end(), problems.begin(), problems.end());
        if (page.TemplateId() == IDD_GENERAL) {
            seen.shared = page.IsChecked(IDC_SHARED_OPTIONS);
            seen.sharedEnabled = IsWindowEnabled(page.Item(IDC_SHARED_OPTIONS)) != FALSE;
            seen.notices = page.IsChecked(IDC_NOTICES);
            seen.noticesEnabled = IsWindowEnabled(page.Item(IDC_NOTICES)) != FALSE;
            act(page);
            PostMessageA(GetParent(page.Handle()), PSM_SETCURSELID, 0, IDD_CONNECTIONS);
        } else if (page.TemplateId() == IDD_CONNECTIONS) {
            seen.collecting = page.IsChecked(IDC_COLLECTING);
            seen.collectingEnabled = IsWindowEnabled(page.Item(IDC_COLLECTING)) != FALSE;
            act(page);
            PostMessageA(GetParent(page.Handle()), PSM_PRESSBUTTON, ok ? PSBTN_OK : PSBTN_CANCEL, 0);
        }
    });
    SendMessageA(window, WM_COMMAND, ID_VIEW_OPTIONS, 0);
    return seen;
}

} // namespace

TEST_F(WindowTest, OptionsAreStoredByTheWindowAfterOK)
{
    CRegistryKey::DeleteTree(HKEY_LOCAL_MACHINE, kPlexaRegistryKey);
    testsupport::CTestKey plexa(HKEY_LOCAL_MACHINE, kPlexaRegistryKey);
    plexa.SetDword("CollectingAllowed", 0);

    tPageSeen seen = RunSheet(m_dialog->GetHandle(), true, [](ui::CDialogBase& page) {
        if (page.TemplateId() == IDD_GENERAL) {
            Click(page, IDC_SHARED_OPTIONS);
            Click(page, IDC_NOTICES);
        } else {
            Click(page, IDC_COLLECTING);
        }
    });
    EXPECT_TRUE(seen.shared) << "a missing key counts as on";
    EXPECT_FALSE(seen.notices) << "notices are off by default";
    EXPECT_FALSE(seen.collecting);
    EXPECT_TRUE(seen.sharedEnabled && seen.noticesEnabled && seen.collectingEnabled);
    EXPECT_TRUE(seen.layout.empty()) << seen.layout.front();
    EXPECT_EQ(0, IniInt(*m_settings, "SharedOptions"));
    EXPECT_EQ(1, IniInt(*m_settings, "DeviceNotices"));
    CRegistryKey key;
    DWORD value = 7;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, kPlexaRegistryKey));
    EXPECT_TRUE(key.GetDword("CollectingAllowed", value));
    EXPECT_EQ(1u, value);

    // Opened again, the pages show what is stored; Cancel stores nothing.
    seen = RunSheet(m_dialog->GetHandle(), false, [](ui::CDialogBase& page) {
        if (page.TemplateId() == IDD_GENERAL)
            Click(page, IDC_SHARED_OPTIONS);
        else
            Click(page, IDC_COLLECTING);
    });
    EXPECT_FALSE(seen.shared);
    EXPECT_TRUE(seen.notices);
    EXPECT_TRUE(seen.collecting);
    EXPECT_EQ(0, IniInt(*m_settings, "SharedOptions"));
    EXPECT_TRUE(key.GetDword("CollectingAllowed", value));
    EXPECT_EQ(1u, value);
}

TEST_F(WindowTest, OptionsThatCannotBeStoredAreNotOffered)
{
    CRegistryKey::DeleteTree(HKEY_LOCAL_MACHINE, kPlexaRegistryKey);
    // A settings file that cannot be written (a read-only medium; the tests run as root, who
    // writes read-only files): one in a folder that does not exist.
    m_dialog.reset();
    m_settings.reset(new utilcpp::CParseini(m_dir.File("gone\\watchpost.ini")));
    m_fake.settings = m_settings.get();
    m_dialog.reset(new CMonitorDialog(&m_fake, &m_fake, GetModuleHandleA(nullptr), *m_settings));
    tPageSeen seen = RunSheet(m_dialog->GetHandle(), true, [](ui::CDialogBase& page) {
        if (page.TemplateId() == IDD_GENERAL)
            Click(page, IDC_SHARED_OPTIONS);
    });
    EXPECT_TRUE(seen.shared);
    EXPECT_FALSE(seen.sharedEnabled) << "the settings file cannot be written";
    EXPECT_FALSE(seen.noticesEnabled);
    EXPECT_FALSE(seen.collectingEnabled) << "the registry key cannot be opened for writing";
    EXPECT_FALSE(CRegistryKey::Exists(HKEY_LOCAL_MACHINE, kPlexaRegistryKey)) << "nothing was written";
}

TEST_F(WindowTest, AboutBoxClosesWithEnterAndOpensOnlyOnce)
{
    int opened = 0, focused = 0;
    LRESULT defaultId = 0;
    std::string title, product;
    std::vector<std::string> urls, layout;
    tObserverScope scope([&](ui::CDialogBase& dialog) {
        if (dialog.TemplateId() != IDD_ABOUT)
            return;
        ++opened;
        dynamic_cast<CAboutBox&>(dialog).m_openUrl = [&](const std::string& url) { urls.push_back(url); };
        title = dialog.Text();
        product = dialog.ItemText(IDC_ABOUT_PRODUCT);
        layout = ui::CheckLayout(dialog.Handle());
        ui::PostTask(dialog.Handle(), [&] {
            // Activated, the dialog gives the focus back to the control it chose (a test
            // program need not be in the foreground of the display).
            SetForegroundWindow(dialog.Handle());
            SetActiveWindow(dialog.Handle());
            focused = GetDlgCtrlID(GetFocus());
            defaultId = SendMessageA(dialog.Handle(), DM_GETDEFID, 0, 0);
            // Asked for again while it is open: only brought to the front.
            SendMessageA(m_dialog->GetHandle(), WM_COMMAND, ID_HELP_ABOUT, 0);
            // Enter, through the dialog manager as a key press goes; to the button that has
            // the focus (never to no window at all, which would leave the box open).
            HWND target = GetFocus() ? GetFocus() : dialog.Item(IDOK);
            PostMessageA(target, WM_KEYDOWN, VK_RETURN, 0x001C0001);
            PostMessageA(target, WM_KEYUP, VK_RETURN, 0xC01C0001);
        });
    });
    SendMessageA(m_dialog->GetHandle(), WM_COMMAND, ID_HELP_ABOUT, 0);
    EXPECT_EQ(1, opened);
    EXPECT_EQ(IDOK, focused) << "OK has the focus";
    EXPECT_EQ(IDOK, LOWORD(defaultId)) << "OK is the default button";
    EXPECT_TRUE(urls.empty()) << "Enter did not open the web page";
    EXPECT_EQ(xUtilLoadString(GetModuleHandleA(nullptr), IDS_ABOUT_TITLE), title);
    EXPECT_EQ("velmora Brindle Watchpost", product);
    EXPECT_TRUE(layout.empty()) << layout.front();
}

TEST(MonitorLayout, EveryDialogFitsInEveryLanguage)
{
    HINSTANCE module = GetModuleHandleA(nullptr);
    HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 800, 600, nullptr, nullptr, nullptr, nullptr);
    if (!parent) {
        if (testsupport::DisplayRequired())
            FAIL() << "no window although a display was provided";
        GTEST_SKIP() << "no display";
    }
    const LANGID languages[] = {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN),
                                MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), MAKELANGID(LANG_ITALIAN, SUBLANG_ITALIAN),
                                MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH_MODERN), MAKELANGID(LANG_DUTCH, SUBLANG_DUTCH)};
    for (LANGID language : languages) {
        for (UINT id : {IDD_GENERAL, IDD_CONNECTIONS, IDD_ABOUT}) {
            HWND dialog = ui::CreateDialogInLanguage(module, id, language, parent);
            ASSERT_NE(nullptr, dialog) << "dialog " << id << " in language " << std::hex << language;
            if (id == IDD_ABOUT) {
                SetDlgItemTextA(dialog, IDC_ABOUT_PRODUCT, ui::LoadStringInLanguage(module, IDS_TITLE, language).c_str());
                SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, AboutVersionText(module).c_str());
            }
            for (const std::string& problem : ui::CheckLayout(dialog))
                ADD_FAILURE() << "dialog " << id << ", language " << std::hex << language << std::dec << ": " << problem;
            DestroyWindow(dialog);
        }
        for (UINT id : {IDS_EMPTY_STATE, IDS_TIP_NONE, IDS_TIP_ONE, IDS_TIP_MANY, IDS_NOTICE_FOUND, IDS_NOTICE_GONE,
                        IDS_NOTICE_MORE})
            EXPECT_FALSE(ui::LoadStringInLanguage(module, id, language).empty())
                << "string " << id << " in language " << std::hex << language;
        // The tool tip with the longest summary still fits the notification area's 127 bytes.
        std::string tip = ui::LoadStringInLanguage(module, IDS_TITLE, language) + "\n" +
                          ui::LoadStringInLanguage(module, IDS_TIP_MANY, language);
        EXPECT_LE(tip.size() + 2, 127u) << std::hex << language;
    }
    DestroyWindow(parent);
}

namespace {

// A registered installation: the uninstall entry names a folder that holds "watchpost".
class CRegisteredInstallation {
public:
    CRegisteredInstallation()
        : m_key(HKEY_LOCAL_MACHINE, kUninstallKey)
    {
        m_key.SetString("UserTargetDir", m_folder.Path());
        testsupport::WriteFileText(m_folder.File("watchpost"), "");
    }

private:
    CTempDir m_folder;
    testsupport::CTestKey m_key;
};

} // namespace

TEST_F(WindowTest, ClosingForGoodKeepsAMaximisedTopmostWindowWithItsTrayIcon)
{
    CRegisteredInstallation installation;
    ASSERT_TRUE(IsInstallationRegistered());
    m_dialog->PrepareAndShow();
    HWND window = m_dialog->GetHandle();
    SendMessageA(window, WM_COMMAND, ID_VIEW_TRAY, 0);
    const bool tray = m_dialog->IsTrayShown();
    SendMessageA(window, WM_COMMAND, ID_VIEW_TOPMOST, 0);
    ShowWindow(window, SW_MAXIMIZE);
    SendMessageA(window, WM_CLOSE, 1, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(1, IniInt(*m_settings, "IsMaximized"));
    EXPECT_EQ(1, IniInt(*m_settings, "IsTopMost"));
    EXPECT_EQ(0, IniInt(*m_settings, "IsHidden"));
    EXPECT_GT(IniInt(*m_settings, "XSize"), 0);
    EXPECT_EQ(tray ? 1 : 0, IniInt(*m_settings, "ShowTrayStatus"));

    m_dialog.reset(new CMonitorDialog(&m_fake, &m_fake, GetModuleHandleA(nullptr), *m_settings));
    m_dialog->PrepareAndShow();
    window = m_dialog->GetHandle();
    EXPECT_TRUE(IsZoomed(window));
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(tray, m_dialog->IsTrayShown());
}

TEST_F(WindowTest, ClosingForGoodWhileHiddenInTheTrayStartsHiddenInTheTray)
{
    CRegisteredInstallation installation;
    m_settings->WriteInt(kDialogSettings, "ShowTrayStatus", 1);
    m_dialog->PrepareAndShow();
    if (!m_dialog->IsTrayShown())
        GTEST_SKIP() << "this desktop has no notification area";
    HWND window = m_dialog->GetHandle();
    SendMessageA(window, WM_CLOSE, 0, 0);
    ASSERT_FALSE(IsWindowVisible(window)) << "closing with the tray icon only hides";
    SendMessageA(window, WM_CLOSE, 1, 0);
    EXPECT_EQ(1, IniInt(*m_settings, "IsHidden"));
    EXPECT_EQ(1, IniInt(*m_settings, "ShowTrayStatus"));

    m_dialog.reset(new CMonitorDialog(&m_fake, &m_fake, GetModuleHandleA(nullptr), *m_settings));
    m_dialog->PrepareAndShow();
    EXPECT_FALSE(IsWindowVisible(m_dialog->GetHandle()));
    EXPECT_TRUE(m_dialog->IsTrayShown());
}

TEST_F(WindowTest, WithoutARegisteredInstallationClosingWritesNothing)
{
    CRegistryKey::DeleteTree(HKEY_LOCAL_MACHINE, kUninstallKey);
    m_dialog->PrepareAndShow();
    SendMessageA(m_dialog->GetHandle(), WM_CLOSE, 1, 0);
    EXPECT_FALSE(testsupport::FileExists(m_settings->GetFileName()))
        << testsupport::ReadFileText(m_settings->GetFileName());
}
