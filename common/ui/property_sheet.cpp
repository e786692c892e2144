#include "common/ui/property_sheet.h"

#include "common/trace.h"

namespace ui {

void CPropertyPage::SetHeader(UINT titleId, UINT subtitleId)
{
    m_headerTitleId = titleId;
    m_headerSubtitleId = subtitleId;
}

void CPropertyPage::SetModified(bool modified)
{
    if (!Sheet())
        return;
    SendMessageA(Sheet(), modified ? PSM_CHANGED : PSM_UNCHANGED, reinterpret_cast<WPARAM>(m_hwnd), 0);
}

void CPropertyPage::SetWizardButtons(DWORD flags)
{
    if (Sheet())
        PostMessageA(Sheet(), PSM_SETWIZBUTTONS, 0, static_cast<LPARAM>(flags));
}

void CPropertyPage::GoToPage(UINT templateId)
{
    if (Sheet())
        SendMessageA(Sheet(), PSM_SETCURSELID, 0, static_cast<LPARAM>(templateId));
}

void CPropertyPage::GoToIndex(int index)
{
    if (Sheet())
        SendMessageA(Sheet(), PSM_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void CPropertyPage::PressButton(int button)
{
    if (Sheet())
        PostMessageA(Sheet(), PSM_PRESSBUTTON, static_cast<WPARAM>(button), 0);
}

PROPSHEETPAGEA CPropertyPage::Describe()
{
    PROPSHEETPAGEA page = {};
    page.dwSize = sizeof page;
    page.hInstance = m_instance;
    page.dwFlags = PSP_DEFAULT;
    if (const DLGTEMPLATE* described = Template()) {
        page.pResource = described;
        page.dwFlags |= PSP_DLGINDIRECT;
    } else {
        page.pszTemplate = MAKEINTRESOURCEA(m_templateId);
    }
    // The page procedure finds the object through the page's lParam (see PageProcedure).
    page.pfnDlgProc = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
        CPropertyPage* self = nullptr;
        if (message == WM_INITDIALOG) {
            auto described = reinterpret_cast<const PROPSHEETPAGEA*>(lParam);
            self = described ? reinterpret_cast<CPropertyPage*>(described->lParam) : nullptr;
            if (self)
                self->Attach(hwnd);
        } else {
            self = static_cast<CPropertyPage*>(
                reinterpret_cast<CDialogBase*>(GetWindowLongPtrA(hwnd, DWLP_USER)));
        }
        return self ? self->Dispatch(message, wParam, lParam) : FALSE;
    };
    page.lParam = reinterpret_cast<LPARAM>(this);
    if (m_titleId) {
        m_title = LoadText(m_titleId);
        page.pszTitle = m_title.c_str();
        page.dwFlags |= PSP_USETITLE;
    }
    if (m_exterior) {
        page.dwFlags |= PSP_HIDEHEADER;
    } else if (m_headerTitleId) {
        m_headerTitle = LoadText(m_headerTitleId);
        page.pszHeaderTitle = m_headerTitle.c_str();
        page.dwFlags |= PSP_USEHEADERTITLE;
        if (m_headerSubtitleId) {
            m_headerSubtitle = LoadText(m_headerSubtitleId);
            page.pszHeaderSubTitle = m_headerSubtitle.c_str();
            page.dwFlags |= PSP_USEHEADERSUBTITLE;
        }
    }
    return page;
}

bool CPropertyPage::OnNotify(NMHDR* header, LRESULT& result)
{
    // Only the sheet's notifications to this page; controls' notifications go to derived classes.
    if (header->hwndFrom != Sheet())
        return false;
    switch (header->code) {
    case PSN_SETACTIVE:
        result = OnSetActive();
        return true;
    case PSN_KILLACTIVE:
        result = OnKillActive() ? FALSE : TRUE;
        return true;
    case PSN_WIZNEXT:
        result = OnWizardNext();
        return true;
    case PSN_WIZBACK:
        result = OnWizardBack();
        return true;
    case PSN_WIZFINISH:
        result = OnWizardFinish() ? FALSE : TRUE;
        return true;
    case PSN_APPLY:
        result = OnApply() ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE;
        return true;
    case PSN_RESET:
        OnReset();
        result = 0;
        return true;
    case PSN_QUERYCANCEL:
        result = OnQueryCancel() ? FALSE : TRUE;
        return true;
    default:
        return false;
    }
}

void CPropertySheet::SetWizard97(UINT watermarkId, UINT headerId)
{
    m_flags &= ~static_cast<DWORD>(PSH_WIZARD);
    m_flags |= PSH_WIZARD97;
    m_watermarkId = watermarkId;
    m_headerId = headerId;
}

void CPropertySheet::SetWizard()
{
    m_flags &= ~static_cast<DWORD>(PSH_WIZARD97);
    m_flags |= PSH_WIZARD;
}

INT_PTR CPropertySheet::DoModal(HWND parent)
{
    std::vector<PROPSHEETPAGEA> pages;
    pages.reserve(m_pages.size());
    for (tEntry& entry : m_pages)
        pages.push_back(entry.page ? entry.page->Describe() : entry.described);

    PROPSHEETHEADERA header = {};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_PROPSHEETPAGE | m_flags;
    header.hwndParent = parent;
    header.hInstance = m_instance;
    header.pszCaption = m_caption.c_str();
    header.nPages = static_cast<UINT>(pages.size());
    header.nStartPage = m_startPage;
    header.ppsp = pages.data();
    if (m_icon) {
        header.dwFlags |= PSH_USEHICON;
        header.hIcon = m_icon;
    }
    if (m_flags & PSH_WIZARD97) {
        if (m_watermarkId) {
            header.dwFlags |= PSH_WATERMARK;
            header.pszbmWatermark = MAKEINTRESOURCEA(m_watermarkId);
        }
        if (m_headerId) {
            header.dwFlags |= PSH_HEADER;
            header.pszbmHeader = MAKEINTRESOURCEA(m_headerId);
        }
    }
    INT_PTR result = PropertySheetA(&header);
    if (result < 0) {
        TraceHere("PropertySheet failed\n");
        TraceLastError();
    }
    return result;
}

} // namespace ui
