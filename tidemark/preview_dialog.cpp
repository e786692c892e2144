#include "tidemark/preview_dialog.h"

#include "tidemark/res/resource.h"

CPreviewDialog::CPreviewDialog(HINSTANCE instance) : CDialog(instance, IDD_PREVIEW) {}

bool CPreviewDialog::OnInitDialog()
{
    HWND list = Item(IDC_PREVIEW_LIST);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
    RECT client = {};
    GetClientRect(list, &client);
    int width = client.right - client.left - GetSystemMetrics(SM_CXVSCROLL);
    std::string headers[2] = {LoadText(IDS_PREVIEW_COLUMN_DATA), LoadText(IDS_PREVIEW_COLUMN_FOUND)};
    for (int i = 0; i < 2; ++i) {
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.cx = i == 0 ? width * 11 / 20 : width - width * 11 / 20;
        column.pszText = &headers[i][0];
        column.iSubItem = i;
        SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
    int row = 0;
    for (auto& entry : m_rows) {
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = &entry.first[0];
        int index = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
        if (index < 0)
            continue;
        LVITEMA detail = {};
        detail.iSubItem = 1;
        detail.pszText = &entry.second[0];
        SendMessageA(list, LVM_SETITEMTEXTA, index, reinterpret_cast<LPARAM>(&detail));
        ++row;
    }
    return true;
}
