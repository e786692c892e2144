#include "tandem/app/paced_rows.h"

#include <commctrl.h>

#include <algorithm>

namespace {

int FindRowItem(HWND view, int key)
{
    LVFINDINFOA find = {};
    find.flags = LVFI_PARAM;
    find.lParam = key;
    return ListView_FindItem(view, -1, &find);
}

} // namespace

bool CPacedRows::Paced()
{
    if (m_paced)
        return true;
    m_paced = SetTimer(m_owner, m_timerId, m_paceMs, nullptr) != 0;
    return false;
}

void CPacedRows::Add(int key, const std::string& name, const std::string& status, const std::string& host)
{
    tRow row{key, name, status, host};
    if (Paced())
        m_added.push_back(std::move(row));
    else
        Insert(row);
}

void CPacedRows::SetStatus(int key, const std::string& status)
{
    if (!Paced()) {
        SetText(key, status);
        return;
    }
    auto waiting = std::find_if(m_added.begin(), m_added.end(), [key](const tRow& row) { return row.key == key; });
    if (waiting != m_added.end())
        waiting->status = status;
    else if (!m_removed.count(key))
        m_texts[key] = status;
}

void CPacedRows::Remove(int key)
{
    if (!Paced()) {
        Delete(key);
        return;
    }
    auto waiting = std::find_if(m_added.begin(), m_added.end(), [key](const tRow& row) { return row.key == key; });
    if (waiting != m_added.end()) {
        // Never shown: nothing to take out of the view.
        m_added.erase(waiting);
        return;
    }
    m_texts.erase(key);
    m_removed.insert(key);
}

void CPacedRows::Flush()
{
    if (m_added.empty() && m_texts.empty() && m_removed.empty()) {
        Stop();
        return;
    }
    std::vector<tRow> added;
    std::map<int, std::string> texts;
    std::set<int> removed;
    added.swap(m_added);
    texts.swap(m_texts);
    removed.swap(m_removed);
    if (!m_view)
        return;
    SendMessageA(m_view, WM_SETREDRAW, FALSE, 0);
    for (int key : removed)
        Delete(key);
    for (const auto& text : texts)
        SetText(text.first, text.second);
    for (const tRow& row : added)
        Insert(row);
    SendMessageA(m_view, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(m_view, nullptr, TRUE);
}

void CPacedRows::Stop()
{
    if (m_paced)
        KillTimer(m_owner, m_timerId);
    m_paced = false;
    m_added.clear();
    m_texts.clear();
    m_removed.clear();
}

void CPacedRows::Insert(const tRow& row)
{
    if (!m_view)
        return;
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = ListView_GetItemCount(m_view);
    item.pszText = const_cast<char*>(row.name.c_str());
    item.lParam = row.key;
    int index = ListView_InsertItem(m_view, &item);
    if (index < 0)
        return;
    ListView_SetItemText(m_view, index, 1, const_cast<char*>(row.status.c_str()));
    ListView_SetItemText(m_view, index, 2, const_cast<char*>(row.host.c_str()));
}

void CPacedRows::SetText(int key, const std::string& status)
{
    int index = m_view ? FindRowItem(m_view, key) : -1;
    if (index >= 0)
        ListView_SetItemText(m_view, index, 1, const_cast<char*>(status.c_str()));
}

void CPacedRows::Delete(int key)
{
    int index = m_view ? FindRowItem(m_view, key) : -1;
    if (index >= 0)
        ListView_DeleteItem(m_view, index);
}
