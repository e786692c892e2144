// Drives the setup wizard as a user would, page by page, for the tests and the screenshots:
// each built-in page, once it is the current one, gets the answers the test chose and the
// button press that follows them.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "common/ui/dialog.h"

namespace setuptest {

class CWizardDriver {
public:
    CWizardDriver();
    ~CWizardDriver();
    CWizardDriver(const CWizardDriver&) = delete;
    CWizardDriver& operator=(const CWizardDriver&) = delete;

    // What to do on a page (its template id) when it is current; by default Next (Finish on
    // the finish pages, nothing on the work pages).
    void On(UINT templateId, std::function<void(ui::CDialogBase& page)> action) { m_actions.push_back({templateId, action}); }
    // Called on every page that becomes current, before its action (screenshots).
    std::function<void(ui::CDialogBase& page)> onShown;
    // The template ids of the pages shown, in order.
    std::vector<UINT> shown;
    // The template ids of the pages made, in order (also those that were skipped or that
    // went on by themselves before anyone looked).
    std::vector<UINT> made;
    // Presses the default button of the page's wizard.
    static void Advance(ui::CDialogBase& page);

private:
    static bool IsCurrent(HWND page);
    void Act(ui::CDialogBase& page);
    struct tAction {
        UINT templateId;
        std::function<void(ui::CDialogBase& page)> action;
    };
    std::vector<tAction> m_actions;
};

// Writes the window as the screen shows it to a bitmap file.
bool CaptureWindow(HWND window, const std::string& path);

} // namespace setuptest
