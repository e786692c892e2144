#include "monitor/merge.h"

namespace {

void FreeRows(std::vector<tTreeRow*>& rows, tMergeStats* stats)
{
    for (tTreeRow* row : rows) {
        FreeRows(row->children, stats);
        delete row;
        if (stats)
            ++stats->deleted;
    }
    rows.clear();
}

void SetRowView(HWND tree, const tTreeRow& row)
{
    std::string text = RowText(row.name, row.value);
    TVITEMA tvi = {};
    tvi.mask = TVIF_HANDLE | TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    tvi.hItem = row.handle;
    tvi.pszText = const_cast<char*>(text.c_str());
    tvi.iImage = row.image;
    tvi.iSelectedImage = row.image;
    SendMessageA(tree, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&tvi));
}

} // namespace

std::string RowText(const std::string& name, const std::string& value)
{
    return value.empty() ? name : name + ": " + value;
}

tTreeRow* GetTreeRow(HWND tree, HTREEITEM item)
{
    TVITEMA tvi = {};
    tvi.mask = TVIF_HANDLE | TVIF_PARAM;
    tvi.hItem = item;
    if (!item || !SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tvi)))
        return nullptr;
    return reinterpret_cast<tTreeRow*>(tvi.lParam);
}

tTreeRow* CTreeRows::Insert(tTreeRow* parent, tTreeRow* after, const CItem& item,
                            const std::string& plugin, HANDLE refresh)
{
    Changing();
    tTreeRow* row = new tTreeRow;
    row->value = item.GetValue();
    row->name = item.GetName();
    row->plugin = plugin;
    row->refresh = refresh;
    row->image = item.GetIcon();
    row->id = item.GetId();
    if (item.GetActions())
        row->actions = *item.GetActions();

    std::string text = RowText(row->name, row->value);
    TVINSERTSTRUCTA insert = {};
    insert.hParent = parent ? parent->handle : TVI_ROOT;
    insert.hInsertAfter = after ? after->handle : TVI_FIRST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM | TVIF_STATE;
    insert.item.pszText = const_cast<char*>(text.c_str());
    insert.item.iImage = row->image;
    insert.item.iSelectedImage = row->image;
    insert.item.state = TVIS_EXPANDED;
    insert.item.stateMask = TVIS_EXPANDED;
    insert.item.lParam = reinterpret_cast<LPARAM>(row);
    row->handle = reinterpret_cast<HTREEITEM>(
        SendMessageA(m_tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
    if (!row->handle) {
        delete row;
        return nullptr;
    }
    return row;
}

void CTreeRows::Update(tTreeRow& row, const CItem& item, tMergeStats* stats)
{
    if (row.name != item.GetName() || row.value != item.GetValue() || row.image != item.GetIcon()) {
        Changing();
        row.name = item.GetName();
        row.value = item.GetValue();
        row.image = item.GetIcon();
        SetRowView(m_tree, row);
        if (stats)
            ++stats->updated;
    }
    if (item.GetActions())
        row.actions = *item.GetActions();
    else
        row.actions.clear();
}

void CTreeRows::Delete(std::vector<tTreeRow*>& level, size_t index, tMergeStats* stats)
{
    Changing();
    tTreeRow* row = level[index];
    level.erase(level.begin() + static_cast<std::ptrdiff_t>(index));
    // The tree view deletes the item's subtree; we free the records behind it.
    TreeView_DeleteItem(m_tree, row->handle);
    std::vector<tTreeRow*> gone = {row};
    FreeRows(gone, stats);
}

void CTreeRows::MergeLevel(tTreeRow* parent, std::vector<tTreeRow*>& level, const CState& items,
                           int current, const std::string& plugin, HANDLE refresh,
                           tMergeStats* stats)
{
    const bool root = parent == nullptr;
    auto ours = [&](size_t index) { return !root || level[index]->plugin == plugin; };

    for (int32_t i = 0; i < items.GetCount(); ++i) {
        const CItem* item = items.GetAt(i);
        if (!item)
            continue;
        size_t found = level.size();
        for (size_t j = static_cast<size_t>(current + 1); j < level.size() && ours(j); ++j)
            if (level[j]->id == item->GetId()) {
                found = j;
                break;
            }

        if (found < level.size()) {
            // The rows passed over on the way are gone from the plug-in's tree.
            for (size_t k = found; k > static_cast<size_t>(current + 1); --k)
                Delete(level, static_cast<size_t>(current + 1), stats);
            current += 1;
            Update(*level[static_cast<size_t>(current)], *item, stats);
        } else {
            tTreeRow* after = current >= 0 ? level[static_cast<size_t>(current)] : nullptr;
            tTreeRow* row = Insert(parent, after, *item, plugin, refresh);
            if (!row)
                continue;
            current += 1;
            level.insert(level.begin() + current, row);
            if (stats)
                ++stats->inserted;
        }

        tTreeRow* row = level[static_cast<size_t>(current)];
        const CState& children = item->GetChildren();
        if (children.GetCount() > 0) {
            MergeLevel(row, row->children, children, -1, plugin, refresh, stats);
        } else {
            // An item without children shows none.
            while (!row->children.empty())
                Delete(row->children, 0, stats);
        }
    }

    // Whatever of this plug-in follows the last item is gone from its tree.
    size_t next = static_cast<size_t>(current + 1);
    while (next < level.size() && ours(next))
        Delete(level, next, stats);
}

void CTreeRows::Changing()
{
    if (!m_redrawOff && ++m_changes > kChangesBeforeRedrawOff) {
        SendMessageA(m_tree, WM_SETREDRAW, FALSE, 0);
        m_redrawOff = true;
    }
}

void CTreeRows::Merge(const CState* state, const std::string& plugin, HANDLE refresh,
                      tMergeStats* stats)
{
    m_changes = 0;
    int current = -1;
    while (static_cast<size_t>(current + 1) < m_roots.size() &&
           m_roots[static_cast<size_t>(current + 1)]->plugin.compare(plugin) < 0)
        ++current;
    static const CState kEmpty;
    MergeLevel(nullptr, m_roots, state ? *state : kEmpty, current, plugin, refresh, stats);
    if (m_redrawOff) {
        SendMessageA(m_tree, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(m_tree, nullptr, TRUE);
        m_redrawOff = false;
    }
}

void CTreeRows::Clear()
{
    while (!m_roots.empty())
        Delete(m_roots, 0, nullptr);
}
