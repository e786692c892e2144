// The wizard's texts and pages exist in every language it ships, with every control, and every
// page is laid out so that its texts fit, including the longest ones the wizard puts in.
#include <gtest/gtest.h>

#include <iomanip>
#include <string>
#include <vector>

#include "common/tests/test_support.h"
#include "common/ui/layout_check.h"
#include "plexaconf/res/resource.h"

namespace {

const LANGID kLanguages[] = {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN),
                             MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), MAKELANGID(LANG_ITALIAN, SUBLANG_ITALIAN),
                             MAKELANGID(LANG_SPANISH, SUBLANG_NEUTRAL), MAKELANGID(LANG_DUTCH, SUBLANG_DUTCH)};

struct tPage {
    UINT id;
    std::vector<int> controls;
};
const tPage kPages[] = {
    {IDD_WELCOME, {IDC_WELCOME_TITLE}},
    {IDD_SEARCH, {IDC_SEARCH_ANIMATION, IDC_SEARCH_PROGRESS}},
    {IDD_FAILED, {IDC_FAILED_TITLE, IDC_FAILED_REASON, IDC_FAILED_TEXT}},
    {IDD_ADD, {IDC_ADD_ID1, IDC_ADD_ID2, IDC_ADD_ID3, IDC_ADD_ID4, IDC_ADD_ADD, IDC_ADD_DELETE, IDC_ADD_LIST}},
    {IDD_PASSWORD, {IDC_PASSWORD, IDC_PASSWORD_CONFIRM}},
    {IDD_ASSIGN, {IDC_ASSIGN_ANIMATION, IDC_ASSIGN_PROGRESS}},
    {IDD_FINISH, {IDC_FINISH_TITLE, IDC_FINISH_LIST}},
};

std::string Text(LANGID language, UINT id)
{
    return ui::LoadStringInLanguage(GetModuleHandleA(nullptr), id, language);
}

} // namespace

TEST(Resources, EveryTextInEveryLanguage)
{
    for (LANGID language : kLanguages)
        for (UINT id = IDS_CAPTION; id <= IDS_DOES_NOT_ANSWER; ++id) {
            std::string text = Text(language, id);
            EXPECT_FALSE(text.empty()) << "text " << id << " in language " << std::hex << language;
            if (language != kLanguages[0] && id != IDS_CAPTION) {
                EXPECT_NE(Text(kLanguages[0], id), text) << "text " << id << " in language " << std::hex << language
                                                         << " is not translated";
            }
        }
}

TEST(Resources, EveryPageWithEveryControlLaidOutInEveryLanguage)
{
    HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 800, 600, nullptr, nullptr, nullptr, nullptr);
    if (!parent) {
        if (testsupport::DisplayRequired())
            FAIL() << "no window can be made although a display was promised";
        GTEST_SKIP() << "no display";
    }
    for (LANGID language : kLanguages)
        for (const tPage& page : kPages) {
            HWND dialog = ui::CreateDialogInLanguage(GetModuleHandleA(nullptr), page.id, language, parent);
            ASSERT_NE(nullptr, dialog) << "page " << page.id << " in language " << std::hex << language;
            for (int control : page.controls)
                EXPECT_NE(nullptr, GetDlgItem(dialog, control)) << "language " << std::hex << language << std::dec
                                                                << ", control " << control;
            // The longest texts the wizard puts in at run time.
            if (page.id == IDD_FAILED) {
                SetDlgItemTextA(dialog, IDC_FAILED_REASON, Text(language, IDS_NONE_FOUND_TITLE).c_str());
                SetDlgItemTextA(dialog, IDC_FAILED_TEXT, Text(language, IDS_NONE_FOUND_TEXT).c_str());
            }
            for (const std::string& problem : ui::CheckLayout(dialog))
                ADD_FAILURE() << "page " << page.id << ", language " << std::hex << language << std::dec << ": " << problem;
            DestroyWindow(dialog);
        }
    DestroyWindow(parent);
}
