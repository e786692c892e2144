// Dialogs of the dialog layer: a modal or modeless dialog from a template, with data fields
// filled by the caller and named handlers. OnOK copies control values into the fields
// (through OnSaveData) and closes; the caller reads the fields afterwards.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>

#include "common/ui/window.h"

namespace ui {

// What dialogs and property pages share: the dialog procedure and the handlers.
class CDialogBase : public CWindow {
public:
    HINSTANCE Instance() const { return m_instance; }
    UINT TemplateId() const { return m_templateId; }
    // A text of the module's string table.
    std::string LoadText(UINT id) const;
    // Moves the focus to a control the way the dialog manager does, so the default push
    // button follows it (return false from OnInitDialog after calling this).
    void FocusItem(int id) const;
    // Makes a push button the one that Enter presses.
    void SetDefaultButton(int id) const;
    // The template in the program's chosen resource language (xUtilSetResourceLanguage);
    // none when the system is to pick it.
    const DLGTEMPLATE* Template() const;

protected:
    CDialogBase(HINSTANCE instance, UINT templateId) : m_instance(instance), m_templateId(templateId) {}

    // True lets the system give the focus to the first control; false when the handler set
    // the focus itself.
    virtual bool OnInitDialog() { return true; }
    // True when handled.
    virtual bool OnCommand(WORD id, WORD code, HWND control);
    // True when handled, with `result` as the notification's answer.
    virtual bool OnNotify(NMHDR* header, LRESULT& result);
    virtual bool OnTimer(UINT_PTR id);
    virtual void OnDestroy() {}
    // Any other message; true when handled, `result` the procedure's return value.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);

    LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Binds the object to its window; the first message that carries it calls this.
    void Attach(HWND hwnd);
    // The shared dispatch of a dialog procedure, inside the guard.
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HINSTANCE m_instance;
    UINT m_templateId;
};

class CDialog : public CDialogBase {
public:
    CDialog(HINSTANCE instance, UINT templateId) : CDialogBase(instance, templateId) {}

    // Runs the dialog; the result is what EndDialog was given (-1 when it could not be made).
    INT_PTR DoModal(HWND parent);
    // Makes a modeless dialog; the caller's message loop must pass messages through
    // IsDialogMessage. Close with Destroy.
    bool CreateModeless(HWND parent);
    void Destroy();
    void EndDialog(INT_PTR result);
    bool IsModal() const { return m_modal; }

protected:
    // Copies control values into the data fields; false keeps the dialog open (the handler
    // tells the user why).
    virtual bool OnSaveData() { return true; }
    // IDOK: OnSaveData, then close with IDOK.
    virtual void OnOK();
    // IDCANCEL (also Esc and the close box): close with IDCANCEL.
    virtual void OnCancel();

    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    bool m_modal = false;
};

// Called with every dialog and property page of this layer once its OnInitDialog has run,
// on the dialog's thread. Tests use it to answer modal dialogs without a user; programs never
// set it. Pass nullptr to remove.
using tDialogObserver = std::function<void(CDialogBase& dialog)>;
void SetDialogObserver(tDialogObserver observer);

} // namespace ui
