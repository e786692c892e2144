// Drives a running plexaconf.exe through its windows, as a user would, for the integration
// scenario: it runs in the same Wine prefix (and so on the same desktop), finds the wizard's
// sheet and message boxes by their captions, and sends the wizard's controls the messages
// clicks and typing would. Commands on standard input, one answer line each:
//
//   page SECONDS               waits for the sheet; "PAGE n" (1-7) of the page shown, "PAGE none"
//   wait-page N SECONDS        waits until page N shows; "PAGE n" of the page shown then
//   click next|back|finish|cancel   presses a sheet button; "OK"
//   buttons                    "BUTTONS back=0|1 next=0|1 finish=0|1 cancel=0|1" (enabled)
//   set ID TEXT                types TEXT into control ID of the page; "OK"
//   press ID                   clicks button ID of the page (without waiting for it); "OK"
//   text ID                    "TEXT ..." of control ID of the page
//   list ID                    "LIST n", then "ITEM text" per entry of list box ID
//   select ID INDEX            selects entry INDEX of list box ID; "OK"
//   progress ID                "PROGRESS pos max" of progress bar ID
//   message SECONDS            waits for a message box; "MESSAGE caption|text" ("\r" as "\\r")
//   answer ok|yes|no           closes the message box with that button; "OK"
//   rect                       "RECT left top right bottom" of the sheet
//   quit
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <stdio.h>
#include <string.h>

#include <string>

namespace {

const int kBack = 0x3023;
const int kNext = 0x3024;
const int kFinish = 0x3025;
const int kMessageText = 0xFFFF;

std::string g_caption; // the wizard's caption, from its own string table
HWND g_message = nullptr;

void Reply(const std::string& line)
{
    printf("%s\n", line.c_str());
    fflush(stdout);
}

std::string WindowText(HWND window)
{
    char text[4096] = "";
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000, nullptr);
    return text;
}

std::string Escape(std::string text)
{
    std::string out;
    for (char c : text)
        out += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
    return out;
}

struct tFound {
    HWND sheet = nullptr;
    HWND message = nullptr;
};

BOOL CALLBACK Classify(HWND window, LPARAM parameter)
{
    tFound& found = *reinterpret_cast<tFound*>(parameter);
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (strcmp(className, "#32770") != 0 || !IsWindowVisible(window))
        return TRUE;
    if (GetDlgItem(window, kNext) && WindowText(window) == g_caption)
        found.sheet = window;
    else if (GetDlgItem(window, kMessageText))
        found.message = window;
    return TRUE;
}

tFound Find()
{
    tFound found;
    EnumWindows(Classify, reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND Page(HWND sheet)
{
    return sheet ? reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)) : nullptr;
}

// Which page: by a control only that page has.
int PageNumber(HWND page)
{
    const int marks[7] = {1001, 1101, 1203, 1302, 1401, 1501, 1602};
    for (int i = 0; i < 7; ++i)
        if (page && GetDlgItem(page, marks[i]))
            return i + 1;
    return 0;
}

std::string PageLine(int number)
{
    return number ? "PAGE " + std::to_string(number) : std::string("PAGE none");
}

int WaitPage(int wanted, double seconds)
{
    DWORD end = GetTickCount() + static_cast<DWORD>(seconds * 1000);
    int number = 0;
    do {
        number = PageNumber(Page(Find().sheet));
        if (number && (wanted == 0 || number == wanted))
            return number;
        Sleep(50);
    } while (static_cast<LONG>(GetTickCount() - end) < 0);
    return number;
}

HWND Control(int id)
{
    return GetDlgItem(Page(Find().sheet), id);
}

void Run(const std::string& command)
{
    char verb[32] = "";
    sscanf(command.c_str(), "%31s", verb);
    std::string rest = command.size() > strlen(verb) ? command.substr(strlen(verb) + 1) : std::string();
    std::string v = verb;
    if (v == "page") {
        Reply(PageLine(WaitPage(0, atof(rest.c_str()))));
    } else if (v == "wait-page") {
        int wanted = 0;
        double seconds = 0;
        sscanf(rest.c_str(), "%d %lf", &wanted, &seconds);
        Reply(PageLine(WaitPage(wanted, seconds)));
    } else if (v == "click") {
        int button = rest == "next" ? PSBTN_NEXT : rest == "back" ? PSBTN_BACK : rest == "finish" ? PSBTN_FINISH : PSBTN_CANCEL;
        PostMessageA(Find().sheet, PSM_PRESSBUTTON, static_cast<WPARAM>(button), 0);
        Reply("OK");
    } else if (v == "buttons") {
        HWND sheet = Find().sheet;
        auto on = [&](int id) { return GetDlgItem(sheet, id) && IsWindowEnabled(GetDlgItem(sheet, id)) && IsWindowVisible(GetDlgItem(sheet, id)) ? "1" : "0"; };
        Reply(std::string("BUTTONS back=") + on(kBack) + " next=" + on(kNext) + " finish=" + on(kFinish) + " cancel=" + on(IDCANCEL));
    } else if (v == "set") {
        int id = atoi(rest.c_str());
        std::string text = rest.find(' ') == std::string::npos ? std::string() : rest.substr(rest.find(' ') + 1);
        SendMessageA(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        Reply("OK");
    } else if (v == "press") {
        int id = atoi(rest.c_str());
        HWND page = Page(Find().sheet);
        PostMessageA(page, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(page, id)));
        Reply("OK");
    } else if (v == "text") {
        Reply("TEXT " + Escape(WindowText(Control(atoi(rest.c_str())))));
    } else if (v == "list") {
        HWND list = Control(atoi(rest.c_str()));
        int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
        Reply("LIST " + std::to_string(count < 0 ? 0 : count));
        for (int i = 0; i < count; ++i) {
            // Across processes Wine hands list box texts over as UTF-16 whatever was asked.
            wchar_t wide[512] = L"";
            char text[1024] = "";
            if (SendMessageW(list, LB_GETTEXTLEN, i, 0) < static_cast<LRESULT>(sizeof wide / sizeof wide[0]))
                SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(wide));
            WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, sizeof text, nullptr, nullptr);
            Reply(std::string("ITEM ") + text);
        }
    } else if (v == "select") {
        int id = 0, index = 0;
        sscanf(rest.c_str(), "%d %d", &id, &index);
        SendMessageA(Control(id), LB_SETSEL, TRUE, index);
        Reply("OK");
    } else if (v == "progress") {
        HWND bar = Control(atoi(rest.c_str()));
        Reply("PROGRESS " + std::to_string(SendMessageA(bar, PBM_GETPOS, 0, 0)) + " " +
              std::to_string(SendMessageA(bar, PBM_GETRANGE, FALSE, 0)));
    } else if (v == "message") {
        DWORD end = GetTickCount() + static_cast<DWORD>(atof(rest.c_str()) * 1000);
        g_message = nullptr;
        do {
            g_message = Find().message;
            if (!g_message)
                Sleep(50);
        } while (!g_message && static_cast<LONG>(GetTickCount() - end) < 0);
        Reply(g_message ? "MESSAGE " + WindowText(g_message) + "|" + Escape(WindowText(GetDlgItem(g_message, kMessageText)))
                        : std::string("MESSAGE none"));
    } else if (v == "answer") {
        int id = rest == "yes" ? IDYES : rest == "no" ? IDNO : IDOK;
        PostMessageA(g_message, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(g_message, id)));
        Reply("OK");
    } else if (v == "rect") {
        RECT r = {};
        GetWindowRect(Find().sheet, &r);
        Reply("RECT " + std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right) + " " +
              std::to_string(r.bottom));
    } else {
        Reply("ERROR " + command);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: plexaconf_driver PLEXACONF.EXE\n");
        return 2;
    }
    // The captions are the wizard's own texts, in the language it shows.
    HMODULE wizard = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    char caption[256] = "";
    if (!wizard || !LoadStringA(wizard, 2000, caption, sizeof caption)) {
        fprintf(stderr, "plexaconf_driver: no caption in %s\n", argv[1]);
        return 2;
    }
    g_caption = caption;
    Reply("READY");
    char line[4096];
    while (fgets(line, sizeof line, stdin)) {
        std::string command = line;
        while (!command.empty() && (command.back() == '\n' || command.back() == '\r'))
            command.pop_back();
        if (command == "quit")
            break;
        if (!command.empty())
            Run(command);
    }
    return 0;
}
