// Answers the shell's "really delete?" question for the History folder pass: while the hook
// is installed, a dialog that starts on this thread and belongs to the owner gets a click on
// its "Yes" button (6), so the pass never waits for the user.
#pragma once

#include <windows.h>

class CConfirmationHook {
public:
    // Installs a WH_CALLWNDPROC hook on the calling thread; one at a time per thread.
    explicit CConfirmationHook(HWND owner);
    ~CConfirmationHook();
    CConfirmationHook(const CConfirmationHook&) = delete;
    CConfirmationHook& operator=(const CConfirmationHook&) = delete;

    bool IsInstalled() const { return m_hook != nullptr; }
    unsigned Answered() const { return m_answered; }

    // A confirmation belongs to the owner when the owner owns it. The shell of some systems
    // (Wine's among them) makes it without owner, taking the calling thread's active window,
    // which a worker thread has none of; those count as well, as nothing else makes dialogs
    // on this thread while the hook is in place.
    static bool BelongsTo(HWND dialog, HWND owner);

private:
    static LRESULT CALLBACK Procedure(int code, WPARAM wParam, LPARAM lParam);

    HHOOK m_hook = nullptr;
    HWND m_owner;
    unsigned m_answered = 0;
    CConfirmationHook* m_outer = nullptr;
};
