#include "monitor/about_box.h"

#include <commctrl.h>
#include <shellapi.h>
#include <stdio.h>

#include "common/strings.h"
#include "common/xutil.h"
#include "monitor/res/resource.h"

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

CAboutBox::CAboutBox(HINSTANCE instance) : CDialog(instance, IDD_ABOUT)
{
    m_openUrl = [this](const std::string& url) {
        ShellExecuteA(m_hwnd, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    };
}

bool CAboutBox::OnInitDialog()
{
    SetText(LoadText(IDS_ABOUT_TITLE));
    SetItemText(IDC_ABOUT_PRODUCT, LoadText(IDS_TITLE));
    SetItemText(IDC_ABOUT_VERSION, AboutVersionText(m_instance));
    xUtilCenterWindow(m_hwnd, GetParent(m_hwnd));
    // The link is the first control that takes the focus: left to the system, Enter would
    // open the web page instead of closing the box.
    SetDefaultButton(IDOK);
    FocusItem(IDOK);
    return false;
}

bool CAboutBox::OnNotify(NMHDR* header, LRESULT& result)
{
    if (header->idFrom != IDC_ABOUT_LINK || (header->code != NM_CLICK && header->code != NM_RETURN))
        return false;
    auto link = reinterpret_cast<const NMLINK*>(header);
    char url[L_MAX_URL_LENGTH * 4];
    if (WideCharToMultiByte(CP_ACP, 0, link->item.szUrl, -1, url, sizeof url, nullptr, nullptr) > 0 && m_openUrl)
        m_openUrl(url);
    result = 0;
    return true;
}
