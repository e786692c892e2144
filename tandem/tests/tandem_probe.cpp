// Drives a running tandem.exe from outside, through its window's messages and controls, for
// the scenarios: reads the folder tree, the file list, the transfer view and the chat history,
// selects and clicks items, sends commands, answers message boxes, and measures how fast the
// window answers. The common controls keep their data in tandem's process, so their structures
// are placed there (VirtualAllocEx) and read back.
//
// Runs in the same Wine prefix as tandem.exe; one command per line on standard input, answers
// on standard output:
//   window                      WINDOW x y width height (after waiting for the window)
//   move X Y                    moves the window
//   tree                        NODE depth text ... END
//   select A|B|C                selects the tree item by its texts from the root; OK or MISSING
//   list                        ITEM name<TAB>size ... END
//   click NAME                  clicks the file list row of that name (it takes the focus); OK or MISSING
//   transfers                   ROW name<TAB>status<TAB>host ... END
//   clickrow NAME               clicks the transfer view row of that name
//   command ID                  posts WM_COMMAND ID
//   chat TEXT                   types TEXT in the chat box and presses Send
//   history                     HISTORY text (line breaks as " | ")
//   box                         BOX text, or NOBOX (a message box of tandem's)
//   answer ID                   presses that button of the message box
//   ping N MS                   sends WM_NULL N times, MS apart: PING count max-ms mean-ms
//   quit
#include <windows.h>
#include <commctrl.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

namespace {

const char kClass[] = "VelmoraCobbleClass";
const int kTree = 1004;
const int kList = 1006;
const int kTransfers = 1012;

HWND g_window = nullptr;
HANDLE g_process = nullptr;
char* g_remote = nullptr; // 64 KiB in tandem's process
const SIZE_T kRemoteSize = 65536;

bool Attach()
{
    for (int i = 0; i < 600 && !g_window; ++i) {
        g_window = FindWindowA(kClass, nullptr);
        if (!g_window)
            Sleep(100);
    }
    if (!g_window)
        return false;
    DWORD pid = 0;
    GetWindowThreadProcessId(g_window, &pid);
    g_process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
                            FALSE, pid);
    if (!g_process)
        return false;
    g_remote = static_cast<char*>(VirtualAllocEx(g_process, nullptr, kRemoteSize, MEM_COMMIT, PAGE_READWRITE));
    return g_remote != nullptr;
}

bool Put(size_t offset, const void* data, size_t size)
{
    SIZE_T written = 0;
    return WriteProcessMemory(g_process, g_remote + offset, data, size, &written) && written == size;
}

bool Get(size_t offset, void* data, size_t size)
{
    SIZE_T read = 0;
    return ReadProcessMemory(g_process, g_remote + offset, data, size, &read) && read == size;
}

HWND Control(int id)
{
    return GetDlgItem(g_window, id);
}

std::string TreeText(HWND tree, HTREEITEM item)
{
    TVITEMA data = {};
    data.mask = TVIF_TEXT;
    data.hItem = item;
    data.pszText = g_remote + 1024;
    data.cchTextMax = 1024;
    char zero = 0;
    Put(1024, &zero, 1);
    Put(0, &data, sizeof data);
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(g_remote));
    char text[1024] = "";
    Get(1024, text, sizeof text - 1);
    return text;
}

void DumpTree(HWND tree, HTREEITEM parent, int depth)
{
    HTREEITEM item = reinterpret_cast<HTREEITEM>(
        SendMessageA(tree, TVM_GETNEXTITEM, parent ? TVGN_CHILD : TVGN_ROOT, reinterpret_cast<LPARAM>(parent)));
    for (; item; item = reinterpret_cast<HTREEITEM>(
                     SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)))) {
        printf("NODE %d %s\n", depth, TreeText(tree, item).c_str());
        DumpTree(tree, item, depth + 1);
    }
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

bool SelectPath(const std::string& path)
{
    HWND tree = Control(kTree);
    HTREEITEM parent = nullptr;
    HTREEITEM found = nullptr;
    for (const std::string& part : Split(path, '|')) {
        found = nullptr;
        HTREEITEM item = reinterpret_cast<HTREEITEM>(
            SendMessageA(tree, TVM_GETNEXTITEM, parent ? TVGN_CHILD : TVGN_ROOT, reinterpret_cast<LPARAM>(parent)));
        for (; item; item = reinterpret_cast<HTREEITEM>(
                         SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item))))
            if (TreeText(tree, item) == part) {
                found = item;
                break;
            }
        if (!found)
            return false;
        parent = found;
    }
    SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(found));
    return true;
}

std::string ListText(HWND list, int row, int column)
{
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = g_remote + 1024;
    item.cchTextMax = 1024;
    Put(0, &item, sizeof item);
    SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(g_remote));
    char text[1024] = "";
    Get(1024, text, sizeof text - 1);
    return text;
}

int FindRow(HWND list, const std::string& name)
{
    int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row)
        if (ListText(list, row, 0) == name)
            return row;
    return -1;
}

// A click in the middle of the row's first column: the control selects the row and takes the
// focus, as it does for the user.
bool ClickRow(HWND list, const std::string& name)
{
    int row = FindRow(list, name);
    if (row < 0)
        return false;
    RECT rect = {};
    rect.left = LVIR_LABEL;
    Put(0, &rect, sizeof rect);
    SendMessageA(list, LVM_ENSUREVISIBLE, row, FALSE);
    SendMessageA(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(g_remote));
    Get(0, &rect, sizeof rect);
    LPARAM at = MAKELPARAM((rect.left + rect.right) / 2 < 30 ? 10 : 20, (rect.top + rect.bottom) / 2);
    PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(list, WM_LBUTTONUP, 0, at);
    // The clicks are handled in order with what the probe sends next.
    SendMessageA(list, WM_NULL, 0, 0);
    Sleep(200);
    return true;
}

HWND ChatBox()
{
    for (HWND child = GetWindow(g_window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (GetDlgItem(child, 1002) && GetDlgItem(child, 1003))
            return child;
    return nullptr;
}

struct tBoxSearch {
    DWORD pid;
    HWND box;
};

BOOL CALLBACK FindBox(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<tBoxSearch*>(data);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    if (pid == search->pid && strcmp(name, "#32770") == 0 && IsWindowVisible(window) &&
        (GetDlgItem(window, IDYES) || GetDlgItem(window, IDOK)) && GetDlgItem(window, 0xFFFF)) {
        search->box = window;
        return FALSE;
    }
    return TRUE;
}

HWND MessageBoxWindow()
{
    tBoxSearch search = {0, nullptr};
    GetWindowThreadProcessId(g_window, &search.pid);
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    return search.box;
}

std::string WindowText(HWND window)
{
    char text[32768] = "";
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000, nullptr);
    return text;
}

std::string OneLine(std::string text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += " | ";
            ++i;
        } else if (text[i] == '\r' || text[i] == '\n') {
            out += ' ';
        } else {
            out += text[i];
        }
    }
    return out;
}

void Ping(int count, int pauseMs)
{
    double worst = 0, total = 0;
    int answered = 0;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    for (int i = 0; i < count; ++i) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        DWORD_PTR result = 0;
        if (SendMessageTimeoutA(g_window, WM_NULL, 0, 0, SMTO_BLOCK, 10000, &result))
            ++answered;
        QueryPerformanceCounter(&end);
        double ms = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
        worst = ms > worst ? ms : worst;
        total += ms;
        Sleep(static_cast<DWORD>(pauseMs));
    }
    printf("PING %d %.2f %.2f\n", answered, worst, count ? total / count : 0.0);
}

} // namespace

int main()
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    char line[4096];
    while (fgets(line, sizeof line, stdin)) {
        std::string command(line);
        while (!command.empty() && (command.back() == '\n' || command.back() == '\r'))
            command.pop_back();
        std::string verb = command.substr(0, command.find(' '));
        std::string rest = command.find(' ') == std::string::npos ? std::string() : command.substr(command.find(' ') + 1);
        if (verb == "quit")
            break;
        if (verb == "window") {
            if (!Attach()) {
                printf("NOWINDOW\n");
                continue;
            }
            RECT rect;
            GetWindowRect(g_window, &rect);
            printf("WINDOW %ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
            continue;
        }
        if (!g_window) {
            printf("ERROR no window\n");
            continue;
        }
        if (verb == "move") {
            int x = atoi(rest.c_str());
            int y = atoi(rest.substr(rest.find(' ') + 1).c_str());
            SetWindowPos(g_window, HWND_TOP, x, y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
            printf("OK\n");
        } else if (verb == "tree") {
            DumpTree(Control(kTree), nullptr, 0);
            printf("END\n");
        } else if (verb == "select") {
            printf(SelectPath(rest) ? "OK\n" : "MISSING\n");
        } else if (verb == "list") {
            HWND list = Control(kList);
            int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
            for (int row = 0; row < count; ++row)
                printf("ITEM %s\t%s\n", ListText(list, row, 0).c_str(), ListText(list, row, 1).c_str());
            printf("END\n");
        } else if (verb == "click") {
            printf(ClickRow(Control(kList), rest) ? "OK\n" : "MISSING\n");
        } else if (verb == "transfers") {
            HWND view = Control(kTransfers);
            int count = static_cast<int>(SendMessageA(view, LVM_GETITEMCOUNT, 0, 0));
            for (int row = 0; row < count; ++row)
                printf("ROW %s\t%s\t%s\n", ListText(view, row, 0).c_str(), ListText(view, row, 1).c_str(),
                       ListText(view, row, 2).c_str());
            printf("END\n");
        } else if (verb == "clickrow") {
            printf(ClickRow(Control(kTransfers), rest) ? "OK\n" : "MISSING\n");
        } else if (verb == "command") {
            PostMessageA(g_window, WM_COMMAND, static_cast<WPARAM>(atoi(rest.c_str())), 0);
            printf("OK\n");
        } else if (verb == "chat") {
            HWND chat = ChatBox();
            if (!chat) {
                printf("MISSING\n");
                continue;
            }
            SendMessageA(GetDlgItem(chat, 1002), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(rest.c_str()));
            PostMessageA(GetDlgItem(chat, 1003), BM_CLICK, 0, 0);
            printf("OK\n");
        } else if (verb == "history") {
            HWND chat = ChatBox();
            printf("HISTORY %s\n", chat ? OneLine(WindowText(GetDlgItem(chat, 1001))).c_str() : "");
        } else if (verb == "box") {
            HWND box = MessageBoxWindow();
            if (box)
                printf("BOX %s\n", OneLine(WindowText(GetDlgItem(box, 0xFFFF))).c_str());
            else
                printf("NOBOX\n");
        } else if (verb == "answer") {
            HWND box = MessageBoxWindow();
            HWND button = box ? GetDlgItem(box, atoi(rest.c_str())) : nullptr;
            if (button)
                PostMessageA(button, BM_CLICK, 0, 0);
            printf(button ? "OK\n" : "MISSING\n");
        } else if (verb == "ping") {
            int count = atoi(rest.c_str());
            int pause = atoi(rest.substr(rest.find(' ') + 1).c_str());
            Ping(count, pause);
        } else {
            printf("ERROR %s\n", command.c_str());
        }
    }
    if (g_remote)
        VirtualFreeEx(g_process, g_remote, 0, MEM_RELEASE);
    if (g_process)
        CloseHandle(g_process);
    return 0;
}
