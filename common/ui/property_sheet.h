// Property sheets and wizards (Wizard97 and classic) of the dialog layer. Each page is a
// class; the sheet is built from page objects the caller owns and keeps alive while it runs.
// Pages never write settings on apply: OnApply copies control values into data fields, and
// the caller stores them after the sheet has ended.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <string>
#include <vector>

#include "common/ui/dialog.h"

namespace ui {

class CPropertyPage : public CDialogBase {
public:
    // titleId 0: the template's caption.
    CPropertyPage(HINSTANCE instance, UINT templateId, UINT titleId = 0)
        : CDialogBase(instance, templateId), m_titleId(titleId) {}

    // Wizard97 header texts of an interior page (string ids), or an exterior page (welcome
    // and completion pages, with the watermark and no header).
    void SetHeader(UINT titleId, UINT subtitleId);
    void SetExterior(bool exterior) { m_exterior = exterior; }

    // The sheet's window (the page's parent).
    HWND Sheet() const { return m_hwnd ? GetParent(m_hwnd) : nullptr; }
    // Marks the page changed (the sheet enables Apply) or unchanged.
    void SetModified(bool modified);
    // PSWIZB_BACK, PSWIZB_NEXT, PSWIZB_FINISH, PSWIZB_DISABLEDFINISH.
    void SetWizardButtons(DWORD flags);
    // Moves the wizard to the page of this template (from a worker's task, for example).
    void GoToPage(UINT templateId);
    // Moves the wizard to the page at this index of the sheet.
    void GoToIndex(int index);
    // Presses a sheet button (PSBTN_NEXT, PSBTN_BACK, PSBTN_FINISH, PSBTN_CANCEL...).
    void PressButton(int button);

    PROPSHEETPAGEA Describe();

protected:
    // Page notifications. Return values follow the property sheet's rules:
    // OnSetActive: 0 shows the page, -1 skips it, a template id jumps there.
    virtual LRESULT OnSetActive() { return 0; }
    // False keeps the page (its values are not acceptable).
    virtual bool OnKillActive() { return true; }
    // 0 goes on, -1 stays, a template id jumps there.
    virtual LRESULT OnWizardNext() { return 0; }
    virtual LRESULT OnWizardBack() { return 0; }
    // True lets the wizard finish.
    virtual bool OnWizardFinish() { return true; }
    // Copies control values into the page's data fields; false keeps the sheet open.
    virtual bool OnApply() { return true; }
    // The sheet ends by Cancel.
    virtual void OnReset() {}
    // True allows Cancel.
    virtual bool OnQueryCancel() { return true; }

    bool OnNotify(NMHDR* header, LRESULT& result) override;

private:
    static UINT CALLBACK PageCallback(HWND hwnd, UINT message, PROPSHEETPAGEA* page);

    UINT m_titleId;
    UINT m_headerTitleId = 0;
    UINT m_headerSubtitleId = 0;
    bool m_exterior = false;
    std::string m_title;
    std::string m_headerTitle;
    std::string m_headerSubtitle;
};

class CPropertySheet {
public:
    CPropertySheet(HINSTANCE instance, const std::string& caption)
        : m_instance(instance), m_caption(caption) {}

    void AddPage(CPropertyPage& page) { m_pages.push_back({&page, {}}); }
    // A page described by someone else (a DLL that brings its own pages), used as it is.
    void AddPage(const PROPSHEETPAGEA& described) { m_pages.push_back({nullptr, described}); }
    size_t PageCount() const { return m_pages.size(); }
    // A Wizard97 wizard with the given bitmaps (resource ids; 0 for none).
    void SetWizard97(UINT watermarkId, UINT headerId);
    // A classic wizard (no header and watermark).
    void SetWizard();
    // Further PSH_ flags (PSH_NOAPPLYNOW, PSH_NOCONTEXTHELP...).
    void AddFlags(DWORD flags) { m_flags |= flags; }
    void SetStartPage(UINT index) { m_startPage = index; }
    void SetIcon(HICON icon) { m_icon = icon; }

    // Runs the sheet modally. The result: for a property sheet, > 0 when OK or Apply
    // changed something, 0 for Cancel; for a wizard, ID_PSRESTARTWINDOWS and friends or
    // 1 / 0 for Finish / Cancel; -1 when it could not be made.
    INT_PTR DoModal(HWND parent);
    bool IsWizard() const { return (m_flags & (PSH_WIZARD | PSH_WIZARD97)) != 0; }

private:
    HINSTANCE m_instance;
    std::string m_caption;
    struct tEntry {
        CPropertyPage* page; // none for a described page
        PROPSHEETPAGEA described;
    };
    std::vector<tEntry> m_pages;
    DWORD m_flags = 0;
    UINT m_watermarkId = 0;
    UINT m_headerId = 0;
    UINT m_startPage = 0;
    HICON m_icon = nullptr;
};

} // namespace ui
