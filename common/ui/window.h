// The dialog layer: every window and dialog of the suite is a class derived from CWindow.
// A static procedure stores `this` when the window is made and hands each message to small
// named handlers; it dispatches inside a guard, so no exception ever crosses it (an escaping
// exception is traced and the message counts as not handled).
//
// Worker threads never touch controls. They hand work to the window's thread with
// ui::PostTask (asynchronous) or ui::SendTask (waits for the window thread); both run the
// work on the window thread inside the same guard. Where a program's design fixes its own
// message numbers, it sends those instead.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace ui {

class CWindow {
public:
    CWindow() = default;
    virtual ~CWindow() = default;
    CWindow(const CWindow&) = delete;
    CWindow& operator=(const CWindow&) = delete;

    HWND Handle() const { return m_hwnd; }
    bool IsWindow() const { return m_hwnd && ::IsWindow(m_hwnd); }

    // Controls by id.
    HWND Item(int id) const { return GetDlgItem(m_hwnd, id); }
    std::string ItemText(int id) const;
    void SetItemText(int id, const std::string& text) const;
    bool IsChecked(int id) const;
    void Check(int id, bool checked) const;
    void EnableItem(int id, bool enabled) const;
    void ShowItem(int id, bool shown) const;
    LRESULT SendItem(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

    std::string Text() const;
    void SetText(const std::string& text) const;

    // Runs a handler inside the guard; false when it threw (the exception is traced).
    static bool Guarded(const char* where, const std::function<void()>& handler);

protected:
    // The window class's own handling, for messages no handler took.
    virtual LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) = 0;

    HWND m_hwnd = nullptr;
};

// A top-level or child window of a class registered by the program. Derived classes
// override OnMessage; unhandled messages go to DefWindowProc.
class CWindowImpl : public CWindow {
public:
    // Registers a class whose procedure dispatches to CWindowImpl objects. Registering the
    // same name twice is fine.
    static bool RegisterClass(HINSTANCE instance, const char* className, HICON icon = nullptr,
                              HICON smallIcon = nullptr, HBRUSH background = nullptr,
                              const char* menu = nullptr, UINT style = CS_HREDRAW | CS_VREDRAW);

    // Makes the window of a class registered above; `this` is bound before WM_NCCREATE.
    HWND Create(HINSTANCE instance, const char* className, const char* title, DWORD style,
                DWORD exStyle, int x, int y, int width, int height, HWND parent,
                HMENU menu = nullptr);
    void Destroy();

protected:
    // Return true with `result` set when the message was handled.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // After the window is gone (WM_NCDESTROY); the handle is already cleared.
    virtual void OnFinalMessage() {}

    LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};

// Runs `task` on the thread of `window` (which must be a CWindow of this layer) without
// waiting. False when the window is gone; the task is then destroyed unrun.
bool PostTask(HWND window, std::function<void()> task);
// Runs `task` on the thread of `window` and waits for it; false when the window is gone.
// Runs at once when called on that thread.
bool SendTask(HWND window, const std::function<void()>& task);
// The message that carries tasks (registered once per process).
UINT TaskMessage();

} // namespace ui
