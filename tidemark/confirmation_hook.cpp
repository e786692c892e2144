#include "tidemark/confirmation_hook.h"

namespace {

thread_local CConfirmationHook* t_current = nullptr;

} // namespace

CConfirmationHook::CConfirmationHook(HWND owner) : m_owner(owner)
{
    m_outer = t_current;
    m_hook = SetWindowsHookExA(WH_CALLWNDPROC, Procedure, nullptr, GetCurrentThreadId());
    if (m_hook)
        t_current = this;
}

CConfirmationHook::~CConfirmationHook()
{
    if (!m_hook)
        return;
    UnhookWindowsHookEx(m_hook);
    t_current = m_outer;
}

bool CConfirmationHook::BelongsTo(HWND dialog, HWND owner)
{
    HWND actual = GetWindow(dialog, GW_OWNER);
    return actual == nullptr || actual == owner;
}

LRESULT CALLBACK CConfirmationHook::Procedure(int code, WPARAM wParam, LPARAM lParam)
{
    CConfirmationHook* self = t_current;
    if (code == HC_ACTION && self) {
        const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (message->message == WM_INITDIALOG && BelongsTo(message->hwnd, self->m_owner)) {
            // Posted: the dialog is still being made; its own loop takes the click.
            HWND yes = GetDlgItem(message->hwnd, IDYES);
            PostMessageA(message->hwnd, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED),
                         reinterpret_cast<LPARAM>(yes));
            ++self->m_answered;
        }
    }
    return CallNextHookEx(self ? self->m_hook : nullptr, code, wParam, lParam);
}
