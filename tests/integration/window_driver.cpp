#include "tests/integration/window_driver.h"

#include <windows.h>
#include <commctrl.h>

#include <stdio.h>
#include <stdlib.h>

#include <functional>
#include <vector>

namespace {

void Print(const std::string& text)
{
    printf("%s\n", text.c_str());
    fflush(stdout);
}

std::vector<std::string> Split(const std::string& text)
{
    std::vector<std::string> parts;
    size_t from = 0;
    for (;;) {
        size_t bar = text.find('|', from);
        parts.push_back(text.substr(from, bar == std::string::npos ? std::string::npos : bar - from));
        if (bar == std::string::npos)
            return parts;
        from = bar + 1;
    }
}

bool WaitFor(const std::function<bool()>& condition, DWORD ms)
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > ms)
            return false;
        Sleep(50);
    }
    return true;
}

HWND Top(const std::string& caption)
{
    return FindWindowA(nullptr, caption.c_str());
}

std::string TextOf(HWND window)
{
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// The first descendant with the control id, in the window's z-order.
HWND Control(HWND top, int id)
{
    struct tSearch {
        int id;
        HWND found;
    } search = {id, nullptr};
    EnumChildWindows(
        top,
        [](HWND child, LPARAM parameter) -> BOOL {
            auto s = reinterpret_cast<tSearch*>(parameter);
            if (GetDlgCtrlID(child) == s->id) {
                s->found = child;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string ListText(HWND list, int row, int column)
{
    char text[512] = "";
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

std::string Escaped(const std::string& text)
{
    std::string out;
    for (char c : text)
        out += c == '\n' ? std::string("\\n") : c == '\r' ? std::string() : std::string(1, c);
    return out;
}

void List(HWND list)
{
    int rows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    int columns = header ? static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 1;
    Print("LIST " + std::to_string(rows));
    for (int row = 0; row < rows; ++row) {
        std::string line = "ITEM " + std::to_string(row) + " ";
        for (int column = 0; column < columns; ++column)
            line += (column ? "|" : "") + ListText(list, row, column);
        Print(line);
    }
    Print("LISTEND");
}

void Combo(HWND combo)
{
    int count = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
    std::string line = "COMBO " + std::to_string(count) + "|" + std::to_string(SendMessageA(combo, CB_GETCURSEL, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[256] = "";
        if (SendMessageA(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) < static_cast<LRESULT>(sizeof text))
            SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        line += std::string("|") + text;
    }
    Print(line);
}

} // namespace

bool RunWindowCommand(const std::string& line)
{
    size_t blank = line.find(' ');
    std::string verb = line.substr(0, blank);
    std::vector<std::string> args = Split(blank == std::string::npos ? std::string() : line.substr(blank + 1));
    const std::string& caption = args[0];
    auto number = [&](size_t i) { return i < args.size() ? atoi(args[i].c_str()) : 0; };

    if (verb == "find") {
        Print((WaitFor([&] { return Top(caption) && IsWindowVisible(Top(caption)); }, 15000) ? "FOUND " : "MISSING ") + caption);
        return true;
    }
    if (verb == "gone") {
        Print((WaitFor([&] { return !Top(caption); }, 15000) ? "GONE " : "STILL ") + caption);
        return true;
    }
    if (verb == "answer") {
        HWND box = nullptr;
        if (!WaitFor([&] { return (box = Top(caption)) != nullptr; }, 15000)) {
            Print("MISSING " + caption);
            return true;
        }
        // The message box's text is its static control 0xFFFF.
        std::string text = TextOf(GetDlgItem(box, 0xFFFF));
        PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(number(1)), 0);
        Print("ANSWERED " + caption + "|" + Escaped(text));
        return true;
    }
    static const char* const kVerbs[] = {"rect", "move", "page", "list", "select", "menu", "text", "combo", "choose", "click", "close"};
    bool known = false;
    for (const char* candidate : kVerbs)
        known = known || verb == candidate;
    if (!known)
        return false;
    HWND top = Top(caption);
    if (!top) {
        Print("MISSING " + caption);
        return true;
    }
    if (verb == "rect") {
        RECT r = {};
        GetWindowRect(top, &r);
        Print("RECT " + caption + "|" + std::to_string(r.left) + " " + std::to_string(r.top) + " " +
              std::to_string(r.right) + " " + std::to_string(r.bottom));
        return true;
    }
    if (verb == "move") {
        SetWindowPos(top, nullptr, number(1), number(2), 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        Print("MOVED " + caption);
        return true;
    }
    if (verb == "close") {
        PostMessageA(top, WM_CLOSE, 0, 0);
        Print("CLOSED " + caption);
        return true;
    }
    if (verb == "page") {
        SendMessageA(top, PSM_SETCURSEL, static_cast<WPARAM>(number(1)), 0);
        Print("PAGE " + std::to_string(number(1)));
        return true;
    }
    HWND control = Control(top, number(1));
    if (!control) {
        Print("MISSING " + caption + "|" + std::to_string(number(1)));
        return true;
    }
    if (verb == "list") {
        List(control);
    } else if (verb == "select") {
        LVITEMA none = {};
        none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(control, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
        LVITEMA one = none;
        one.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(control, LVM_SETITEMSTATE, static_cast<WPARAM>(number(2)), reinterpret_cast<LPARAM>(&one));
        Print("SELECTED " + std::to_string(number(2)));
    } else if (verb == "menu") {
        // Shift+F10 would do the same: the menu opens at the selection; arrow down and Enter
        // choose its first entry in the menu's own loop on the window's thread.
        PostMessageA(GetParent(control), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(control), -1);
        if (!WaitFor([] { return FindWindowA("#32768", nullptr) != nullptr; }, 5000)) {
            Print("MENU none");
            return true;
        }
        PostMessageA(control, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageA(control, WM_KEYDOWN, VK_RETURN, 0);
        Print("MENU chosen");
    } else if (verb == "text") {
        Print("TEXT " + std::to_string(number(1)) + "|" + TextOf(control));
    } else if (verb == "combo") {
        Combo(control);
    } else if (verb == "choose") {
        SendMessageA(control, CB_SETCURSEL, static_cast<WPARAM>(number(2)), 0);
        SendMessageA(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(control));
        Print("CHOSEN " + std::to_string(number(2)));
    } else if (verb == "click") {
        PostMessageA(control, BM_CLICK, 0, 0);
        Print("CLICKED " + std::to_string(number(1)));
    }
    return true;
}
