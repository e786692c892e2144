#include "monitor/about_box.h"

#include <commctrl.h>
#include <shellapi.h>
#include <stdio.h>

#include "common/strings.h"
#include "common/xutil.h"
#include "monitor/res/resource.h"

namespace {

struct tAboutContext {
    HINSTANCE instance;
    HWND* open;
};

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        auto context = reinterpret_cast<tAboutContext*>(lParam);
        SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
        *context->open = dialog;
        SetDlgItemTextA(dialog, IDC_ABOUT_PRODUCT, xUtilLoadString(context->instance, IDS_TITLE).c_str());
        SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, AboutVersionText(context->instance).c_str());
        xUtilCenterWindow(dialog, GetParent(dialog));
        return TRUE;
    }
    case WM_NOTIFY: {
        auto header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom == IDC_ABOUT_LINK && (header->code == NM_CLICK || header->code == NM_RETURN)) {
            auto link = reinterpret_cast<const NMLINK*>(lParam);
            char url[L_MAX_URL_LENGTH];
            WideCharToMultiByte(CP_ACP, 0, link->item.szUrl, -1, url, sizeof url, nullptr, nullptr);
            ShellExecuteA(dialog, "open", url, nullptr, nullptr, SW_SHOWNORMAL);
            return TRUE;
        }
        break;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            auto context = reinterpret_cast<tAboutContext*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
            *context->open = nullptr;
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

} // namespace

std::string AboutVersionText(HINSTANCE instance)
{
    tModuleVersion version;
    xUtilGetModuleVersion(nullptr, &version);
    char date[64] = "";
    GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &version.linkDate, nullptr, date, sizeof date);
    std::string format = xUtilLoadString(instance, IDS_VERSION_FORMAT);
    if (format.empty())
        format = "Version %d.%02d.%04d (%s)";
    char text[256];
    snprintf(text, sizeof text, format.c_str(), version.major, version.minor, version.build, date);
    return text;
}

void ShowAboutBox(HWND owner, HINSTANCE instance, HWND* open)
{
    tAboutContext context = {instance, open};
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ABOUT), owner, AboutProc,
                    reinterpret_cast<LPARAM>(&context));
    *open = nullptr;
}
