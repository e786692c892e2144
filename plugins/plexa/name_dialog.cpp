#include "plugins/plexa/name_dialog.h"

#include <vector>

#include "common/xutil.h"
#include "plugins/plexa/res/plexa_resource.h"

namespace {

struct tNameDialog {
    const std::string* caption;
    const std::string* prompt;
    std::string* name;
    size_t maxLength;
};

INT_PTR CALLBACK NameDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        auto data = reinterpret_cast<tNameDialog*>(lParam);
        SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
        SetWindowTextA(dialog, data->caption->c_str());
        SetDlgItemTextA(dialog, IDC_NAME_PROMPT, data->prompt->c_str());
        SendDlgItemMessageA(dialog, IDC_NAME_EDIT, EM_LIMITTEXT, data->maxLength, 0);
        SetDlgItemTextA(dialog, IDC_NAME_EDIT, data->name->c_str());
        xUtilCenterWindow(dialog, GetParent(dialog));
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            auto data = reinterpret_cast<tNameDialog*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
            std::vector<char> text(data->maxLength + 1, '\0');
            GetDlgItemTextA(dialog, IDC_NAME_EDIT, text.data(), static_cast<int>(text.size()));
            *data->name = text.data();
            EndDialog(dialog, 1);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

} // namespace

bool PromptDeviceName(HWND owner, HINSTANCE module, const std::string& caption, const std::string& prompt,
                      std::string& name, size_t maxLength)
{
    tNameDialog data = {&caption, &prompt, &name, maxLength};
    return DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_DEVICE_NAME), owner, NameDialogProc,
                           reinterpret_cast<LPARAM>(&data)) == 1;
}
