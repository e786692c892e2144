#include "plugins/dialtrack/statistics_window.h"

#include <windowsx.h>

#include <string.h>

#include <algorithm>
#include <memory>
#include <type_traits>

#include "common/strings.h"
#include "common/ui/message_box.h"
#include "plugins/dialtrack/formats.h"
#include "plugins/dialtrack/res/dialtrack_resource.h"
#include "plugins/dialtrack/usage_chart.h"

namespace {

using tMenu = std::unique_ptr<std::remove_pointer_t<HMENU>, decltype(&DestroyMenu)>;

struct tColumn {
    UINT textId;
    int width;
    int format;
};

const tColumn kColumns[] = {
    {IDS_CONNECTION_NAME, 120, LVCFMT_LEFT}, {IDS_CONNECT, 120, LVCFMT_LEFT}, {IDS_DURATION, 120, LVCFMT_LEFT},
    {IDS_UPLOAD, 60, LVCFMT_RIGHT},          {IDS_DOWNLOAD, 60, LVCFMT_RIGHT},
};

void SetSubItem(HWND list, int row, int column, const std::string& text)
{
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text.c_str());
    SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

// Answers a question the window's thread is asking with "No" (or cancels it).
BOOL CALLBACK AnswerNo(HWND window, LPARAM sheet)
{
    char name[16] = "";
    GetClassNameA(window, name, sizeof name);
    if (window != reinterpret_cast<HWND>(sheet) && strcmp(name, "#32770") == 0) {
        PostMessageA(window, WM_COMMAND, IDNO, 0);
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    }
    return TRUE;
}

} // namespace

bool CStatisticsPage::OnInitDialog()
{
    m_owner.PageShown(*this);
    return true;
}

void CStatisticsPage::OnDestroy()
{
    m_owner.PageGone(*this);
}

CIndividualPage::CIndividualPage(HINSTANCE instance, CStatisticsWindow& owner, CStatisticFiles& files)
    : CStatisticsPage(instance, IDD_INDIVIDUAL_OVERVIEW, owner, files)
{
}

bool CIndividualPage::OnInitDialog()
{
    HWND list = Item(IDC_CALL_LIST);
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    int index = 0;
    for (const tColumn& column : kColumns) {
        std::string text = LoadText(column.textId);
        LVCOLUMNA info = {};
        info.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        info.fmt = column.format;
        info.cx = column.width;
        info.pszText = const_cast<char*>(text.c_str());
        info.iSubItem = index;
        SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(index++), reinterpret_cast<LPARAM>(&info));
    }
    Reload();
    return CStatisticsPage::OnInitDialog();
}

void CIndividualPage::Reload()
{
    HWND list = Item(IDC_CALL_LIST);
    if (!m_files.ReadCalls(m_calls))
        m_calls.clear();
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    for (size_t i = 0; i < m_calls.size(); ++i) {
        const CCallRecord& record = m_calls[i].record;
        LVITEMA item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<char*>(record.m_entryName.c_str());
        item.lParam = static_cast<LPARAM>(i);
        int row = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
        if (row < 0)
            continue;
        SetSubItem(list, row, 1, LocalStartText(record.m_start));
        SetSubItem(list, row, 2, FormatDurationDhms(record.m_duration));
        SetSubItem(list, row, 3, MegabyteText(m_instance, record.m_sent));
        SetSubItem(list, row, 4, MegabyteText(m_instance, record.m_received));
    }
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    // The newest calls are at the end of the log.
    if (!m_calls.empty())
        SendMessageA(list, LVM_ENSUREVISIBLE, m_calls.size() - 1, FALSE);
    InvalidateRect(list, nullptr, TRUE);
}

void CIndividualPage::DeleteSelected()
{
    HWND list = Item(IDC_CALL_LIST);
    std::vector<std::string> lines;
    for (int row = -1; (row = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(row),
                                                              LVNI_SELECTED))) >= 0;) {
        LVITEMA item = {};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        if (SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) &&
            static_cast<size_t>(item.lParam) < m_calls.size())
            lines.push_back(m_calls[static_cast<size_t>(item.lParam)].line);
    }
    if (lines.empty())
        return;
    UINT question = lines.size() == 1 ? IDS_DELETE_ENTRY_QUESTION : IDS_DELETE_ENTRIES_QUESTION;
    if (ui::ShowMessage(Sheet(), m_instance, question, IDS_DELETE_CALLS_TITLE, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    if (!m_files.DeleteCalls(lines))
        ui::ShowMessage(Sheet(), m_instance, IDS_CHANGE_FAILED, IDS_DELETE_CALLS_TITLE, MB_OK | MB_ICONERROR);
    Reload();
}

void CIndividualPage::ShowContextMenu(LPARAM position)
{
    HWND list = Item(IDC_CALL_LIST);
    int selected = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    POINT point = {GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    if (position == -1) {
        // From the keyboard: below the selected row, or at the list's corner.
        RECT row = {};
        row.left = LVIR_LABEL;
        point = {0, 0};
        if (selected >= 0 && SendMessageA(list, LVM_GETITEMRECT, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(&row)))
            point = {row.left, row.bottom};
        ClientToScreen(list, &point);
    }
    tMenu menu(CreatePopupMenu(), DestroyMenu);
    if (!menu)
        return;
    std::string text = LoadText(IDS_DELETE_MENU);
    AppendMenuA(menu.get(), MF_STRING | (selected >= 0 ? 0 : MF_GRAYED), ID_DELETE_CALLS, text.c_str());
    UINT chosen = TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, point.x, point.y, 0,
                                 m_hwnd, nullptr);
    if (chosen == ID_DELETE_CALLS)
        DeleteSelected();
}

bool CIndividualPage::OnNotify(NMHDR* header, LRESULT& result)
{
    if (header->idFrom == IDC_CALL_LIST && header->code == LVN_KEYDOWN &&
        reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey == VK_DELETE) {
        DeleteSelected();
        result = 0;
        return true;
    }
    return CStatisticsPage::OnNotify(header, result);
}

bool CIndividualPage::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result)
{
    if (message == WM_CONTEXTMENU && reinterpret_cast<HWND>(wParam) == Item(IDC_CALL_LIST)) {
        ShowContextMenu(lParam);
        result = TRUE;
        return true;
    }
    return CStatisticsPage::OnMessage(message, wParam, lParam, result);
}

CMonthlyPage::CMonthlyPage(HINSTANCE instance, CStatisticsWindow& owner, CStatisticFiles& files, HANDLE changed)
    : CStatisticsPage(instance, IDD_MONTHLY_OVERVIEW, owner, files), m_changed(changed)
{
}

bool CMonthlyPage::OnInitDialog()
{
    Reload();
    return CStatisticsPage::OnInitDialog();
}

void CMonthlyPage::Reload()
{
    int selected = static_cast<int>(SendItem(IDC_MONTH_LIST, CB_GETCURSEL));
    tMonth current = CurrentLocalMonth();
    tMonth keep = selected >= 0 && static_cast<size_t>(selected) < m_months.size() ? m_months[static_cast<size_t>(selected)]
                                                                                   : current;
    m_entries = m_files.LoadMonthlyEntries();
    // The current month is always offered, with or without calls.
    std::vector<tMonthlyEntry> offered = m_entries;
    tMonthlyEntry now;
    now.year = current.year;
    now.month = current.month;
    offered.push_back(now);
    m_months = MonthsWithData(offered);

    SendItem(IDC_MONTH_LIST, CB_RESETCONTENT);
    int choose = 0;
    for (size_t i = 0; i < m_months.size(); ++i) {
        std::string text = YearMonthText(m_months[i]);
        SendItem(IDC_MONTH_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        if (m_months[i] == keep)
            choose = static_cast<int>(i);
    }
    SendItem(IDC_MONTH_LIST, CB_SETCURSEL, static_cast<WPARAM>(choose));
    ShowSelectedMonth();
    InvalidateRect(Item(IDC_CHART), nullptr, TRUE);
}

void CMonthlyPage::ShowSelectedMonth()
{
    int selected = static_cast<int>(SendItem(IDC_MONTH_LIST, CB_GETCURSEL));
    if (selected < 0 || static_cast<size_t>(selected) >= m_months.size())
        return;
    tMonth month = m_months[static_cast<size_t>(selected)];
    UINT title = month == CurrentLocalMonth() ? IDS_CURRENT_MONTH : IDS_OVERVIEW;
    SetItemText(IDC_MONTH_VALUES, LoadText(title) + " (" + YearMonthText(month) + ")");
    tMonthTotals totals = SumMonth(m_entries, month);
    SetItemText(IDC_MONTH_DURATION, FormatHoursMinutesShort(totals.duration));
    SetItemText(IDC_MONTH_SENT, MegabyteText(m_instance, totals.sent));
    SetItemText(IDC_MONTH_RECEIVED, MegabyteText(m_instance, totals.received));
    SetItemText(IDC_MONTH_VOLUME, MegabyteText(m_instance, totals.Volume()));
}

void CMonthlyPage::DeleteStatistics()
{
    if (ui::ShowMessage(Sheet(), m_instance, IDS_DELETE_ALL_QUESTION, IDS_DELETE_ALL_TITLE, MB_YESNO | MB_ICONWARNING) != IDYES)
        return;
    if (!m_files.DeleteAll())
        ui::ShowMessage(Sheet(), m_instance, IDS_CHANGE_FAILED, IDS_DELETE_ALL_TITLE, MB_OK | MB_ICONERROR);
    SetEvent(m_changed);
    m_owner.DataChanged();
}

bool CMonthlyPage::OnCommand(WORD id, WORD code, HWND control)
{
    if (id == IDC_MONTH_LIST && code == CBN_SELCHANGE) {
        ShowSelectedMonth();
        return true;
    }
    if (id == IDC_DELETE_STATISTIC && code == BN_CLICKED) {
        DeleteStatistics();
        return true;
    }
    return CStatisticsPage::OnCommand(id, code, control);
}

bool CMonthlyPage::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result)
{
    if (message == WM_DRAWITEM && wParam == IDC_CHART) {
        auto draw = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        HFONT font = reinterpret_cast<HFONT>(SendMessageA(m_hwnd, WM_GETFONT, 0, 0));
        DrawUsageChart(draw->hDC, draw->rcItem, font, m_instance, LastTwelveMonths(m_entries, CurrentLocalMonth()));
        result = TRUE;
        return true;
    }
    return CStatisticsPage::OnMessage(message, wParam, lParam, result);
}

CStatisticsWindow::CStatisticsWindow(HINSTANCE instance, CStatisticFiles& files, HANDLE changed)
    : m_instance(instance), m_files(files), m_changed(changed)
{
}

void CStatisticsWindow::Open()
{
    if (m_thread.IsRunning()) {
        if (HWND sheet = GetSheet()) {
            if (IsIconic(sheet))
                ShowWindow(sheet, SW_RESTORE);
            SetForegroundWindow(sheet);
        }
        return;
    }
    m_thread.Start([this](CThread&) { Run(); });
}

void CStatisticsWindow::Close()
{
    while (m_thread.IsRunning()) {
        HWND sheet = GetSheet();
        std::vector<HWND> pages;
        {
            raii::CLock lock(m_lock);
            for (CStatisticsPage* page : m_pages)
                pages.push_back(page->Handle());
        }
        // Escape ends a context menu; questions are answered "No"; then the sheet is cancelled.
        for (HWND page : pages)
            PostMessageA(page, WM_KEYDOWN, VK_ESCAPE, 0);
        EnumThreadWindows(m_thread.Id(), AnswerNo, reinterpret_cast<LPARAM>(sheet));
        if (sheet)
            PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        if (m_thread.Join(200))
            break;
    }
    m_thread.Join();
}

void CStatisticsWindow::DataChanged()
{
    raii::CLock lock(m_lock);
    for (CStatisticsPage* page : m_pages)
        ui::PostTask(page->Handle(), [page] { page->Reload(); });
}

HWND CStatisticsWindow::GetSheet() const
{
    raii::CLock lock(m_lock);
    return m_sheet;
}

void CStatisticsWindow::PageShown(CStatisticsPage& page)
{
    raii::CLock lock(m_lock);
    m_sheet = page.Sheet();
    if (std::find(m_pages.begin(), m_pages.end(), &page) == m_pages.end())
        m_pages.push_back(&page);
}

void CStatisticsWindow::PageGone(CStatisticsPage& page)
{
    raii::CLock lock(m_lock);
    m_pages.erase(std::remove(m_pages.begin(), m_pages.end(), &page), m_pages.end());
}

void CStatisticsWindow::Run()
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    CIndividualPage individual(m_instance, *this, m_files);
    CMonthlyPage monthly(m_instance, *this, m_files, m_changed);
    ui::CPropertySheet sheet(m_instance, xUtilLoadString(m_instance, IDS_STATISTICS_TITLE));
    sheet.AddPage(individual);
    sheet.AddPage(monthly);
    sheet.AddFlags(PSH_NOAPPLYNOW | PSH_NOCONTEXTHELP);
    sheet.DoModal(nullptr);
    raii::CLock lock(m_lock);
    m_sheet = nullptr;
    m_pages.clear();
}
