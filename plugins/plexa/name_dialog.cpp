#include "plugins/plexa/name_dialog.h"

#include "common/strings.h"
#include "common/xutil.h"
#include "plugins/plexa/res/plexa_resource.h"

CNameDialog::CNameDialog(HINSTANCE module) : CDialog(module, IDD_DEVICE_NAME) {}

bool CNameDialog::OnInitDialog()
{
    SetText(m_caption);
    SetItemText(IDC_NAME_PROMPT, m_prompt);
    SendItem(IDC_NAME_EDIT, EM_LIMITTEXT, m_maxLength);
    SetItemText(IDC_NAME_EDIT, m_name);
    xUtilCenterWindow(m_hwnd, GetParent(m_hwnd));
    return true;
}

bool CNameDialog::OnSaveData()
{
    // The edit field's limit counts characters where the system counts them so; the name is
    // held to its size in bytes, whole characters only.
    m_name = xUtilTruncateText(ItemText(IDC_NAME_EDIT), m_maxLength);
    return true;
}

bool PromptDeviceName(HWND owner, HINSTANCE module, const std::string& caption, const std::string& prompt,
                      std::string& name, size_t maxLength)
{
    CNameDialog dialog(module);
    dialog.m_caption = caption;
    dialog.m_prompt = prompt;
    dialog.m_name = name;
    dialog.m_maxLength = maxLength;
    if (dialog.DoModal(owner) != IDOK)
        return false;
    name = dialog.m_name;
    return true;
}
