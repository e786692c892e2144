#include "monitor/options_sheet.h"

#include <commctrl.h>
#include <prsht.h>

#include "common/raii.h"
#include "common/strings.h"
#include "monitor/monitor.h"
#include "monitor/res/resource.h"

const char kPlexaRegistryKey[] = "software\\velmora\\Plexa";

namespace {

struct tSheetContext {
    const utilcpp::CParseini* settings;
    IMonitor* monitor;
};

tSheetContext* Context(HWND page)
{
    return reinterpret_cast<tSheetContext*>(GetWindowLongPtrA(page, GWLP_USERDATA));
}

void StoreContext(HWND page, LPARAM lParam)
{
    auto sheetPage = reinterpret_cast<const PROPSHEETPAGEA*>(lParam);
    SetWindowLongPtrA(page, GWLP_USERDATA, sheetPage->lParam);
}

INT_PTR CALLBACK GeneralPage(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        StoreContext(page, lParam);
        tSheetContext* context = Context(page);
        bool enabled = context->monitor && context->monitor->SharedOptionsEnabled();
        CheckDlgButton(page, IDC_SHARED_OPTIONS, enabled ? BST_CHECKED : BST_UNCHECKED);
        // A setting that could not be stored is not offered.
        if (!context->settings->TestWriteAccess())
            EnableWindow(GetDlgItem(page, IDC_SHARED_OPTIONS), FALSE);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_SHARED_OPTIONS && HIWORD(wParam) == BN_CLICKED)
            PropSheet_Changed(GetParent(page), page);
        return TRUE;
    case WM_NOTIFY:
        if (reinterpret_cast<const NMHDR*>(lParam)->code == PSN_APPLY) {
            bool ticked = IsDlgButtonChecked(page, IDC_SHARED_OPTIONS) == BST_CHECKED;
            if (IsWindowEnabled(GetDlgItem(page, IDC_SHARED_OPTIONS)))
                Context(page)->settings->WriteInt(kDialogSettings, "SharedOptions", ticked ? 1 : 0);
            SetWindowLongPtrA(page, DWLP_MSGRESULT, PSNRET_NOERROR);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

INT_PTR CALLBACK ConnectionsPage(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        StoreContext(page, lParam);
        HKEY opened = nullptr;
        DWORD value = 0, size = sizeof value, type = 0;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPlexaRegistryKey, 0, KEY_QUERY_VALUE, &opened) ==
            ERROR_SUCCESS) {
            raii::CRegKey key(opened);
            if (RegQueryValueExA(key.Get(), "CollectingAllowed", nullptr, &type,
                                 reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
                type != REG_DWORD)
                value = 0;
        }
        CheckDlgButton(page, IDC_COLLECTING, value ? BST_CHECKED : BST_UNCHECKED);
        HKEY writable = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPlexaRegistryKey, 0, KEY_SET_VALUE, &writable) ==
            ERROR_SUCCESS)
            RegCloseKey(writable);
        else
            EnableWindow(GetDlgItem(page, IDC_COLLECTING), FALSE);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_COLLECTING && HIWORD(wParam) == BN_CLICKED)
            PropSheet_Changed(GetParent(page), page);
        return TRUE;
    case WM_NOTIFY:
        if (reinterpret_cast<const NMHDR*>(lParam)->code == PSN_APPLY) {
            if (IsWindowEnabled(GetDlgItem(page, IDC_COLLECTING))) {
                DWORD value = IsDlgButtonChecked(page, IDC_COLLECTING) == BST_CHECKED ? 1 : 0;
                HKEY opened = nullptr;
                if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPlexaRegistryKey, 0, KEY_SET_VALUE,
                                  &opened) == ERROR_SUCCESS) {
                    raii::CRegKey key(opened);
                    RegSetValueExA(key.Get(), "CollectingAllowed", 0, REG_DWORD,
                                   reinterpret_cast<const BYTE*>(&value), sizeof value);
                }
            }
            SetWindowLongPtrA(page, DWLP_MSGRESULT, PSNRET_NOERROR);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

} // namespace

void ShowOptionsSheet(HWND owner, HINSTANCE instance, const utilcpp::CParseini& settings,
                      IMonitor* monitor)
{
    tSheetContext context = {&settings, monitor};
    PROPSHEETPAGEA pages[2] = {};
    const int templates[2] = {IDD_GENERAL, IDD_CONNECTIONS};
    DLGPROC procedures[2] = {GeneralPage, ConnectionsPage};
    for (int i = 0; i < 2; ++i) {
        pages[i].dwSize = sizeof pages[i];
        pages[i].hInstance = instance;
        pages[i].pszTemplate = MAKEINTRESOURCEA(templates[i]);
        pages[i].pfnDlgProc = procedures[i];
        pages[i].lParam = reinterpret_cast<LPARAM>(&context);
    }
    std::string title = xUtilLoadString(instance, IDS_OPTIONS);
    PROPSHEETHEADERA header = {};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW;
    header.hwndParent = owner;
    header.hInstance = instance;
    header.pszCaption = title.c_str();
    header.nPages = 2;
    header.ppsp = pages;
    PropertySheetA(&header);
}
