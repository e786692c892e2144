#include "common/ui/window.h"
#include "common/ui/window_internal.h"

#include <exception>
#include <map>
#include <vector>

#include "common/raii.h"
#include "common/trace.h"

namespace ui {

namespace {

// Posted tasks wait here, keyed by a number that travels in the message: a message that is
// never delivered (its window went) leaves only an entry, which the window's end or a later
// post removes, never a dangling pointer.
struct tPendingTask {
    HWND window;
    std::function<void()> task;
};

struct tTaskTable {
    raii::CCriticalSection lock;
    std::map<ULONG_PTR, tPendingTask> tasks;
    ULONG_PTR next = 1;
};

tTaskTable& Tasks()
{
    static tTaskTable table;
    return table;
}

// Takes out the tasks of windows that no longer exist (or of the one given), so that they
// are destroyed outside the lock.
void CollectTasks(HWND ending, std::vector<std::function<void()>>& out)
{
    tTaskTable& table = Tasks();
    raii::CLock lock(table.lock);
    for (auto it = table.tasks.begin(); it != table.tasks.end();) {
        if (it->second.window == ending || !::IsWindow(it->second.window)) {
            out.push_back(std::move(it->second.task));
            it = table.tasks.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace

UINT TaskMessage()
{
    static const UINT message = RegisterWindowMessageA("VelmoraUiTask");
    return message;
}

namespace {

LRESULT RunTaskMessage(LPARAM lParam)
{
    std::function<void()> task;
    {
        tTaskTable& table = Tasks();
        raii::CLock lock(table.lock);
        auto it = table.tasks.find(static_cast<ULONG_PTR>(lParam));
        if (it == table.tasks.end())
            return 0;
        task = std::move(it->second.task);
        table.tasks.erase(it);
    }
    CWindow::Guarded("posted task", task);
    return 1;
}

} // namespace

bool PostTask(HWND window, std::function<void()> task)
{
    std::vector<std::function<void()>> stale;
    CollectTasks(nullptr, stale);
    if (!::IsWindow(window))
        return false;
    ULONG_PTR id;
    {
        tTaskTable& table = Tasks();
        raii::CLock lock(table.lock);
        id = table.next++;
        table.tasks[id] = tPendingTask{window, std::move(task)};
    }
    if (PostMessageA(window, TaskMessage(), 0, static_cast<LPARAM>(id)))
        return true;
    tTaskTable& table = Tasks();
    raii::CLock lock(table.lock);
    table.tasks.erase(id);
    return false;
}

bool SendTask(HWND window, const std::function<void()>& task)
{
    if (!::IsWindow(window))
        return false;
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        CWindow::Guarded("sent task", task);
        return true;
    }
    // The pointer stays valid: SendMessage returns only after the window thread ran it.
    return SendMessageA(window, TaskMessage(), 1, reinterpret_cast<LPARAM>(&task)) == 1;
}

namespace {

// Runs a task sent synchronously (wParam 1) or posted (wParam 0); 0 when the message is not
// a task message.
bool HandleTask(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (message != TaskMessage())
        return false;
    if (wParam == 1) {
        auto task = reinterpret_cast<const std::function<void()>*>(lParam);
        CWindow::Guarded("sent task", *task);
        result = 1;
    } else {
        result = RunTaskMessage(lParam);
    }
    return true;
}

void DropTasksOf(HWND hwnd)
{
    std::vector<std::function<void()>> dropped;
    CollectTasks(hwnd, dropped);
}

} // namespace

bool CWindow::Guarded(const char* where, const std::function<void()>& handler)
{
    try {
        handler();
        return true;
    } catch (const std::exception& error) {
        TraceHere("%s ended by an exception: %s\n", where, error.what());
    } catch (...) {
        TraceHere("%s ended by an exception\n", where);
    }
    return false;
}

std::string CWindow::ItemText(int id) const
{
    HWND item = Item(id);
    int length = item ? GetWindowTextLengthA(item) : 0;
    if (length <= 0)
        return std::string();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int copied = GetWindowTextA(item, &text[0], length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

void CWindow::SetItemText(int id, const std::string& text) const
{
    SetDlgItemTextA(m_hwnd, id, text.c_str());
}

bool CWindow::IsChecked(int id) const
{
    return IsDlgButtonChecked(m_hwnd, id) == BST_CHECKED;
}

void CWindow::Check(int id, bool checked) const
{
    CheckDlgButton(m_hwnd, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void CWindow::EnableItem(int id, bool enabled) const
{
    EnableWindow(Item(id), enabled ? TRUE : FALSE);
}

void CWindow::ShowItem(int id, bool shown) const
{
    ShowWindow(Item(id), shown ? SW_SHOW : SW_HIDE);
}

LRESULT CWindow::SendItem(int id, UINT message, WPARAM wParam, LPARAM lParam) const
{
    return SendDlgItemMessageA(m_hwnd, id, message, wParam, lParam);
}

std::string CWindow::Text() const
{
    int length = m_hwnd ? GetWindowTextLengthA(m_hwnd) : 0;
    if (length <= 0)
        return std::string();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int copied = GetWindowTextA(m_hwnd, &text[0], length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

void CWindow::SetText(const std::string& text) const
{
    SetWindowTextA(m_hwnd, text.c_str());
}

bool CWindowImpl::RegisterClass(HINSTANCE instance, const char* className, HICON icon,
                                HICON smallIcon, HBRUSH background, const char* menu, UINT style)
{
    WNDCLASSEXA existing = {};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExA(instance, className, &existing))
        return true;
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = style;
    wc.lpfnWndProc = Procedure;
    wc.hInstance = instance;
    wc.hIcon = icon;
    wc.hIconSm = smallIcon;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = background ? background : reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszMenuName = menu;
    wc.lpszClassName = className;
    if (RegisterClassExA(&wc))
        return true;
    TraceHere("RegisterClassEx failed for %s\n", className);
    TraceLastError();
    return false;
}

HWND CWindowImpl::Create(HINSTANCE instance, const char* className, const char* title,
                         DWORD style, DWORD exStyle, int x, int y, int width, int height,
                         HWND parent, HMENU menu)
{
    return CreateWindowExA(exStyle, className, title, style, x, y, width, height, parent, menu,
                           instance, this);
}

void CWindowImpl::Destroy()
{
    if (m_hwnd)
        DestroyWindow(m_hwnd);
}

bool CWindowImpl::OnMessage(UINT, WPARAM, LPARAM, LRESULT&)
{
    return false;
}

LRESULT CWindowImpl::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(m_hwnd, message, wParam, lParam);
}

LRESULT CALLBACK CWindowImpl::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWindowImpl* self = nullptr;
    if (message == WM_NCCREATE) {
        auto create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        self = static_cast<CWindowImpl*>(create->lpCreateParams);
        if (self) {
            self->m_hwnd = hwnd;
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
    } else {
        self = reinterpret_cast<CWindowImpl*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    if (!self)
        return DefWindowProcA(hwnd, message, wParam, lParam);

    LRESULT result = 0;
    if (HandleTask(message, wParam, lParam, result))
        return result;
    bool handled = false;
    Guarded("window procedure", [&] { handled = self->OnMessage(message, wParam, lParam, result); });
    if (!handled)
        result = DefWindowProcA(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        DropTasksOf(hwnd);
        self->m_hwnd = nullptr;
        Guarded("final message", [&] { self->OnFinalMessage(); });
    }
    return result;
}

// For the dialog procedure, which shares the task messages (ui/window_internal.h).
bool DispatchTaskForDialog(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    return HandleTask(message, wParam, lParam, result);
}

void DropTasksForDialog(HWND hwnd)
{
    DropTasksOf(hwnd);
}

} // namespace ui
