#include "tandem/app/dialogs.h"

#include <winsock2.h>

#include <memory>

#include "common/raii.h"
#include "common/ui/message_box.h"
#include "common/xutil.h"
#include "tandem/app/folder_browser.h"
#include "tandem/res/resource.h"
#include "tandem/share_files.h"
#include "tandem/share_rules.h"

void ShowInputError(HWND owner, HINSTANCE instance, unsigned textId)
{
    ui::ShowMessage(owner, instance, textId, IDS_TITLE, MB_OK | MB_ICONEXCLAMATION);
}

CShareDialog::CShareDialog(HINSTANCE instance) : ui::CDialog(instance, IDD_SHARE)
{
}

bool CShareDialog::OnInitDialog()
{
    SendItem(IDC_SHARE_NAME, EM_LIMITTEXT, 255);
    SendItem(IDC_SHARE_PATH, EM_LIMITTEXT, MAX_PATH);
    SetItemText(IDC_SHARE_NAME, m_name);
    SetItemText(IDC_SHARE_PATH, m_path);
    xUtilCenterWindow(m_hwnd, GetParent(m_hwnd));
    return true;
}

bool CShareDialog::OnCommand(WORD id, WORD code, HWND control)
{
    if (id == IDC_BROWSE) {
        std::string chosen;
        if (BrowseForFolder(m_hwnd, LoadText(IDS_BROWSE_SHARE), ItemText(IDC_SHARE_PATH), chosen))
            SetItemText(IDC_SHARE_PATH, chosen);
        return true;
    }
    return ui::CDialog::OnCommand(id, code, control);
}

bool CShareDialog::OnSaveData()
{
    std::string name = ItemText(IDC_SHARE_NAME);
    std::string path = ItemText(IDC_SHARE_PATH);
    unsigned error = ValidateShare(name, path, IsExistingFolder);
    if (error) {
        ShowInputError(m_hwnd, m_instance, error);
        SetFocus(Item(error == IDS_PATH_INVALID ? IDC_SHARE_PATH : IDC_SHARE_NAME));
        return false;
    }
    m_name = name;
    m_path = path;
    return true;
}

CAddHostDialog::CAddHostDialog(HINSTANCE instance, std::vector<std::string> recent)
    : ui::CDialog(instance, IDD_ADD_HOST), m_recent(std::move(recent))
{
}

bool CAddHostDialog::OnInitDialog()
{
    for (const std::string& entry : m_recent)
        SendItem(IDC_HOST_COMBO, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
    SendItem(IDC_HOST_COMBO, CB_LIMITTEXT, 255);
    if (!m_recent.empty())
        SetItemText(IDC_HOST_COMBO, m_recent.front());
    xUtilCenterWindow(m_hwnd, GetParent(m_hwnd));
    return true;
}

bool CAddHostDialog::OnSaveData()
{
    std::string typed = ItemText(IDC_HOST_COMBO);
    hostent* found = typed.empty() ? nullptr : gethostbyname(typed.c_str());
    if (!found || found->h_addrtype != AF_INET || !found->h_addr_list || !found->h_addr_list[0]) {
        ShowInputError(m_hwnd, m_instance, IDS_HOST_UNRESOLVED);
        return false;
    }
    memcpy(&m_address, found->h_addr_list[0], sizeof m_address);
    m_typed = typed;
    return true;
}

bool CAboutBox::OnInitDialog()
{
    SetItemText(IDC_ABOUT_PRODUCT, LoadText(IDS_TITLE));
    tModuleVersion version = {};
    xUtilGetModuleVersion(nullptr, &version);
    char text[128];
    snprintf(text, sizeof text, LoadText(IDS_VERSION).c_str(), version.major, version.minor, version.build,
             version.linkDate.wDay, version.linkDate.wMonth, version.linkDate.wYear);
    SetItemText(IDC_ABOUT_VERSION, text);
    xUtilCenterWindow(m_hwnd, GetParent(m_hwnd));
    return true;
}

namespace {

class CSplash : public ui::CDialog {
public:
    explicit CSplash(HINSTANCE instance) : ui::CDialog(instance, IDD_SPLASH) {}

protected:
    bool OnInitDialog() override
    {
        HWND picture = Item(IDC_SPLASH_PICTURE);
        HBITMAP bitmap = LoadBitmapA(m_instance, MAKEINTRESOURCEA(IDB_SPLASH));
        BITMAP size = {};
        if (bitmap && GetObjectA(bitmap, sizeof size, &size)) {
            HGDIOBJ old = reinterpret_cast<HGDIOBJ>(
                SendMessageA(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
            if (old)
                DeleteObject(old);
            m_bitmap.Attach(bitmap);
            MoveWindow(picture, 0, 0, size.bmWidth, size.bmHeight, FALSE);
            SetWindowPos(m_hwnd, HWND_TOP, 0, 0, size.bmWidth, size.bmHeight, SWP_NOMOVE | SWP_NOACTIVATE);
        }
        xUtilCenterWindow(m_hwnd, nullptr);
        SetTimer(m_hwnd, 1, 2000, nullptr);
        ShowWindow(m_hwnd, SW_SHOWNOACTIVATE);
        return false;
    }
    bool OnTimer(UINT_PTR) override
    {
        KillTimer(m_hwnd, 1);
        Destroy();
        return true;
    }

private:
    raii::CGdiObject m_bitmap;
};

// The splash lives until its timer ends it, and its object until the program ends.
std::unique_ptr<CSplash>& Splash()
{
    static std::unique_ptr<CSplash> splash;
    return splash;
}

} // namespace

void ShowSplash(HINSTANCE instance)
{
    std::unique_ptr<CSplash>& splash = Splash();
    if (splash && splash->IsWindow())
        return;
    splash.reset(new CSplash(instance));
    if (!splash->CreateModeless(nullptr))
        splash.reset();
}
