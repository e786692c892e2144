#include "setup/wizard.h"

#include "setup/res/resource.h"

namespace setup {

CSetupWizard::CSetupWizard(tSetupContext& context)
    : m_context(context), m_richEdit("riched32.dll"), m_art(context.instance)
{
}

CSetupPage* CSetupWizard::BuiltIn(int id)
{
    switch (id) {
    case PAGE_WELCOME:
        m_pages.emplace_back(new CWelcomePage(m_context, m_art));
        break;
    case PAGE_LICENSE:
        m_pages.emplace_back(new CLicensePage(m_context, m_art));
        break;
    case PAGE_TYPE:
        m_pages.emplace_back(new CTypePage(m_context, m_art));
        break;
    case PAGE_COMPONENTS:
        m_pages.emplace_back(new CComponentsPage(m_context, m_art));
        break;
    case PAGE_DIRECTORY:
        m_pages.emplace_back(new CDirectoryPage(m_context, m_art));
        break;
    case PAGE_CARRY_OUT:
    case PAGE_REMOVAL:
        m_pages.emplace_back(new CWorkPage(m_context, m_art, id == PAGE_REMOVAL));
        break;
    case PAGE_FINISH:
    case PAGE_REMOVAL_FINISH:
        m_pages.emplace_back(new CFinishPage(m_context, m_art, id == PAGE_REMOVAL_FINISH));
        break;
    default:
        return nullptr;
    }
    return m_pages.back().get();
}

INT_PTR CSetupWizard::Run(HWND owner)
{
    int counts[PLUGIN_PAGE_LEVELS] = {};
    for (int level = 0; level < PLUGIN_PAGE_LEVELS; ++level) {
        m_pluginPages[level] = m_context.plugins.Pages(level, m_context.wizard97);
        counts[level] = static_cast<int>(m_pluginPages[level].size());
    }
    m_plan = PlanPages(m_context.Removal(), counts);
    m_context.successPage = m_plan.successIndex;
    m_context.failurePage = m_plan.failureIndex;

    ui::CPropertySheet sheet(m_context.instance, m_context.title);
    if (m_context.wizard97)
        sheet.SetWizard97(m_art.WatermarkId(), m_art.HeaderId());
    else
        sheet.SetWizard();
    sheet.SetIcon(LoadIconA(m_context.instance, MAKEINTRESOURCEA(IDI_SETUP)));
    int last = static_cast<int>(m_plan.pages.size()) - 1;
    for (int index = 0; index <= last; ++index) {
        const tPageSlot& slot = m_plan.pages[static_cast<size_t>(index)];
        if (!slot.builtIn) {
            sheet.AddPage(m_pluginPages[slot.level][static_cast<size_t>(slot.index)]);
            continue;
        }
        CSetupPage* page = BuiltIn(slot.builtIn);
        if (slot.builtIn == PAGE_CARRY_OUT || slot.builtIn == PAGE_REMOVAL)
            ; // the work page offers no button until its work is done
        else if (index == last)
            page->SetButtons(PSWIZB_FINISH);
        else if (index == 0)
            page->SetButtons(PSWIZB_NEXT);
        else if (index > m_plan.workIndex)
            page->SetButtons(PSWIZB_NEXT); // what is done cannot be gone back to
        sheet.AddPage(*page);
    }
    return sheet.DoModal(owner);
}

} // namespace setup
