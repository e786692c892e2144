// The monitor, with a hand for tests: it runs CMonitor as watchpost does (window, tray, the
// plug-ins beside it) and prints the rows of its tree view whenever they change, and it takes
// commands on standard input that it carries out through the window, as a user would:
//
//   rename <MAC address> <name>   opens the row's menu entry "Rename" and types the name
//   action <text>                 chooses the first menu entry of the top row whose text starts so
//   rowmenu <text>                prints "MENU <entry>|<entry>|..." of the top row whose text starts so
//   quit                          closes the monitor for good
//
// and the window commands of tests/integration/window_driver.h for the windows plug-ins open.
//
// Output: "TREE <ms>", then "ROW <depth> <id> <plug-in> <text>" per row, then "END".
#include <windows.h>
#include <commctrl.h>

#include <stdio.h>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "common/trace.h"
#include "monitor/merge.h"
#include "monitor/monitor.h"
#include "monitor/monitor_dialog.h"
#include "monitor/res/resource.h"
#include "tests/integration/window_driver.h"

namespace {

std::mutex g_lock;
std::deque<std::string> g_commands;
HANDLE g_commandEvent;
DWORD g_start;

std::string Text(HWND tree, HTREEITEM item)
{
    char buffer[512] = "";
    TVITEMA tvi = {};
    tvi.mask = TVIF_HANDLE | TVIF_TEXT;
    tvi.hItem = item;
    tvi.pszText = buffer;
    tvi.cchTextMax = sizeof buffer;
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tvi));
    return buffer;
}

std::string Dump(HWND tree)
{
    std::string out;
    std::function<void(HTREEITEM, int)> walk = [&](HTREEITEM item, int depth) {
        for (; item; item = TreeView_GetNextSibling(tree, item)) {
            tTreeRow* row = GetTreeRow(tree, item);
            out += "ROW " + std::to_string(depth) + " " + std::to_string(row ? row->id : -1) + " " +
                   (row ? row->plugin : "?") + " " + Text(tree, item) + "\n";
            walk(TreeView_GetChild(tree, item), depth + 1);
        }
    };
    walk(TreeView_GetRoot(tree), 0);
    return out;
}

// The top row of the device whose address row reads "...: <mac>".
HTREEITEM FindDevice(HWND tree, const std::string& mac)
{
    for (HTREEITEM top = TreeView_GetRoot(tree); top; top = TreeView_GetNextSibling(tree, top))
        for (HTREEITEM child = TreeView_GetChild(tree, top); child; child = TreeView_GetNextSibling(tree, child)) {
            std::string text = Text(tree, child);
            if (text.size() >= mac.size() && text.compare(text.size() - mac.size(), mac.size(), mac) == 0)
                return top;
        }
    return nullptr;
}

// Types the name into the name dialog once it shows, and confirms it.
void AnswerNameDialog(std::string name)
{
    for (int i = 0; i < 200; ++i) {
        HWND dialog = FindWindowA("#32770", nullptr);
        char caption[128] = "";
        if (dialog)
            GetWindowTextA(dialog, caption, sizeof caption);
        if (dialog && caption[0]) {
            SetDlgItemTextA(dialog, 10008, name.c_str());
            PostMessageA(dialog, WM_COMMAND, IDOK, 0);
            printf("DIALOG %s\n", caption);
            fflush(stdout);
            return;
        }
        Sleep(50);
    }
    printf("DIALOG none\n");
    fflush(stdout);
}

void Rename(CMonitorDialog& window, const std::string& arguments)
{
    std::string mac = arguments.substr(0, arguments.find(' '));
    std::string name = arguments.size() > mac.size() ? arguments.substr(mac.size() + 1) : std::string();
    HWND tree = window.GetTree();
    HTREEITEM row = FindDevice(tree, mac);
    if (!row) {
        printf("ERROR no row for %s\n", mac.c_str());
        fflush(stdout);
        return;
    }
    TreeView_SelectItem(tree, row);
    SendMessageA(window.GetHandle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(window.GetRowMenu()), 0);
    std::thread(AnswerNameDialog, name).detach();
    // The menu entry runs the modal dialog inside the window's own message loop.
    PostMessageA(window.GetHandle(), WM_COMMAND, ID_ROW_ACTION_FIRST, 0);
}

void FirstAction(CMonitorDialog& window, const std::string& prefix)
{
    HWND tree = window.GetTree();
    for (HTREEITEM top = TreeView_GetRoot(tree); top; top = TreeView_GetNextSibling(tree, top))
        if (Text(tree, top).compare(0, prefix.size(), prefix) == 0) {
            TreeView_SelectItem(tree, top);
            SendMessageA(window.GetHandle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(window.GetRowMenu()), 0);
            PostMessageA(window.GetHandle(), WM_COMMAND, ID_ROW_ACTION_FIRST, 0);
            printf("ACTION %s\n", prefix.c_str());
            fflush(stdout);
            return;
        }
    printf("ERROR no row %s\n", prefix.c_str());
    fflush(stdout);
}

void RowMenu(CMonitorDialog& window, const std::string& prefix)
{
    HWND tree = window.GetTree();
    for (HTREEITEM top = TreeView_GetRoot(tree); top; top = TreeView_GetNextSibling(tree, top))
        if (Text(tree, top).compare(0, prefix.size(), prefix) == 0) {
            TreeView_SelectItem(tree, top);
            HMENU menu = window.GetRowMenu();
            SendMessageA(window.GetHandle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), 0);
            std::string entries;
            for (int at = 0; at < GetMenuItemCount(menu); ++at) {
                char entry[256] = "";
                GetMenuStringA(menu, static_cast<UINT>(at), entry, sizeof entry, MF_BYPOSITION);
                entries += (at ? "|" : "") + std::string(entry);
            }
            printf("MENU %s\n", entries.c_str());
            fflush(stdout);
            return;
        }
    printf("ERROR no row %s\n", prefix.c_str());
    fflush(stdout);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    g_start = GetTickCount();
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES | ICC_BAR_CLASSES | ICC_LINK_CLASS};
    InitCommonControlsEx(&controls);
    TraceInit(GetCommandLineA());
    g_commandEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::thread([] {
        char line[512];
        while (fgets(line, sizeof line, stdin)) {
            std::string command = line;
            while (!command.empty() && (command.back() == '\n' || command.back() == '\r'))
                command.pop_back();
            // Window commands wait for windows of other threads: they run here, not on the
            // monitor's window thread.
            if (RunWindowCommand(command))
                continue;
            std::lock_guard<std::mutex> guard(g_lock);
            g_commands.push_back(command);
            SetEvent(g_commandEvent);
        }
    }).detach();

    CMonitor monitor(instance);
    monitor.Window().PrepareAndShow();
    monitor.LoadPlugins();
    std::string shown;
    for (;;) {
        MSG msg;
        bool quit = false;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                quit = true;
            if (monitor.Window().PreTranslateMessage(&msg))
                continue;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (quit)
            break;
        if (IsWindow(monitor.Window().GetHandle())) {
            std::string rows = Dump(monitor.Window().GetTree());
            if (rows != shown) {
                shown = rows;
                printf("TREE %lu\n%sEND\n", GetTickCount() - g_start, rows.c_str());
                fflush(stdout);
            }
        }
        std::deque<std::string> commands;
        {
            std::lock_guard<std::mutex> guard(g_lock);
            commands.swap(g_commands);
        }
        for (const std::string& command : commands) {
            if (command == "quit")
                PostMessageA(monitor.Window().GetHandle(), WM_CLOSE, 1, 0);
            else if (command.compare(0, 7, "rename ") == 0)
                Rename(monitor.Window(), command.substr(7));
            else if (command.compare(0, 7, "action ") == 0)
                FirstAction(monitor.Window(), command.substr(7));
            else if (command.compare(0, 8, "rowmenu ") == 0)
                RowMenu(monitor.Window(), command.substr(8));
        }
        MsgWaitForMultipleObjects(1, &g_commandEvent, FALSE, 100, QS_ALLINPUT);
    }
    return 0;
}
