// The dialog in which the user names a powerline device (resource 10009).
#pragma once

#include <windows.h>

#include <string>

#include "common/ui/dialog.h"

class CNameDialog : public ui::CDialog {
public:
    explicit CNameDialog(HINSTANCE module);

    // Filled by the caller; m_name holds the entered name after OK.
    std::string m_caption;
    std::string m_prompt;
    std::string m_name;
    size_t m_maxLength = 200; // bytes of the name

protected:
    bool OnInitDialog() override;
    bool OnSaveData() override;
};

// Shows the dialog centred on its owner, with the name filled in; true on OK with the new
// name. At most maxLength bytes can be entered.
bool PromptDeviceName(HWND owner, HINSTANCE module, const std::string& caption, const std::string& prompt,
                      std::string& name, size_t maxLength);
