// The built-in pages of the setup wizard. Each page moves data between its controls and the
// run's context; the work itself runs on the work page's worker thread (setup/work.h).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/thread.h"
#include "common/ui/property_sheet.h"
#include "setup/pipeline_sink.h"
#include "setup/setup_context.h"
#include "setup/wizard_art.h"

namespace setup {

// The work page's messages from its worker (the numbers are fixed by the design).
enum {
    WM_SETUP_PHASE = 1034,    // wParam: the phase
    WM_SETUP_PROGRESS = 1035, // wParam 0: lParam operations follow; wParam 1: one done
    WM_SETUP_DONE = 1036,     // wParam: success; lParam: the error code
};

class CSetupPage : public ui::CPropertyPage {
public:
    // Interior pages have a header (title and subtitle); exterior ones a big title and the
    // watermark.
    CSetupPage(tSetupContext& context, const CWizardArt& art, UINT templateId, UINT titleId, UINT subtitleId);
    CSetupPage(tSetupContext& context, const CWizardArt& art, UINT templateId);
    // The wizard buttons this page offers (PSWIZB_...).
    void SetButtons(DWORD buttons) { m_buttons = buttons; }

protected:
    bool OnInitDialog() override;
    LRESULT OnSetActive() override;
    // True when the page has nothing to ask in this run.
    virtual bool Skip() { return false; }
    // Unattended runs go on at once; the work page waits for its work.
    virtual bool AdvancesByItself() const { return true; }
    void EnableCancel(bool enabled) const;
    // Shows a message, or traces it in a silent run; returns the button (IDOK / IDNO there).
    int Message(const std::string& text, UINT flags) const;

    tSetupContext& m_context;
    const CWizardArt& m_art;
    DWORD m_buttons = PSWIZB_BACK | PSWIZB_NEXT;

private:
    void LayOutHeader();
    void LayOutExterior();

    bool m_exterior;
    UINT m_titleId = 0;
    UINT m_subtitleId = 0;
};

class CWelcomePage : public CSetupPage {
public:
    CWelcomePage(tSetupContext& context, const CWizardArt& art);

protected:
    bool OnInitDialog() override;
};

class CLicensePage : public CSetupPage {
public:
    CLicensePage(tSetupContext& context, const CWizardArt& art);

protected:
    bool OnInitDialog() override;
    LRESULT OnSetActive() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool Skip() override;

private:
    void UpdateButtons();
};

class CTypePage : public CSetupPage {
public:
    CTypePage(tSetupContext& context, const CWizardArt& art);

protected:
    bool OnInitDialog() override;
    LRESULT OnWizardNext() override;
};

class CComponentsPage : public CSetupPage {
public:
    CComponentsPage(tSetupContext& context, const CWizardArt& art);

protected:
    bool OnInitDialog() override;
    LRESULT OnWizardNext() override;
    bool Skip() override { return !m_context.customInstall; }
};

class CDirectoryPage : public CSetupPage {
public:
    CDirectoryPage(tSetupContext& context, const CWizardArt& art);

protected:
    bool OnInitDialog() override;
    LRESULT OnSetActive() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    LRESULT OnWizardNext() override;
    bool Skip() override { return !m_context.customInstall; }

private:
    void Browse();
};

// The carry-out page (installation) and the removal page.
class CWorkPage : public CSetupPage, private IPipelineSink {
public:
    CWorkPage(tSetupContext& context, const CWizardArt& art, bool removal);
    ~CWorkPage() override;

protected:
    bool OnInitDialog() override;
    LRESULT OnSetActive() override;
    bool OnQueryCancel() override;
    void OnDestroy() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    bool AdvancesByItself() const override { return false; }

private:
    void OnPhase(int phase);
    void OnProgress(WPARAM kind, LPARAM count);
    void OnDone(bool success, DWORD error);
    // IPipelineSink, called on the worker thread: everything goes to the page as messages.
    void Phase(int phase) override;
    void FileProgressStart(unsigned count) override;
    void FileProgressStep() override;
    void StepText(const std::string& text, bool showProgress) override;
    bool AskShortcut(const std::string& name) override;

    bool m_removal;
    HWND m_self = nullptr; // the page's window, for the worker
    bool m_started = false;
    CThread m_worker;
};

// The finish page of an installation (with the finish actions) or of a removal.
class CFinishPage : public CSetupPage {
public:
    CFinishPage(tSetupContext& context, const CWizardArt& art, bool removal);

protected:
    bool OnInitDialog() override;
    LRESULT OnSetActive() override;
    bool OnWizardFinish() override;

private:
    bool m_removal;
    std::vector<HWND> m_actions;
};

// The system's text of an error code, in the run's language where the system has it.
std::string ErrorText(DWORD error, unsigned short language);

} // namespace setup
