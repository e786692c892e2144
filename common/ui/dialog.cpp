#include "common/ui/dialog.h"

#include "common/raii.h"
#include "common/strings.h"
#include "common/trace.h"
#include "common/ui/window_internal.h"

namespace ui {

namespace {

struct tObserverSlot {
    raii::CCriticalSection lock;
    tDialogObserver observer;
};

tObserverSlot& Observer()
{
    static tObserverSlot slot;
    return slot;
}

// The template in the program's chosen resource language; none when no language was chosen,
// so that the system picks as it always did.
const DLGTEMPLATE* TemplateInLanguage(HINSTANCE instance, UINT templateId)
{
    if (!xUtilGetResourceLanguage())
        return nullptr;
    HRSRC found = xUtilFindResource(instance, RT_DIALOG, MAKEINTRESOURCEA(templateId));
    HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    return loaded ? static_cast<const DLGTEMPLATE*>(LockResource(loaded)) : nullptr;
}

void NotifyObserver(CDialogBase& dialog)
{
    tDialogObserver observer;
    {
        raii::CLock lock(Observer().lock);
        observer = Observer().observer;
    }
    if (observer)
        CWindow::Guarded("dialog observer", [&] { observer(dialog); });
}

} // namespace

const DLGTEMPLATE* CDialogBase::Template() const
{
    return TemplateInLanguage(m_instance, m_templateId);
}

void SetDialogObserver(tDialogObserver observer)
{
    raii::CLock lock(Observer().lock);
    Observer().observer = std::move(observer);
}

std::string CDialogBase::LoadText(UINT id) const
{
    return xUtilLoadString(m_instance, id);
}

void CDialogBase::FocusItem(int id) const
{
    if (HWND item = Item(id))
        SendMessageA(m_hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
}

void CDialogBase::SetDefaultButton(int id) const
{
    SendMessageA(m_hwnd, DM_SETDEFID, static_cast<WPARAM>(id), 0);
}

bool CDialogBase::OnCommand(WORD, WORD, HWND)
{
    return false;
}

bool CDialogBase::OnNotify(NMHDR*, LRESULT&)
{
    return false;
}

bool CDialogBase::OnTimer(UINT_PTR)
{
    return false;
}

bool CDialogBase::OnMessage(UINT, WPARAM, LPARAM, INT_PTR&)
{
    return false;
}

LRESULT CDialogBase::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefDlgProcA(m_hwnd, message, wParam, lParam);
}

void CDialogBase::Attach(HWND hwnd)
{
    m_hwnd = hwnd;
    SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(this));
}

INT_PTR CDialogBase::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT taskResult = 0;
    if (DispatchTaskForDialog(message, wParam, lParam, taskResult)) {
        SetWindowLongPtrA(m_hwnd, DWLP_MSGRESULT, taskResult);
        return TRUE;
    }

    INT_PTR result = FALSE;
    switch (message) {
    case WM_INITDIALOG: {
        bool defaultFocus = true;
        Guarded("OnInitDialog", [&] { defaultFocus = OnInitDialog(); });
        NotifyObserver(*this);
        return defaultFocus ? TRUE : FALSE;
    }
    case WM_COMMAND: {
        bool handled = false;
        Guarded("OnCommand", [&] {
            handled = OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        });
        return handled ? TRUE : FALSE;
    }
    case WM_NOTIFY: {
        bool handled = false;
        LRESULT answer = 0;
        Guarded("OnNotify", [&] { handled = OnNotify(reinterpret_cast<NMHDR*>(lParam), answer); });
        if (!handled)
            return FALSE;
        SetWindowLongPtrA(m_hwnd, DWLP_MSGRESULT, answer);
        return TRUE;
    }
    case WM_TIMER: {
        bool handled = false;
        Guarded("OnTimer", [&] { handled = OnTimer(wParam); });
        return handled ? TRUE : FALSE;
    }
    case WM_DESTROY:
        Guarded("OnDestroy", [&] { OnDestroy(); });
        return FALSE;
    case WM_NCDESTROY:
        DropTasksForDialog(m_hwnd);
        SetWindowLongPtrA(m_hwnd, DWLP_USER, 0);
        m_hwnd = nullptr;
        return FALSE;
    default: {
        bool handled = false;
        Guarded("OnMessage", [&] { handled = OnMessage(message, wParam, lParam, result); });
        return handled ? result : FALSE;
    }
    }
}

INT_PTR CALLBACK CDialogBase::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CDialogBase* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialogBase*>(lParam);
        if (self)
            self->Attach(hwnd);
    } else {
        self = reinterpret_cast<CDialogBase*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    }
    return self ? self->Dispatch(message, wParam, lParam) : FALSE;
}

INT_PTR CDialog::DoModal(HWND parent)
{
    m_modal = true;
    LPARAM self = reinterpret_cast<LPARAM>(static_cast<CDialogBase*>(this));
    const DLGTEMPLATE* described = TemplateInLanguage(m_instance, m_templateId);
    INT_PTR result = described ? DialogBoxIndirectParamA(m_instance, described, parent, Procedure, self)
                               : DialogBoxParamA(m_instance, MAKEINTRESOURCEA(m_templateId), parent, Procedure, self);
    m_modal = false;
    if (result == -1) {
        TraceHere("DialogBoxParam failed for template %u\n", m_templateId);
        TraceLastError();
    }
    return result;
}

bool CDialog::CreateModeless(HWND parent)
{
    m_modal = false;
    LPARAM self = reinterpret_cast<LPARAM>(static_cast<CDialogBase*>(this));
    const DLGTEMPLATE* described = TemplateInLanguage(m_instance, m_templateId);
    HWND hwnd = described ? CreateDialogIndirectParamA(m_instance, described, parent, Procedure, self)
                          : CreateDialogParamA(m_instance, MAKEINTRESOURCEA(m_templateId), parent, Procedure, self);
    if (!hwnd) {
        TraceHere("CreateDialogParam failed for template %u\n", m_templateId);
        TraceLastError();
    }
    return hwnd != nullptr;
}

void CDialog::Destroy()
{
    if (m_hwnd)
        DestroyWindow(m_hwnd);
}

void CDialog::EndDialog(INT_PTR result)
{
    if (!m_hwnd)
        return;
    if (m_modal)
        ::EndDialog(m_hwnd, result);
    else
        DestroyWindow(m_hwnd);
}

void CDialog::OnOK()
{
    if (OnSaveData())
        EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

bool CDialog::OnCommand(WORD id, WORD, HWND)
{
    if (id == IDOK) {
        OnOK();
        return true;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return true;
    }
    return false;
}

bool CDialog::OnMessage(UINT message, WPARAM, LPARAM, INT_PTR& result)
{
    // The close box of a dialog without a Cancel button.
    if (message == WM_CLOSE) {
        OnCancel();
        result = TRUE;
        return true;
    }
    return false;
}

} // namespace ui
