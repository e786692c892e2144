#include "setup/pages.h"

#include <richedit.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "common/raii.h"
#include "common/trace.h"
#include "common/ui/message_box.h"
#include "setup/res/resource.h"

namespace setup {

namespace {

// The licence file streamed into the rich edit control.
DWORD CALLBACK ReadLicense(DWORD_PTR cookie, BYTE* buffer, LONG size, LONG* read)
{
    DWORD got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(cookie), buffer, static_cast<DWORD>(size), &got, nullptr))
        return 1;
    *read = static_cast<LONG>(got);
    return 0;
}

int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM, LPARAM data)
{
    if (message == BFFM_INITIALIZED && data)
        SendMessageA(window, BFFM_SETSELECTIONA, TRUE, data);
    return 0;
}

bool IsFullPath(const std::string& path)
{
    bool drive = path.size() >= 3 && isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && path[2] == '\\';
    bool share = path.size() >= 5 && path[0] == '\\' && path[1] == '\\' && path.find('\\', 2) != std::string::npos;
    return (drive || share) && path.find_first_of("*?\"<>|") == std::string::npos;
}

} // namespace

std::string ErrorText(DWORD error, unsigned short language)
{
    char* text = nullptr;
    DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD length = FormatMessageA(flags, nullptr, error, language, reinterpret_cast<char*>(&text), 0, nullptr);
    if (!length)
        length = FormatMessageA(flags, nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length && text ? std::string(text, length) : std::string();
    if (text)
        LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    if (message.empty()) {
        char code[32];
        snprintf(code, sizeof code, "0x%08lx", static_cast<unsigned long>(error));
        message = code;
    }
    return message;
}

// ---------------------------------------------------------------------------------------
// CSetupPage

CSetupPage::CSetupPage(tSetupContext& context, const CWizardArt& art, UINT templateId, UINT titleId, UINT subtitleId)
    : CPropertyPage(context.instance, templateId, IDS_TITLE), m_context(context), m_art(art), m_exterior(false),
      m_titleId(titleId), m_subtitleId(subtitleId)
{
    if (context.wizard97)
        SetHeader(titleId, subtitleId);
}

CSetupPage::CSetupPage(tSetupContext& context, const CWizardArt& art, UINT templateId)
    : CPropertyPage(context.instance, templateId, IDS_TITLE), m_context(context), m_art(art), m_exterior(true)
{
    if (context.wizard97)
        SetExterior(true);
}

bool CSetupPage::OnInitDialog()
{
    if (m_exterior)
        LayOutExterior();
    else
        LayOutHeader();
    HWND sheet = Sheet();
    // The wizard is the run's window the user sees: give it a taskbar button.
    if (sheet && !(GetWindowLongPtrA(sheet, GWL_EXSTYLE) & WS_EX_APPWINDOW))
        SetWindowLongPtrA(sheet, GWL_EXSTYLE, GetWindowLongPtrA(sheet, GWL_EXSTYLE) | WS_EX_APPWINDOW);
    return true;
}

void CSetupPage::LayOutHeader()
{
    SetItemText(IDC_HEADER_TITLE, LoadText(m_titleId));
    SetItemText(IDC_HEADER_SUBTITLE, LoadText(m_subtitleId));
    if (!m_context.wizard97) {
        SendItem(IDC_HEADER_ICON, STM_SETICON, reinterpret_cast<WPARAM>(m_art.HeaderIcon(m_context.Removal() ? 1 : 0)));
        SendItem(IDC_HEADER_TITLE, WM_SETFONT, reinterpret_cast<WPARAM>(m_art.BoldFont()), FALSE);
        return;
    }
    // The sheet's header shows title and subtitle: the page's own band goes, and the rest
    // moves up into its place.
    RECT line;
    GetWindowRect(Item(IDC_HEADER_LINE), &line);
    MapWindowPoints(nullptr, m_hwnd, reinterpret_cast<POINT*>(&line), 2);
    int band = line.bottom + 4;
    for (int id : {IDC_HEADER_ICON, IDC_HEADER_TITLE, IDC_HEADER_SUBTITLE, IDC_HEADER_LINE})
        ShowItem(id, false);
    for (HWND child = GetWindow(m_hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        int id = GetDlgCtrlID(child);
        if (id >= IDC_HEADER_ICON && id <= IDC_HEADER_LINE)
            continue;
        RECT place;
        GetWindowRect(child, &place);
        MapWindowPoints(nullptr, m_hwnd, reinterpret_cast<POINT*>(&place), 2);
        SetWindowPos(child, nullptr, place.left, place.top - band, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void CSetupPage::LayOutExterior()
{
    SendItem(IDC_PAGE_TITLE, WM_SETFONT, reinterpret_cast<WPARAM>(m_art.TitleFont()), FALSE);
    if (m_context.wizard97)
        ShowItem(IDC_WATERMARK, false); // the sheet paints it
    else
        SendItem(IDC_WATERMARK, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(m_art.Watermark()));
}

LRESULT CSetupPage::OnSetActive()
{
    if (Skip())
        return -1;
    SetWizardButtons(m_buttons);
    if (m_context.Silent()) {
        HWND sheet = Sheet();
        ui::PostTask(m_hwnd, [sheet] { ShowWindow(sheet, SW_HIDE); });
    }
    if (m_context.Unattended() && AdvancesByItself())
        PressButton((m_buttons & (PSWIZB_FINISH | PSWIZB_DISABLEDFINISH)) ? PSBTN_FINISH : PSBTN_NEXT);
    return 0;
}

void CSetupPage::EnableCancel(bool enabled) const
{
    if (HWND sheet = Sheet())
        EnableWindow(GetDlgItem(sheet, IDCANCEL), enabled ? TRUE : FALSE);
}

int CSetupPage::Message(const std::string& text, UINT flags) const
{
    if (m_context.Silent()) {
        Trace("[setup] %s\n", text.c_str());
        return (flags & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
    }
    return ui::ShowMessage(Sheet(), text, m_context.title, flags);
}

// ---------------------------------------------------------------------------------------
// Welcome

CWelcomePage::CWelcomePage(tSetupContext& context, const CWizardArt& art) : CSetupPage(context, art, IDD_WELCOME) {}

bool CWelcomePage::OnInitDialog()
{
    CSetupPage::OnInitDialog();
    SetItemText(IDC_PAGE_TITLE, LoadText(m_context.Removal() ? IDS_WELCOME_REMOVE_TITLE : IDS_WELCOME_TITLE));
    SetItemText(IDC_PAGE_TEXT, m_context.welcomeText);
    return true;
}

// ---------------------------------------------------------------------------------------
// Licence

CLicensePage::CLicensePage(tSetupContext& context, const CWizardArt& art)
    : CSetupPage(context, art, IDD_LICENSE, IDS_LICENSE_TITLE, IDS_LICENSE_SUBTITLE)
{
}

bool CLicensePage::Skip()
{
    return m_context.licenseFile.empty();
}

bool CLicensePage::OnInitDialog()
{
    CSetupPage::OnInitDialog();
    Check(IDC_LICENSE_DECLINE, true);
    raii::CHandle file(CreateFileA(m_context.licenseFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    if (file) {
        char start[6] = "";
        DWORD got = 0;
        ReadFile(file.Get(), start, 5, &got, nullptr);
        SetFilePointer(file.Get(), 0, nullptr, FILE_BEGIN);
        EDITSTREAM stream = {};
        stream.dwCookie = reinterpret_cast<DWORD_PTR>(file.Get());
        stream.pfnCallback = ReadLicense;
        bool rtf = got == 5 && memcmp(start, "{\\rtf", 5) == 0;
        SendItem(IDC_LICENSE_TEXT, EM_STREAMIN, rtf ? SF_RTF : SF_TEXT, reinterpret_cast<LPARAM>(&stream));
    }
    return true;
}

LRESULT CLicensePage::OnSetActive()
{
    if (Skip())
        return -1;
    if (m_context.Unattended()) {
        Check(IDC_LICENSE_ACCEPT, true);
        Check(IDC_LICENSE_DECLINE, false);
    }
    LRESULT result = CSetupPage::OnSetActive();
    UpdateButtons();
    return result;
}

bool CLicensePage::OnCommand(WORD id, WORD code, HWND control)
{
    if ((id == IDC_LICENSE_ACCEPT || id == IDC_LICENSE_DECLINE) && code == BN_CLICKED) {
        UpdateButtons();
        return true;
    }
    return CSetupPage::OnCommand(id, code, control);
}

void CLicensePage::UpdateButtons()
{
    SetWizardButtons(IsChecked(IDC_LICENSE_ACCEPT) ? m_buttons : (m_buttons & ~static_cast<DWORD>(PSWIZB_NEXT)));
}

// ---------------------------------------------------------------------------------------
// Type of installation

CTypePage::CTypePage(tSetupContext& context, const CWizardArt& art)
    : CSetupPage(context, art, IDD_TYPE, IDS_TYPE_TITLE, IDS_TYPE_SUBTITLE)
{
}

bool CTypePage::OnInitDialog()
{
    CSetupPage::OnInitDialog();
    Check(IDC_TYPE_DEFAULT, !m_context.customInstall);
    Check(IDC_TYPE_CUSTOM, m_context.customInstall);
    return true;
}

LRESULT CTypePage::OnWizardNext()
{
    m_context.customInstall = IsChecked(IDC_TYPE_CUSTOM);
    return 0;
}

// ---------------------------------------------------------------------------------------
// Components

CComponentsPage::CComponentsPage(tSetupContext& context, const CWizardArt& art)
    : CSetupPage(context, art, IDD_COMPONENTS, IDS_COMPONENTS_TITLE, IDS_COMPONENTS_SUBTITLE)
{
}

bool CComponentsPage::OnInitDialog()
{
    CSetupPage::OnInitDialog();
    HWND list = Item(IDC_COMPONENT_LIST);
    ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    RECT area;
    GetClientRect(list, &area);
    std::string component = LoadText(IDS_COLUMN_COMPONENT), version = LoadText(IDS_COLUMN_VERSION);
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = (area.right - area.left) * 3 / 4 - GetSystemMetrics(SM_CXVSCROLL);
    column.pszText = &component[0];
    SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
    column.cx = (area.right - area.left) / 4;
    column.pszText = &version[0];
    SendMessageA(list, LVM_INSERTCOLUMNA, 1, reinterpret_cast<LPARAM>(&column));
    for (size_t index = 0; index < m_context.products.size(); ++index) {
        const tProduct& product = m_context.products[index];
        LVITEMA item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(index);
        item.pszText = const_cast<char*>(product.name.c_str());
        item.lParam = static_cast<LPARAM>(index);
        int at = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
        LVITEMA sub = {};
        sub.iSubItem = 1;
        sub.pszText = const_cast<char*>(product.version.c_str());
        SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&sub));
        ListView_SetCheckState(list, at, product.selected);
    }
    return true;
}

LRESULT CComponentsPage::OnWizardNext()
{
    HWND list = Item(IDC_COMPONENT_LIST);
    int count = ListView_GetItemCount(list), selected = 0;
    for (int at = 0; at < count; ++at)
        selected += ListView_GetCheckState(list, at) ? 1 : 0;
    if (selected == 0) {
        Message(LoadText(IDS_SELECT_COMPONENT), MB_OK | MB_ICONINFORMATION);
        return -1;
    }
    for (int at = 0; at < count; ++at) {
        LVITEMA item = {};
        item.mask = LVIF_PARAM;
        item.iItem = at;
        if (SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) &&
            static_cast<size_t>(item.lParam) < m_context.products.size())
            m_context.products[static_cast<size_t>(item.lParam)].selected = ListView_GetCheckState(list, at) != 0;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// Directory

CDirectoryPage::CDirectoryPage(tSetupContext& context, const CWizardArt& art)
    : CSetupPage(context, art, IDD_DIRECTORY, IDS_DIRECTORY_TITLE, IDS_DIRECTORY_SUBTITLE)
{
}

bool CDirectoryPage::OnInitDialog()
{
    CSetupPage::OnInitDialog();
    SendItem(IDC_DIRECTORY_EDIT, EM_LIMITTEXT, MAX_PATH - 1);
    // Completion of folder names as the user types, where the shell offers it.
    SHAutoComplete(Item(IDC_DIRECTORY_EDIT), SHACF_FILESYS_DIRS);
    return true;
}

LRESULT CDirectoryPage::OnSetActive()
{
    if (Skip())
        return -1;
    SetItemText(IDC_DIRECTORY_EDIT, m_context.targetDir);
    return CSetupPage::OnSetActive();
}

bool CDirectoryPage::OnCommand(WORD id, WORD code, HWND control)
{
    if (id == IDC_DIRECTORY_BROWSE && code == BN_CLICKED) {
        Browse();
        return true;
    }
    return CSetupPage::OnCommand(id, code, control);
}

void CDirectoryPage::Browse()
{
    std::string prompt = LoadText(IDS_BROWSE_PROMPT);
    std::string current = ItemText(IDC_DIRECTORY_EDIT);
    BROWSEINFOA info = {};
    info.hwndOwner = Sheet();
    info.lpszTitle = prompt.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(current.c_str());
    LPITEMIDLIST chosen = SHBrowseForFolderA(&info);
    if (!chosen)
        return;
    char path[MAX_PATH] = "";
    if (SHGetPathFromIDListA(chosen, path))
        SetItemText(IDC_DIRECTORY_EDIT, path);
    CoTaskMemFree(chosen);
}

LRESULT CDirectoryPage::OnWizardNext()
{
    std::string path = ItemText(IDC_DIRECTORY_EDIT);
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    if (!IsFullPath(path)) {
        Message(LoadText(IDS_FULL_PATH), MB_OK | MB_ICONINFORMATION);
        return -1;
    }
    m_context.targetDir = path;
    m_context.AssignTargets();
    return 0;
}

// ---------------------------------------------------------------------------------------
// Finish

CFinishPage::CFinishPage(tSetupContext& context, const CWizardArt& art, bool removal)
    : CSetupPage(context, art, removal ? IDD_REMOVAL_FINISH : IDD_FINISH), m_removal(removal)
{
}

bool CFinishPage::OnInitDialog()
{
    CSetupPage::OnInitDialog();
    SetItemText(IDC_PAGE_TITLE, LoadText(m_removal ? IDS_REMOVAL_FINISH_TITLE : IDS_FINISH_TITLE));
    if (m_removal)
        return true;
    // One check box per finish action, below the text.
    RECT text;
    GetWindowRect(Item(IDC_PAGE_TEXT), &text);
    MapWindowPoints(nullptr, m_hwnd, reinterpret_cast<POINT*>(&text), 2);
    RECT unit = {0, 0, 4, 12};
    MapDialogRect(m_hwnd, &unit);
    int top = text.bottom + unit.bottom / 2;
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(m_hwnd, WM_GETFONT, 0, 0));
    for (size_t index = 0; index < m_context.finishActions.size(); ++index) {
        const tFinishAction& action = m_context.finishActions[index];
        std::string label = action.text;
        if (label.empty()) {
            std::string format = LoadText(IDS_START_NOW);
            std::string program = action.program.substr(action.program.find_last_of('\\') + 1);
            char buffer[512];
            snprintf(buffer, sizeof buffer, format.c_str(), program.c_str());
            label = buffer;
        }
        HWND box = CreateWindowExA(0, "BUTTON", label.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX,
                                   text.left, top, text.right - text.left, unit.bottom, m_hwnd,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_FINISH_ACTION_FIRST + index)),
                                   m_context.instance, nullptr);
        SendMessageA(box, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        SendMessageA(box, BM_SETCHECK, action.ticked ? BST_CHECKED : BST_UNCHECKED, 0);
        m_actions.push_back(box);
        top += unit.bottom + unit.bottom / 4;
    }
    return true;
}

LRESULT CFinishPage::OnSetActive()
{
    std::string text = LoadText(m_removal ? IDS_REMOVAL_FINISH_TEXT : IDS_FINISH_TEXT);
    if (m_context.rebootNeeded)
        text += "\r\n\r\n" + LoadText(IDS_REBOOT_NOTE);
    SetItemText(IDC_PAGE_TEXT, text);
    return CSetupPage::OnSetActive();
}

bool CFinishPage::OnWizardFinish()
{
    for (size_t index = 0; index < m_actions.size() && index < m_context.finishActions.size(); ++index)
        m_context.finishActions[index].ticked = SendMessageA(m_actions[index], BM_GETCHECK, 0, 0) == BST_CHECKED;
    return true;
}

} // namespace setup
