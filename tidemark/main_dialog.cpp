#include "tidemark/main_dialog.h"

#include "common/ui/message_box.h"
#include "tidemark/cleaner.h"
#include "tidemark/preview_dialog.h"
#include "tidemark/progress_dialog.h"
#include "tidemark/res/resource.h"
#include "tidemark/system_access.h"

namespace {

struct tBox {
    int id;
    bool tCleanOptions::*flag;
};

const tBox kBoxes[] = {
    {IDC_COOKIES, &tCleanOptions::cookies},       {IDC_TEMPFILES, &tCleanOptions::tempFiles},
    {IDC_HISTORY, &tCleanOptions::history},       {IDC_RECENT_LISTS, &tCleanOptions::recentLists},
    {IDC_FORM_DATA, &tCleanOptions::formData},    {IDC_PASSWORDS, &tCleanOptions::passwords},
};

} // namespace

CMainDialog::CMainDialog(HINSTANCE instance) : CDialog(instance, IDD_MAIN) {}

tCleanOptions CMainDialog::BoxStates() const
{
    tCleanOptions options;
    for (const tBox& box : kBoxes)
        options.*box.flag = IsChecked(box.id);
    return options;
}

bool CMainDialog::OnInitDialog()
{
    for (int big = 0; big < 2; ++big) {
        HANDLE icon = LoadImageA(m_instance, MAKEINTRESOURCEA(IDI_TIDEMARK), IMAGE_ICON,
                                 GetSystemMetrics(big ? SM_CXICON : SM_CXSMICON),
                                 GetSystemMetrics(big ? SM_CYICON : SM_CYSMICON), LR_SHARED);
        SendMessageA(m_hwnd, WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    }
    SetItemText(IDC_RECENT_LISTS_TEXT, LoadText(IDS_RECENT_LISTS_TEXT));
    for (const tBox& box : kBoxes)
        Check(box.id, m_options.*box.flag);
    return true;
}

bool CMainDialog::OnSaveData()
{
    m_options = BoxStates();
    return true;
}

bool CMainDialog::OnCommand(WORD id, WORD code, HWND control)
{
    if (id == IDC_DELETE && code == BN_CLICKED) {
        OnDelete();
        return true;
    }
    if (id == IDC_PREVIEW && code == BN_CLICKED) {
        OnPreview();
        return true;
    }
    return CDialog::OnCommand(id, code, control);
}

void CMainDialog::OnDelete()
{
    if (m_running)
        return;
    m_running = true;
    if (SystemAccess().countDocumentWindows() > 0)
        ui::ShowMessage(m_hwnd, m_instance, IDS_BROWSER_RUNNING, IDS_BROWSER_RUNNING_CAPTION,
                        MB_OK | MB_ICONEXCLAMATION);
    tCleanJob job;
    job.options = BoxStates();
    EnableItem(IDC_DELETE, false);
    {
        CProgressDialog progress(m_instance, job);
        m_lastRun = progress.DoModal(m_hwnd);
    }
    EnableItem(IDC_DELETE, true);
    SendMessageA(m_hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDC_DELETE)), TRUE);
    m_running = false;
}

void CMainDialog::OnPreview()
{
    if (m_running)
        return;
    HCURSOR previous = SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
    CPreviewDialog preview(m_instance);
    preview.m_rows = FormatPreview(CollectPreview(BoxStates()), m_instance);
    SetCursor(previous);
    preview.DoModal(m_hwnd);
}
