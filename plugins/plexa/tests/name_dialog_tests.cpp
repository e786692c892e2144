// The name dialog on the dialog layer, and names in any script on their whole way: typed into
// the dialog, stored in plexa.ini, sent to another monitor as shareable options.
#include <gtest/gtest.h>

#include "common/tests/test_support.h"
#include "common/ui/dialog.h"
#include "common/ui/layout_check.h"
#include "monitor/options_codec.h"
#include "plugins/plexa/name_dialog.h"
#include "plugins/plexa/names.h"
#include "plugins/plexa/res/plexa_resource.h"

namespace {

// "Küche ☕ 客厅" as the user types it, and as UTF-8.
const wchar_t kTyped[] = L"K\u00FCche \u2615 \u5BA2\u5385";
const char kUtf8[] = "K\xC3\xBC" "che \xE2\x98\x95 \xE5\xAE\xA2\xE5\x8E\x85";

struct tObserverScope {
    explicit tObserverScope(ui::tDialogObserver observer) { ui::SetDialogObserver(std::move(observer)); }
    ~tObserverScope() { ui::SetDialogObserver(nullptr); }
};

std::string WindowTextOf(HWND window)
{
    char text[512] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

} // namespace

TEST(NameDialog, ShowsTheNameAndReturnsWhatWasTyped)
{
    VELMORA_REQUIRE_DISPLAY();
    ASSERT_EQ(static_cast<UINT>(CP_UTF8), GetACP()) << "the suite's manifest sets the UTF-8 code page";
    std::string caption, prompt, shown;
    tObserverScope scope([&](ui::CDialogBase& dialog) {
        caption = dialog.Text();
        prompt = dialog.ItemText(IDC_NAME_PROMPT);
        shown = dialog.ItemText(IDC_NAME_EDIT);
        // As a user types it: in Unicode, whatever the program's code page.
        SetWindowTextW(dialog.Item(IDC_NAME_EDIT), kTyped);
        PostMessageA(dialog.Handle(), WM_COMMAND, IDOK, 0);
    });
    std::string name = "Study";
    EXPECT_TRUE(PromptDeviceName(nullptr, GetModuleHandleA(nullptr), "Change device name",
                                 "Please enter a name for the device.", name, kMaxNameLength));
    EXPECT_EQ("Change device name", caption);
    EXPECT_EQ("Please enter a name for the device.", prompt);
    EXPECT_EQ("Study", shown);
    EXPECT_EQ(kUtf8, name);
}

TEST(NameDialog, CancelKeepsTheNameAndTheLimitKeepsWholeCharacters)
{
    VELMORA_REQUIRE_DISPLAY();
    tObserverScope cancel([&](ui::CDialogBase& dialog) {
        dialog.SetItemText(IDC_NAME_EDIT, "typed");
        PostMessageA(dialog.Handle(), WM_COMMAND, IDCANCEL, 0);
    });
    std::string name = "Study";
    EXPECT_FALSE(PromptDeviceName(nullptr, GetModuleHandleA(nullptr), "c", "p", name, kMaxNameLength));
    EXPECT_EQ("Study", name);

    tObserverScope limited([&](ui::CDialogBase& dialog) {
        SetWindowTextW(dialog.Item(IDC_NAME_EDIT), kTyped);
        PostMessageA(dialog.Handle(), WM_COMMAND, IDOK, 0);
    });
    ASSERT_TRUE(PromptDeviceName(nullptr, GetModuleHandleA(nullptr), "c", "p", name, 10));
    EXPECT_LE(name.size(), 10u);
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(0u, std::string(kUtf8).find(name)) << "a start of the typed name, no broken character: " << name;
}

TEST(NameDialog, NamesInAnyScriptSurvivePlexaIniAndTheOptionsExchange)
{
    ASSERT_EQ(static_cast<UINT>(CP_UTF8), GetACP());
    testsupport::CTempDir here, there;
    tMacAddress study = {{0x02, 0x00, 0x00, 0x00, 0x00, 0x02}};
    CNamesStore local(here.File("plexa.ini"));
    ASSERT_TRUE(local.SetName(study, kUtf8));
    EXPECT_EQ(kUtf8, CNamesStore(here.File("plexa.ini")).NameOf(study)) << "read back by another reader";
    EXPECT_NE(std::string::npos, testsupport::ReadFileText(here.File("plexa.ini")).find(kUtf8))
        << "the file holds the name in UTF-8";

    // Monitor to monitor: the plug-in's options text, encrypted, decrypted, stored there.
    std::string sent = EncryptOptions(kOptionsKey, FormatShareableOptions(local.Entries()));
    std::string received;
    ASSERT_TRUE(DecryptOptions(kOptionsKey, sent, received));
    std::vector<tSharedName> names = ParseShareableOptions(received);
    ASSERT_EQ(1u, names.size());
    CNamesStore remote(there.File("plexa.ini"));
    ASSERT_TRUE(remote.SetName(names[0].address, names[0].name));
    EXPECT_EQ(kUtf8, remote.NameOf(study));

    // And what a window shows of it, read back in Unicode.
    HWND edit = CreateWindowExA(0, "EDIT", kUtf8, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    if (edit) {
        wchar_t shown[64] = L"";
        GetWindowTextW(edit, shown, 64);
        EXPECT_STREQ(kTyped, shown);
        EXPECT_EQ(kUtf8, WindowTextOf(edit));
        DestroyWindow(edit);
    }
}

TEST(NameDialog, FitsInEveryLanguage)
{
    VELMORA_REQUIRE_DISPLAY();
    HINSTANCE module = GetModuleHandleA(nullptr);
    HWND owner = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    for (LANGID language : {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN),
                            MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), MAKELANGID(LANG_ITALIAN, SUBLANG_ITALIAN),
                            MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH_MODERN), MAKELANGID(LANG_DUTCH, SUBLANG_DUTCH)}) {
        HWND dialog = ui::CreateDialogInLanguage(module, IDD_DEVICE_NAME, language, owner);
        ASSERT_NE(nullptr, dialog) << std::hex << language;
        std::string prompt = ui::LoadStringInLanguage(module, IDS_NAME_PROMPT, language);
        EXPECT_FALSE(prompt.empty());
        SetDlgItemTextA(dialog, IDC_NAME_PROMPT, prompt.c_str());
        for (const std::string& problem : ui::CheckLayout(dialog))
            ADD_FAILURE() << "language " << std::hex << language << std::dec << ": " << problem;
        DestroyWindow(dialog);
    }
    DestroyWindow(owner);
}
