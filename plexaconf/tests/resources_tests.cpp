// The wizard's texts and pages exist in every language it ships, with every control.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/tests/test_support.h"
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

// A text of the string table in one language, read from the table itself.
bool Text(LANGID language, UINT id, std::wstring& out)
{
    HRSRC block = FindResourceExA(nullptr, RT_STRING, MAKEINTRESOURCEA(id / 16 + 1), language);
    if (!block)
        return false;
    const WCHAR* entry = static_cast<const WCHAR*>(LockResource(LoadResource(nullptr, block)));
    for (UINT i = 0; i < id % 16; ++i)
        entry += 1 + *entry;
    out.assign(entry + 1, *entry);
    return !out.empty();
}

INT_PTR CALLBACK Quiet(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

} // namespace

TEST(Resources, EveryTextInEveryLanguage)
{
    for (LANGID language : kLanguages) {
        std::wstring english, text;
        for (UINT id = IDS_CAPTION; id <= IDS_DOES_NOT_ANSWER; ++id) {
            ASSERT_TRUE(Text(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), id, english)) << id;
            EXPECT_TRUE(Text(language, id, text)) << "language " << language << ", text " << id;
            if (language != kLanguages[0] && id != IDS_CAPTION) {
                EXPECT_NE(english, text) << "language " << language << ", text " << id << " is not translated";
            }
        }
    }
}

TEST(Resources, EveryPageWithEveryControlInEveryLanguage)
{
    HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 600, 400, nullptr, nullptr, nullptr, nullptr);
    if (!parent) {
        if (testsupport::DisplayRequired())
            FAIL() << "no window can be made although a display was promised";
        GTEST_SKIP() << "no display";
    }
    for (LANGID language : kLanguages)
        for (const tPage& page : kPages) {
            HRSRC found = FindResourceExA(nullptr, RT_DIALOG, MAKEINTRESOURCEA(page.id), language);
            ASSERT_NE(nullptr, found) << "language " << language << ", page " << page.id;
            auto dialog = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(nullptr, found)));
            HWND made = CreateDialogIndirectParamA(nullptr, dialog, parent, Quiet, 0);
            ASSERT_NE(nullptr, made) << "language " << language << ", page " << page.id;
            for (int control : page.controls)
                EXPECT_NE(nullptr, GetDlgItem(made, control)) << "language " << language << ", control " << control;
            DestroyWindow(made);
        }
    DestroyWindow(parent);
}
