// Drives tidemark.exe from outside, through its dialogs' controls, in a Wine prefix made for
// the run: fills the URL cache, the History folder and the MRU keys, ticks options, presses
// Delete, Cancel and Close, and checks what is gone and what stays.
//
// Usage: tidemark_scenario.exe TIDEMARK.EXE                 the checks; exit code 0 when all pass
//        tidemark_scenario.exe TIDEMARK.EXE --screenshots   stops at "READY <what> x y w h" lines
//                                                           and goes on at each line on stdin
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <wininet.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "common/raii.h"
#include "common/registry.h"
#include "common/thread.h"
#include "tidemark/option_store.h"
#include "tidemark/res/resource.h"
#include "tidemark/rules.h"

namespace {

int g_failures = 0;
bool g_screenshots = false;

void Check(bool ok, const std::string& what)
{
    printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    fflush(stdout);
    if (!ok)
        ++g_failures;
}

// Answers this thread's windows (the listener) while waiting.
void Pump(DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        DWORD spent = GetTickCount() - start;
        if (spent >= ms)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - spent < 10 ? ms - spent : 10, QS_ALLINPUT);
    }
}

template <class F>
bool WaitFor(F condition, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Pump(10);
    }
    return true;
}

// ---------------------------------------------------------------- the stores

struct tCacheState {
    int cookies = 0;
    int others = 0;
    int visited = 0;
};

tCacheState ReadCache()
{
    tCacheState state;
    std::vector<uint64_t> buffer(65536 / 8);
    auto* entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data());
    DWORD size = 65536;
    HANDLE find = FindFirstUrlCacheEntryA(nullptr, entry, &size);
    if (!find)
        return state;
    do {
        if (entry->CacheEntryType & kUrlHistoryEntryType)
            ++state.visited;
        else if (entry->CacheEntryType & kCookieEntryType)
            ++state.cookies;
        else
            ++state.others;
        size = 65536;
    } while (FindNextUrlCacheEntryA(find, entry, &size));
    FindCloseUrlCache(find);
    return state;
}

std::string FileUrl(int i)
{
    return "http://static.example/files/" + std::to_string(i) + ".js";
}

bool FillCache()
{
    bool ok = true;
    for (int i = 0; i < 10; ++i) {
        std::string site = "http://site" + std::to_string(i) + ".example/";
        ok = InternetSetCookieA(site.c_str(), "id", "4711; expires=Sat, 01-Jan-2050 00:00:00 GMT") && ok;
    }
    for (int i = 0; i < 50; ++i) {
        std::string url = FileUrl(i);
        char file[MAX_PATH] = {};
        if (!CreateUrlCacheEntryA(url.c_str(), 0, "js", file, 0)) {
            ok = false;
            continue;
        }
        raii::CHandle handle(CreateFileA(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        WriteFile(handle.Get(), "var x = 1;\n", 11, &written, nullptr);
        handle.Close();
        FILETIME none = {};
        ok = CommitUrlCacheEntryA(url.c_str(), file, none, none, NORMAL_CACHE_ENTRY, nullptr, 0, nullptr, nullptr) && ok;
    }
    return ok;
}

bool FillHistoryEntries()
{
    bool ok = true;
    for (int i = 0; i < 5; ++i) {
        std::string url = "Visited: user@http://site" + std::to_string(i) + ".example/";
        FILETIME none = {};
        ok = CommitUrlCacheEntryA(url.c_str(), nullptr, none, none, URLHISTORY_CACHE_ENTRY | NORMAL_CACHE_ENTRY,
                                  nullptr, 0, nullptr, nullptr) && ok;
    }
    return ok;
}

std::string HistoryFolder()
{
    char folder[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, folder, CSIDL_HISTORY, TRUE);
    return folder;
}

// Wine's shell lists the History folder sorted, so the URL cache's own "History.IE5" comes
// before this entry: the run must pass over it to reach this one.
std::string HistoryEntryPath()
{
    return HistoryFolder() + "\\Today";
}

int CountFiles(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    raii::CFindHandle find(FindFirstFileA((folder + "\\*").c_str(), &found));
    if (!find)
        return -1;
    int count = 0;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            ++count;
    } while (FindNextFileA(find.Get(), &found));
    return count;
}

const int kHistoryPages = 120;

bool FillHistoryFolder()
{
    std::string entry = HistoryEntryPath();
    CreateDirectoryA(entry.c_str(), nullptr);
    bool ok = true;
    for (int i = 0; i < kHistoryPages; ++i) {
        char name[32];
        snprintf(name, sizeof name, "\\page-%03d.url", i);
        raii::CHandle file(CreateFileA((entry + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        std::string text = "[InternetShortcut]\r\nURL=http://site" + std::to_string(i) + ".example/\r\n";
        DWORD written = 0;
        ok = file && WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && ok;
    }
    return ok;
}

bool FillRecentLists()
{
    bool ok = true;
    for (const char* path : kRecentListKeys) {
        CRegistryKey key;
        ok = key.Create(HKEY_CURRENT_USER, path) && key.SetString("a", "C:\\private\\letter.doc") &&
             key.SetString("MRUList", "a") && ok;
    }
    return ok;
}

int RecentListsLeft()
{
    int left = 0;
    for (const char* path : kRecentListKeys)
        left += CRegistryKey::Exists(HKEY_CURRENT_USER, path);
    return left;
}

// ---------------------------------------------------------------- broadcast listener

std::vector<std::string> g_heard;
bool g_holdAtSecondKey = false;

void Ready(const char* what, HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    printf("READY %s %ld %ld %ld %ld\n", what, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    fflush(stdout);
    char line[64];
    fgets(line, sizeof line, stdin);
}

HWND FindProgress();

LRESULT CALLBACK ListenerProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETTINGCHANGE && lParam) {
        std::wstring text(reinterpret_cast<const wchar_t*>(lParam));
        g_heard.emplace_back(text.begin(), text.end());
        // The run waits in its broadcast while the picture is taken: the progress dialog
        // shows the middle of the run.
        if (g_holdAtSecondKey && g_heard.back() == kRecentListKeys[1]) {
            g_holdAtSecondKey = false;
            if (HWND progress = FindProgress()) {
                Sleep(600); // let the dialog paint the last steps
                Ready("progress", progress);
            }
        }
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND MakeListener()
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = ListenerProcedure;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = L"TidemarkScenarioListener";
    RegisterClassW(&wc);
    return CreateWindowW(wc.lpszClassName, L"listener", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
}

// A top-level window whose thread stops answering: broadcasts must not wait for it for long.
void MakeHungWindow(CThread& thread)
{
    raii::CHandle made(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    HANDLE event = made.Get();
    thread.Start([event](CThread& self) {
        HWND window = CreateWindowA("STATIC", "hung", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        SetEvent(event);
        self.WaitForStop(INFINITE);
        DestroyWindow(window);
    });
    WaitForSingleObject(event, 10000);
}

// ---------------------------------------------------------------- tidemark.exe

std::string g_program;
DWORD g_pid = 0;

struct tFound {
    int control;
    HWND window;
};

BOOL CALLBACK FindOfProcess(HWND hwnd, LPARAM lParam)
{
    auto* found = reinterpret_cast<tFound*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == g_pid && IsWindowVisible(hwnd) && GetDlgItem(hwnd, found->control)) {
        found->window = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND FindDialog(int control)
{
    tFound found = {control, nullptr};
    EnumWindows(FindOfProcess, reinterpret_cast<LPARAM>(&found));
    return found.window;
}

HWND FindProgress()
{
    return FindDialog(IDC_PROGRESS_BAR);
}

class CTidemark {
public:
    bool Start()
    {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE read = nullptr, write = nullptr;
        if (!CreatePipe(&read, &write, &inherit, 0))
            return false;
        m_read.Attach(read);
        raii::CHandle writeEnd(write);
        SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA start = {};
        start.cb = sizeof start;
        start.dwFlags = STARTF_USESTDHANDLES;
        start.hStdOutput = write;
        start.hStdError = write;
        start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        std::string command = "\"" + g_program + "\" /debug:stdout";
        PROCESS_INFORMATION info = {};
        if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &info))
            return false;
        m_process.Attach(info.hProcess);
        CloseHandle(info.hThread);
        g_pid = info.dwProcessId;
        writeEnd.Close();
        m_reader.Start([this](CThread&) {
            char buffer[4096];
            DWORD got = 0;
            while (ReadFile(m_read.Get(), buffer, sizeof buffer, &got, nullptr) && got) {
                raii::CLock lock(m_lock);
                m_output.append(buffer, got);
            }
        });
        return WaitFor([this] { return (m_main = FindDialog(IDC_DELETE)) != nullptr; }, 30000);
    }

    HWND Main() const { return m_main; }

    std::string Output()
    {
        raii::CLock lock(m_lock);
        return m_output;
    }

    bool Box(int id) const { return SendMessageA(GetDlgItem(m_main, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

    // Ticks exactly the given boxes by clicking the others.
    void Tick(std::vector<int> ids)
    {
        for (int id : {IDC_COOKIES, IDC_TEMPFILES, IDC_HISTORY, IDC_RECENT_LISTS, IDC_FORM_DATA, IDC_PASSWORDS}) {
            bool wanted = false;
            for (int want : ids)
                wanted = wanted || want == id;
            if (Box(id) != wanted)
                SendMessageA(GetDlgItem(m_main, id), BM_CLICK, 0, 0);
        }
    }

    // Presses Delete and waits for the progress dialog; its bar's range comes back.
    HWND PressDelete(unsigned& range)
    {
        PostMessageA(GetDlgItem(m_main, IDC_DELETE), BM_CLICK, 0, 0);
        HWND progress = nullptr;
        WaitFor([&] { return (progress = FindProgress()) != nullptr; }, 30000);
        range = 0;
        if (progress) {
            HWND bar = GetDlgItem(progress, IDC_PROGRESS_BAR);
            // the range is set when the dialog has counted the cache
            WaitFor([&] { return (range = static_cast<unsigned>(SendMessageA(bar, PBM_GETRANGE, FALSE, 0))) != 0 ||
                                 !IsWindow(progress); },
                    5000);
        }
        return progress;
    }

    bool WaitGone(HWND window, DWORD timeoutMs)
    {
        return WaitFor([window] { return !IsWindow(window); }, timeoutMs);
    }

    // Ends the program with Close (saves) or Escape (does not); true when it exited.
    bool Leave(bool save)
    {
        PostMessageA(m_main, WM_COMMAND, MAKEWPARAM(save ? IDOK : IDCANCEL, BN_CLICKED), 0);
        bool ended = WaitFor([this] { return WaitForSingleObject(m_process.Get(), 0) == WAIT_OBJECT_0; }, 30000);
        m_reader.Join(5000);
        return ended;
    }

private:
    raii::CHandle m_process;
    raii::CHandle m_read;
    CThread m_reader;
    raii::CCriticalSection m_lock;
    std::string m_output;
    HWND m_main = nullptr;
};

std::string StatusText(HWND progress)
{
    char text[512] = {};
    SendMessageA(GetDlgItem(progress, IDC_PROGRESS_TEXT), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

DWORD StoredOption(const char* name)
{
    CRegistryKey key;
    DWORD value = 99;
    if (key.Open(HKEY_CURRENT_USER, kOptionsKey))
        key.GetDword(name, value);
    return value;
}

size_t CountLines(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// ---------------------------------------------------------------- the scenario

void OnlyCookies()
{
    printf("-- only cookies ticked\n");
    CTidemark tidemark;
    Check(tidemark.Start(), "tidemark.exe shows its main dialog");
    bool allTicked = true;
    for (int id : {IDC_COOKIES, IDC_TEMPFILES, IDC_HISTORY, IDC_RECENT_LISTS, IDC_FORM_DATA, IDC_PASSWORDS})
        allTicked = allTicked && tidemark.Box(id);
    Check(allTicked, "without stored options every box is ticked");
    tidemark.Tick({IDC_COOKIES});
    unsigned range = 0;
    HWND progress = tidemark.PressDelete(range);
    Check(progress != nullptr, "Delete shows the progress dialog");
    Check(range == 10, "the bar's range is the 10 cookies (" + std::to_string(range) + ")");
    Check(tidemark.WaitGone(progress, 60000), "the progress dialog closes when the run is over");
    tCacheState cache = ReadCache();
    Check(cache.cookies == 0, "the cookies are gone (" + std::to_string(cache.cookies) + " left)");
    Check(cache.others == 50, "the 50 other entries stay (" + std::to_string(cache.others) + ")");
    Check(cache.visited == 5, "the history entries stay (" + std::to_string(cache.visited) + ")");
    Check(RecentListsLeft() == 4, "the MRU keys stay");
    Check(CountFiles(HistoryEntryPath()) == kHistoryPages, "the History folder stays");
    std::string trace = tidemark.Output();
    Check(CountLines(trace, "): URL: ") == 65, "every cache entry is traced (" +
                                                  std::to_string(CountLines(trace, "): URL: ")) + ")");
    Check(tidemark.Leave(false), "Escape ends the program");
    Check(!CRegistryKey::Exists(HKEY_CURRENT_USER, kOptionsKey), "Escape stores no options");
}

void OnlyRecentListsWithAHungWindow(DWORD hungSince)
{
    printf("-- only the recent lists, with a hung top-level window\n");
    // Wine takes a window for hung once its thread has not asked for messages for 5 s.
    DWORD hungFor = GetTickCount() - hungSince;
    if (hungFor < 6000)
        Pump(6000 - hungFor);
    CTidemark tidemark;
    Check(tidemark.Start(), "tidemark.exe starts again");
    tidemark.Tick({IDC_RECENT_LISTS});
    g_heard.clear();
    DWORD start = GetTickCount();
    unsigned range = 0;
    HWND progress = tidemark.PressDelete(range);
    Check(range == 800, "the bar's range is 4 x 200 (" + std::to_string(range) + ")");
    bool ended = tidemark.WaitGone(progress, 150000);
    DWORD took = GetTickCount() - start;
    Check(ended, "the run ends");
    Check(took < 40000, "a hung window holds the run up no longer than one broadcast time-out (" +
                            std::to_string(took) + " ms)");
    Check(RecentListsLeft() == 0, "the four MRU keys are gone");
    std::vector<std::string> expected(kRecentListKeys, kRecentListKeys + kRecentListKeyCount);
    Check(g_heard == expected, "each deleted key is announced to every window, in order");
    Check(ReadCache().others == 50, "the cache is left alone");
    Check(tidemark.Leave(true), "Close ends the program");
    Check(StoredOption("delmrus") == 1 && StoredOption("delcookies") == 0 && StoredOption("deltempfiles") == 0 &&
              StoredOption("delhistory") == 0 && StoredOption("delform") == 0 && StoredOption("delpwd") == 0,
          "Close stores the six boxes as 1 and 0");
}

void CancelDuringTheHistoryFolder()
{
    printf("-- cancel during the History folder pass\n");
    Check(FillRecentLists(), "the MRU keys are filled again");
    CTidemark tidemark;
    Check(tidemark.Start(), "tidemark.exe starts again");
    bool stored = tidemark.Box(IDC_RECENT_LISTS) && !tidemark.Box(IDC_COOKIES) && !tidemark.Box(IDC_HISTORY);
    Check(stored, "the boxes show the stored options");
    tidemark.Tick({IDC_COOKIES, IDC_TEMPFILES, IDC_HISTORY, IDC_RECENT_LISTS, IDC_FORM_DATA, IDC_PASSWORDS});
    size_t traceBefore = tidemark.Output().size();
    tCacheState before = ReadCache();
    unsigned range = 0;
    HWND progress = tidemark.PressDelete(range);
    unsigned sum = static_cast<unsigned>(before.cookies + before.others) + 200 + 800 + 100 + 100;
    Check(range == sum, "the bar's range is the sum of all weights (" + std::to_string(range) + " of " +
                            std::to_string(sum) + ")");
    std::string shown;
    bool inFolder = WaitFor([&] {
        shown = StatusText(progress);
        return shown.compare(0, 5, "page-") == 0 || !IsWindow(progress);
    }, 60000);
    Check(inFolder && IsWindow(progress), "the History folder items are shown one by one (" + shown + ")");
    SendMessageA(GetDlgItem(progress, IDCANCEL), BM_CLICK, 0, 0);
    Check(tidemark.WaitGone(progress, 60000), "Cancel ends the run");
    int pagesLeft = CountFiles(HistoryEntryPath());
    Check(pagesLeft > 0 && pagesLeft < kHistoryPages, "the History folder pass stopped part way (" +
                                                          std::to_string(pagesLeft) + " items left)");
    Check(RecentListsLeft() == 4, "the recent lists phase was skipped");
    tCacheState cache = ReadCache();
    Check(cache.others == 50, "the cache pass was skipped");
    Check(tidemark.Output().find("): URL: ", traceBefore) == std::string::npos, "no cache entry was looked at");
    Check(tidemark.Leave(false), "Escape ends the program");
    Check(StoredOption("delcookies") == 0 && StoredOption("delmrus") == 1, "the options stored before stay");
}

void EverythingWithALockedEntry()
{
    printf("-- everything, one cache entry locked\n");
    Check(FillCache(), "10 cookies and 50 files are in the cache again");
    std::vector<uint64_t> buffer(8192 / 8);
    DWORD size = 8192;
    std::string locked = FileUrl(7);
    Check(RetrieveUrlCacheEntryFileA(locked.c_str(), reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data()),
                                     &size, 0) != FALSE,
          "one entry is held open");
    CTidemark tidemark;
    Check(tidemark.Start(), "tidemark.exe starts again");
    tidemark.Tick({IDC_COOKIES, IDC_TEMPFILES, IDC_HISTORY, IDC_RECENT_LISTS, IDC_FORM_DATA, IDC_PASSWORDS});
    unsigned range = 0;
    HWND progress = tidemark.PressDelete(range);
    Check(tidemark.WaitGone(progress, 120000), "the run ends although an entry cannot be deleted");
    tCacheState cache = ReadCache();
    Check(cache.others >= 1, "the locked entry stays");
    Check(cache.visited == 5, "history entries always stay (" + std::to_string(cache.visited) + ")");
    Check(GetFileAttributesA(HistoryEntryPath().c_str()) == INVALID_FILE_ATTRIBUTES,
          "the History folder entry is gone with its items");
    Check(GetFileAttributesA((HistoryFolder() + "\\History.IE5\\index.dat").c_str()) != INVALID_FILE_ATTRIBUTES,
          "the URL cache's own folder in the History folder stays");
    Check(RecentListsLeft() == 0, "the MRU keys are gone");
    // The failed deletion marked the entry; it goes when it is let go.
    UnlockUrlCacheEntryFileA(locked.c_str(), 0);
    cache = ReadCache();

    printf("-- the cache once more, nothing locked\n");
    tidemark.Tick({IDC_COOKIES, IDC_TEMPFILES});
    progress = tidemark.PressDelete(range);
    Check(range == static_cast<unsigned>(cache.cookies + cache.others), "the range counts what is left (" +
                                                                         std::to_string(range) + ")");
    Check(tidemark.WaitGone(progress, 60000), "the run ends");
    cache = ReadCache();
    Check(cache.cookies == 0 && cache.others == 0 && cache.visited == 5,
          "cookies and files are gone, history entries stay");
    Check(tidemark.Leave(true), "Close ends the program");
    Check(StoredOption("delcookies") == 1 && StoredOption("deltempfiles") == 1 && StoredOption("delmrus") == 0,
          "Close stores the boxes of the moment");
}

int Scenario()
{
    CThread hung;
    MakeHungWindow(hung);
    DWORD hungSince = GetTickCount();
    Check(FillCache() && FillHistoryEntries(), "10 cookies, 50 files and 5 history entries are in the cache");
    tCacheState cache = ReadCache();
    Check(cache.cookies == 10 && cache.others == 50 && cache.visited == 5, "the cache holds them");
    Check(FillHistoryFolder(), "the History folder has an entry with 120 items");
    Check(FillRecentLists(), "the four MRU keys are filled");
    OnlyCookies();
    OnlyRecentListsWithAHungWindow(hungSince);
    CancelDuringTheHistoryFolder();
    EverythingWithALockedEntry();
    hung.RequestStop();
    printf("%d failed\n", g_failures);
    return g_failures == 0 ? 0 : 1;
}

int Screenshots()
{
    FillCache();
    FillHistoryEntries();
    FillRecentLists();
    std::string entry = HistoryEntryPath();
    CreateDirectoryA(entry.c_str(), nullptr);
    CTidemark tidemark;
    if (!tidemark.Start())
        return 1;
    tidemark.Tick({IDC_COOKIES, IDC_TEMPFILES, IDC_HISTORY, IDC_RECENT_LISTS, IDC_FORM_DATA});
    Pump(500);
    Ready("main", tidemark.Main());
    g_holdAtSecondKey = true;
    unsigned range = 0;
    HWND progress = tidemark.PressDelete(range);
    tidemark.WaitGone(progress, 60000);
    tidemark.Leave(false);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: tidemark_scenario TIDEMARK.EXE [--screenshots]\n");
        return 2;
    }
    g_program = argv[1];
    g_screenshots = argc > 2 && strcmp(argv[2], "--screenshots") == 0;
    HWND listener = MakeListener();
    if (!listener) {
        fprintf(stderr, "no window can be made: is there a display?\n");
        return 2;
    }
    int result = g_screenshots ? Screenshots() : Scenario();
    DestroyWindow(listener);
    return result;
}
