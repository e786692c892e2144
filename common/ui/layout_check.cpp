#include "common/ui/layout_check.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>

namespace ui {

namespace {

enum class tKind { kNone, kText, kCheck, kPush, kGroup };

struct tControl {
    HWND window;
    int id;
    tKind kind;
    bool multiline;
    bool noPrefix;
    std::string text;
    RECT rect; // in the dialog's client coordinates
};

std::string WindowText(HWND window)
{
    int length = GetWindowTextLengthA(window);
    if (length <= 0)
        return std::string();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int copied = GetWindowTextA(window, &text[0], length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

tControl Describe(HWND dialog, HWND window)
{
    tControl control = {window, GetDlgCtrlID(window), tKind::kNone, false, false, WindowText(window), {}};
    GetWindowRect(window, &control.rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&control.rect), 2);
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    LONG style = GetWindowLongA(window, GWL_STYLE);
    if (_stricmp(className, "Static") == 0) {
        LONG type = style & SS_TYPEMASK;
        // Texts that shorten themselves with an ellipsis are meant to be cut.
        if ((type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT || type == SS_LEFTNOWORDWRAP ||
             type == SS_SIMPLE) && !(style & SS_ELLIPSISMASK)) {
            control.kind = tKind::kText;
            control.multiline = type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT;
            control.noPrefix = (style & SS_NOPREFIX) != 0;
        }
    } else if (_stricmp(className, "Button") == 0) {
        LONG type = style & BS_TYPEMASK;
        control.multiline = (style & BS_MULTILINE) != 0;
        if (type == BS_GROUPBOX)
            control.kind = tKind::kGroup;
        else if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || (style & BS_PUSHLIKE))
            control.kind = tKind::kPush;
        else if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
                 type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE)
            control.kind = tKind::kCheck;
    }
    return control;
}

std::string Name(const tControl& control)
{
    char id[16];
    snprintf(id, sizeof id, "%d", control.id);
    return std::string("control ") + id + " \"" + control.text + "\"";
}

// Measures texts in the control's own font.
class CMeasure {
public:
    CMeasure() : m_dc(CreateCompatibleDC(nullptr)) {}
    ~CMeasure()
    {
        if (m_dc) {
            SelectObject(m_dc, m_oldFont);
            DeleteDC(m_dc);
        }
    }
    CMeasure(const CMeasure&) = delete;
    CMeasure& operator=(const CMeasure&) = delete;

    void Use(HWND window)
    {
        HFONT font = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
        HGDIOBJ old = SelectObject(m_dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
        if (!m_oldFont)
            m_oldFont = old;
        TEXTMETRICA metrics = {};
        GetTextMetricsA(m_dc, &metrics);
        m_averageWidth = metrics.tmAveCharWidth;
    }
    // Width and height of the text, on one line or wrapped at `width` pixels.
    SIZE Text(const std::string& text, bool noPrefix, int width = 0) const
    {
        RECT rect = {0, 0, width > 0 ? width : 0, 0};
        UINT flags = DT_CALCRECT | DT_EXPANDTABS | (noPrefix ? DT_NOPREFIX : 0u) |
                     (width > 0 ? DT_WORDBREAK : DT_SINGLELINE);
        DrawTextA(m_dc, text.c_str(), static_cast<int>(text.size()), &rect, flags);
        return SIZE{rect.right - rect.left, rect.bottom - rect.top};
    }
    int AverageWidth() const { return m_averageWidth; }

private:
    HDC m_dc;
    HGDIOBJ m_oldFont = nullptr;
    int m_averageWidth = 0;
};

// Room for the text beside a check box's or radio button's glyph, and inside a push button's
// frame and a group box's label gap.
int TextRoom(const tControl& control, const CMeasure& measure)
{
    RECT client;
    GetClientRect(control.window, &client);
    int width = client.right - client.left;
    switch (control.kind) {
    case tKind::kCheck:
        return width - GetSystemMetrics(SM_CXMENUCHECK) - measure.AverageWidth() / 2 - 2;
    case tKind::kPush:
        return width - 2 * GetSystemMetrics(SM_CXEDGE) - 4;
    case tKind::kGroup:
        return width - 2 * measure.AverageWidth() - 4;
    default:
        return width;
    }
}

// Checks one text and returns the pixel height the text takes (for the group box check).
int CheckText(const tControl& control, const CMeasure& measure, std::vector<std::string>& problems)
{
    RECT client;
    GetClientRect(control.window, &client);
    int room = TextRoom(control, measure);
    int height = client.bottom - client.top;
    const bool wraps = control.multiline && control.kind != tKind::kGroup;
    if (!wraps) {
        SIZE size = measure.Text(control.text, control.noPrefix);
        if (size.cx > room)
            problems.push_back(Name(control) + " is cut off: it needs " + std::to_string(size.cx) +
                               " pixels and has " + std::to_string(room));
        return size.cy;
    }
    // A word wider than the control is broken inside the word.
    std::string word;
    for (size_t i = 0; i <= control.text.size(); ++i) {
        char c = i < control.text.size() ? control.text[i] : ' ';
        if (!isspace(static_cast<unsigned char>(c))) {
            word += c;
            continue;
        }
        if (!word.empty() && measure.Text(word, control.noPrefix).cx > room)
            problems.push_back(Name(control) + " breaks the word \"" + word + "\" across lines");
        word.clear();
    }
    SIZE size = measure.Text(control.text, control.noPrefix, room > 0 ? room : 1);
    if (size.cy > height)
        problems.push_back(Name(control) + " is cut off: its lines need " + std::to_string(size.cy) +
                           " pixels and it has " + std::to_string(height));
    return size.cy;
}

bool Contains(const RECT& outer, const RECT& inner)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

bool Intersects(const RECT& a, const RECT& b)
{
    RECT common;
    return IntersectRect(&common, &a, &b) != FALSE;
}

} // namespace

std::vector<std::string> CheckLayout(HWND dialog, const tLayoutRules& rules)
{
    std::vector<std::string> problems;
    std::vector<tControl> controls;
    std::vector<int> inkBottoms;
    CMeasure measure;
    RECT dialogClient;
    GetClientRect(dialog, &dialogClient);
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        tControl control = Describe(dialog, child);
        int inkBottom = control.rect.bottom;
        if (control.kind != tKind::kNone && !control.text.empty()) {
            measure.Use(child);
            int textHeight = CheckText(control, measure, problems);
            // A text control taller than its text leaves the rest of it empty.
            if (control.kind == tKind::kText)
                inkBottom = control.rect.top + textHeight;
        }
        if (!Contains(dialogClient, control.rect))
            problems.push_back(Name(control) + " reaches beyond the dialog");
        controls.push_back(control);
        inkBottoms.push_back(inkBottom);
    }

    RECT slack = {0, 0, 0, rules.groupSlackDlu};
    MapDialogRect(dialog, &slack);
    for (const tControl& group : controls) {
        if (group.kind != tKind::kGroup)
            continue;
        int contentBottom = -1;
        for (size_t i = 0; i < controls.size(); ++i) {
            const tControl& other = controls[i];
            if (other.window == group.window || !Intersects(group.rect, other.rect))
                continue;
            if (!Contains(group.rect, other.rect)) {
                problems.push_back(Name(other) + " crosses the edge of group " + Name(group));
                continue;
            }
            if (inkBottoms[i] > contentBottom)
                contentBottom = inkBottoms[i];
        }
        if (contentBottom < 0) {
            problems.push_back("group " + Name(group) + " is empty");
            continue;
        }
        int room = group.rect.bottom - contentBottom;
        if (room > slack.bottom)
            problems.push_back("group " + Name(group) + " keeps " + std::to_string(room) +
                               " pixels empty below its content (at most " + std::to_string(slack.bottom) + ")");
    }
    return problems;
}

namespace {

INT_PTR CALLBACK QuietProcedure(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

} // namespace

HWND CreateDialogInLanguage(HINSTANCE instance, UINT templateId, LANGID language, HWND parent)
{
    HRSRC found = FindResourceExA(instance, reinterpret_cast<LPCSTR>(RT_DIALOG), MAKEINTRESOURCEA(templateId), language);
    HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    auto dialogTemplate = loaded ? static_cast<LPCDLGTEMPLATEA>(LockResource(loaded)) : nullptr;
    if (!dialogTemplate)
        return nullptr;
    return CreateDialogIndirectParamA(instance, dialogTemplate, parent, QuietProcedure, 0);
}

std::string LoadStringInLanguage(HINSTANCE instance, UINT id, LANGID language)
{
    // Strings come in blocks of 16, each a length and that many UTF-16 characters.
    HRSRC found = FindResourceExA(instance, reinterpret_cast<LPCSTR>(RT_STRING), MAKEINTRESOURCEA(id / 16 + 1), language);
    HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    auto block = loaded ? static_cast<const WCHAR*>(LockResource(loaded)) : nullptr;
    if (!block)
        return std::string();
    const WCHAR* end = block + SizeofResource(instance, found) / sizeof(WCHAR);
    const WCHAR* entry = block;
    for (UINT i = 0; i < id % 16 && entry < end; ++i)
        entry += 1 + *entry;
    if (entry >= end || *entry == 0 || entry + 1 + *entry > end)
        return std::string();
    int length = WideCharToMultiByte(CP_ACP, 0, entry + 1, *entry, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0)
        WideCharToMultiByte(CP_ACP, 0, entry + 1, *entry, &text[0], length, nullptr, nullptr);
    return text;
}

} // namespace ui
