#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "common/tests/test_support.h"
#include "tidemark/res/resource.h"

namespace {

struct tLanguage {
    const char* name;
    LANGID id;
};

const tLanguage kLanguages[] = {
    {"English", MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)},
    {"German", MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN)},
    {"French", MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH)},
    {"Italian", MAKELANGID(LANG_ITALIAN, SUBLANG_ITALIAN)},
    {"Spanish", MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH_MODERN)},
    {"Dutch", MAKELANGID(LANG_DUTCH, SUBLANG_DUTCH)},
};

const UINT kFirstText = IDS_DELETING_HISTORY;
const UINT kLastText = IDS_PREVIEW_FIND_MRU;

HINSTANCE Module()
{
    return GetModuleHandleA(nullptr);
}

// A text of the string table in one language, read from its block: 16 counted texts.
bool LoadText(LANGID language, UINT id, std::wstring& out)
{
    HRSRC block = FindResourceExA(Module(), RT_STRING, MAKEINTRESOURCEA(id / 16 + 1), language);
    if (!block)
        return false;
    const WCHAR* p = static_cast<const WCHAR*>(LockResource(LoadResource(Module(), block)));
    if (!p)
        return false;
    for (UINT i = 0; i < id % 16; ++i)
        p += 1 + *p;
    out.assign(p + 1, *p);
    return !out.empty();
}

// The printf conversions of a text, in order ("%u%s" for "%u entries, %s").
std::wstring Conversions(const std::wstring& text)
{
    std::wstring out;
    for (size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == L'%') {
            out += text.substr(i, 2);
            ++i;
        }
    return out;
}

INT_PTR CALLBACK Quiet(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

// Where a control's text does not fit, a line for the report.
struct tFit {
    LANGID language;
    std::vector<std::string> overflows;

    void CheckControl(HWND control, const std::wstring& textOverride = std::wstring())
    {
        wchar_t text[1024] = {};
        GetWindowTextW(control, text, 1024);
        std::wstring shown = textOverride.empty() ? text : textOverride;
        if (shown.empty())
            return;
        char className[32] = {};
        GetClassNameA(control, className, sizeof className);
        LONG style = GetWindowLongA(control, GWL_STYLE);
        RECT client = {};
        GetClientRect(control, &client);
        int width = client.right, height = client.bottom;
        HDC dc = GetDC(control);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
        RECT need = {0, 0, width, 0};
        bool fits = true;
        if (lstrcmpiA(className, "Button") == 0) {
            UINT kind = style & BS_TYPEMASK;
            int room = width - 8;
            if (kind == BS_AUTOCHECKBOX || kind == BS_CHECKBOX)
                room = width - GetSystemMetrics(SM_CXMENUCHECK) - 6;
            if (kind == BS_GROUPBOX)
                room = width - 16;
            DrawTextW(dc, shown.c_str(), -1, &need, DT_CALCRECT | DT_SINGLELINE);
            fits = need.right <= room;
        } else if (lstrcmpiA(className, "Static") == 0 && !(style & SS_PATHELLIPSIS)) {
            DrawTextW(dc, shown.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK);
            fits = need.bottom <= height && need.right <= width;
        }
        SelectObject(dc, old);
        ReleaseDC(control, dc);
        if (!fits) {
            char narrow[1024] = {};
            WideCharToMultiByte(CP_UTF8, 0, shown.c_str(), -1, narrow, sizeof narrow, nullptr, nullptr);
            overflows.push_back(std::string(narrow) + " needs " + std::to_string(need.right) + "x" +
                                std::to_string(need.bottom) + " in " + std::to_string(width) + "x" +
                                std::to_string(height));
        }
    }
};

BOOL CALLBACK CheckChild(HWND control, LPARAM lParam)
{
    reinterpret_cast<tFit*>(lParam)->CheckControl(control);
    return TRUE;
}

} // namespace

TEST(Resources, EveryLanguageHasEveryTextWithTheSameConversions)
{
    for (const tLanguage& language : kLanguages) {
        for (UINT id = kFirstText; id <= kLastText; ++id) {
            std::wstring english, text;
            ASSERT_TRUE(LoadText(kLanguages[0].id, id, english)) << id;
            EXPECT_TRUE(LoadText(language.id, id, text)) << language.name << " lacks text " << id;
            EXPECT_EQ(Conversions(english), Conversions(text)) << language.name << " text " << id;
        }
        for (UINT dialog : {IDD_MAIN, IDD_PROGRESS, IDD_PREVIEW})
            EXPECT_NE(nullptr, FindResourceExA(Module(), RT_DIALOG, MAKEINTRESOURCEA(dialog), language.id))
                << language.name << " lacks dialog " << dialog;
    }
    // the texts the design fixes, in English
    std::wstring text;
    ASSERT_TRUE(LoadText(kLanguages[0].id, IDS_DELETING_HISTORY, text));
    EXPECT_EQ(L"Deleting history\u2026", text);
    ASSERT_TRUE(LoadText(kLanguages[0].id, IDS_DELETING_FORM_DATA, text));
    EXPECT_EQ(L"Deleting form data...", text);
    ASSERT_TRUE(LoadText(kLanguages[0].id, IDS_BROWSER_RUNNING_CAPTION, text));
    EXPECT_EQ(L"Internet Explorer running", text);
}

TEST(Resources, TextsFitTheirControlsInEveryLanguage)
{
    VELMORA_REQUIRE_DISPLAY();
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_ANIMATE_CLASS | ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    for (const tLanguage& language : kLanguages) {
        tFit fit{language.id, {}};
        for (UINT id : {IDD_MAIN, IDD_PROGRESS, IDD_PREVIEW}) {
            HRSRC found = FindResourceExA(Module(), RT_DIALOG, MAKEINTRESOURCEA(id), language.id);
            ASSERT_NE(nullptr, found);
            auto* dialogTemplate = static_cast<LPCDLGTEMPLATEA>(LockResource(LoadResource(Module(), found)));
            HWND dialog = CreateDialogIndirectParamA(Module(), dialogTemplate, nullptr, Quiet, 0);
            ASSERT_NE(nullptr, dialog) << language.name << " " << id;
            EnumChildWindows(dialog, CheckChild, reinterpret_cast<LPARAM>(&fit));
            if (id == IDD_MAIN) {
                // the explanation of the recent lists comes from the string table
                std::wstring text;
                ASSERT_TRUE(LoadText(language.id, IDS_RECENT_LISTS_TEXT, text));
                fit.CheckControl(GetDlgItem(dialog, IDC_RECENT_LISTS_TEXT), text);
            }
            DestroyWindow(dialog);
        }
        for (const std::string& overflow : fit.overflows)
            ADD_FAILURE() << language.name << ": " << overflow;
    }
}

TEST(Resources, IconsLoadAndBothAnimationsPlay)
{
    VELMORA_REQUIRE_DISPLAY();
    for (UINT icon : {IDI_TIDEMARK, IDI_INTERNET, IDI_FILE_LISTS})
        for (int size : {16, 32, 48}) {
            HICON loaded = static_cast<HICON>(LoadImageA(Module(), MAKEINTRESOURCEA(icon), IMAGE_ICON, size, size, 0));
            EXPECT_NE(nullptr, loaded) << icon << " at " << size;
            ICONINFO info = {};
            if (loaded && GetIconInfo(loaded, &info)) {
                BITMAP bitmap = {};
                GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
                EXPECT_EQ(size, bitmap.bmWidth) << "an image of its own for " << size;
                DeleteObject(info.hbmColor);
                DeleteObject(info.hbmMask);
            }
            if (loaded)
                DestroyIcon(loaded);
        }
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_ANIMATE_CLASS};
    InitCommonControlsEx(&controls);
    HWND animation = CreateWindowExA(0, ANIMATE_CLASSA, "", WS_POPUP | ACS_TRANSPARENT, 0, 0, 300, 60,
                                     nullptr, nullptr, Module(), nullptr);
    ASSERT_NE(nullptr, animation);
    for (UINT clip : {IDR_ANIMATION_8BIT, IDR_ANIMATION}) {
        EXPECT_TRUE(SendMessageA(animation, ACM_OPENA, reinterpret_cast<WPARAM>(Module()),
                                 reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(clip))))
            << "clip " << clip;
        EXPECT_TRUE(SendMessageA(animation, ACM_PLAY, 1, MAKELPARAM(0, 0xFFFF))) << "clip " << clip;
        SendMessageA(animation, ACM_STOP, 0, 0);
    }
    DestroyWindow(animation);
}
