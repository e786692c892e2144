// The setup wizard: one property sheet (Wizard97 or classic) of the built-in pages and the
// pages of setup plug-ins, in the order of the page plan.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "common/module.h"
#include "common/ui/property_sheet.h"
#include "setup/pages.h"
#include "setup/script_rules.h"
#include "setup/setup_context.h"
#include "setup/wizard_art.h"

namespace setup {

class CSetupWizard {
public:
    explicit CSetupWizard(tSetupContext& context);
    // Runs the wizard modally; the sheet's result.
    INT_PTR Run(HWND owner);
    const tPagePlan& Plan() const { return m_plan; }

private:
    CSetupPage* BuiltIn(int id);

    tSetupContext& m_context;
    CDllBinding m_richEdit; // the licence page's control
    CWizardArt m_art;
    std::vector<std::unique_ptr<CSetupPage>> m_pages;
    std::vector<PROPSHEETPAGEA> m_pluginPages[PLUGIN_PAGE_LEVELS];
    tPagePlan m_plan;
};

} // namespace setup
