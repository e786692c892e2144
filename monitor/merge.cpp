#include "monitor/merge.h"

#include <vector>

namespace {

HTREEITEM Next(HWND tree, HTREEITEM item)
{
    return TreeView_GetNextSibling(tree, item);
}

HTREEITEM FirstChild(HWND tree, HTREEITEM parent)
{
    return parent == TVI_ROOT ? TreeView_GetRoot(tree) : TreeView_GetChild(tree, parent);
}

// The row after the current position, or the first row of the level.
HTREEITEM AfterCurrent(HWND tree, HTREEITEM parent, HTREEITEM current)
{
    return current ? Next(tree, current) : FirstChild(tree, parent);
}

void SetRowView(HWND tree, HTREEITEM item, const tTreeRow& row)
{
    std::string text = RowText(row.name, row.value);
    TVITEMA tvi = {};
    tvi.mask = TVIF_HANDLE | TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    tvi.hItem = item;
    tvi.pszText = const_cast<char*>(text.c_str());
    tvi.iImage = row.image;
    tvi.iSelectedImage = row.image;
    SendMessageA(tree, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&tvi));
}

HTREEITEM InsertRow(HWND tree, HTREEITEM parent, HTREEITEM after, const CItem& item,
                    const std::string& plugin, HANDLE refresh)
{
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
    insert.hParent = parent;
    insert.hInsertAfter = after ? after : TVI_FIRST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM | TVIF_STATE;
    insert.item.pszText = const_cast<char*>(text.c_str());
    insert.item.iImage = row->image;
    insert.item.iSelectedImage = row->image;
    insert.item.state = TVIS_EXPANDED;
    insert.item.stateMask = TVIS_EXPANDED;
    insert.item.lParam = reinterpret_cast<LPARAM>(row);
    HTREEITEM inserted = reinterpret_cast<HTREEITEM>(
        SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
    if (!inserted)
        delete row;
    return inserted;
}

void UpdateRow(HWND tree, HTREEITEM item, tTreeRow& row, const CItem& source,
               tMergeStats* stats)
{
    bool differs = row.name != source.GetName() || row.value != source.GetValue() ||
                   row.image != source.GetIcon();
    if (differs) {
        row.name = source.GetName();
        row.value = source.GetValue();
        row.image = source.GetIcon();
        SetRowView(tree, item, row);
        if (stats)
            ++stats->updated;
    }
    if (source.GetActions())
        row.actions = *source.GetActions();
    else
        row.actions.clear();
}

void DeleteChildren(HWND tree, HTREEITEM parent, tMergeStats* stats)
{
    while (HTREEITEM child = TreeView_GetChild(tree, parent))
        DeleteTreeRow(tree, child, stats);
}

bool BelongsTo(HWND tree, HTREEITEM item, const std::string& plugin)
{
    const tTreeRow* row = GetTreeRow(tree, item);
    return row && row->plugin == plugin;
}

void MergeLevel(HWND tree, HTREEITEM parent, const CState& items, HTREEITEM current,
                const std::string& plugin, HANDLE refresh, tMergeStats* stats)
{
    const bool root = parent == TVI_ROOT;
    std::vector<HTREEITEM> passed;
    for (int32_t i = 0; i < items.GetCount(); ++i) {
        const CItem* item = items.GetAt(i);
        if (!item)
            continue;
        passed.clear();
        HTREEITEM found = nullptr;
        for (HTREEITEM h = AfterCurrent(tree, parent, current); h; h = Next(tree, h)) {
            if (root && !BelongsTo(tree, h, plugin))
                break;
            const tTreeRow* row = GetTreeRow(tree, h);
            if (row && row->id == item->GetId()) {
                found = h;
                break;
            }
            passed.push_back(h);
        }

        HTREEITEM row;
        if (found) {
            for (HTREEITEM h : passed)
                DeleteTreeRow(tree, h, stats);
            UpdateRow(tree, found, *GetTreeRow(tree, found), *item, stats);
            row = found;
        } else {
            row = InsertRow(tree, parent, current, *item, plugin, refresh);
            if (!row)
                continue;
            if (stats)
                ++stats->inserted;
        }
        current = row;

        const CState& children = item->GetChildren();
        if (children.GetCount() > 0)
            MergeLevel(tree, row, children, nullptr, plugin, refresh, stats);
        else
            DeleteChildren(tree, row, stats); // an item without children shows none
    }

    // Whatever of this plug-in follows the last item is gone from its tree.
    HTREEITEM h = AfterCurrent(tree, parent, current);
    while (h && (!root || BelongsTo(tree, h, plugin))) {
        HTREEITEM next = Next(tree, h);
        DeleteTreeRow(tree, h, stats);
        h = next;
    }
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
    if (!SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tvi)))
        return nullptr;
    return reinterpret_cast<tTreeRow*>(tvi.lParam);
}

void DeleteTreeRow(HWND tree, HTREEITEM item, tMergeStats* stats)
{
    DeleteChildren(tree, item, stats);
    delete GetTreeRow(tree, item);
    TreeView_DeleteItem(tree, item);
    if (stats)
        ++stats->deleted;
}

void DeleteAllTreeRows(HWND tree)
{
    while (HTREEITEM root = TreeView_GetRoot(tree))
        DeleteTreeRow(tree, root);
}

void MergeStatus(HWND tree, const CState* state, const std::string& plugin, HANDLE refresh,
                 tMergeStats* stats)
{
    HTREEITEM current = nullptr;
    for (HTREEITEM h = TreeView_GetRoot(tree); h; h = Next(tree, h)) {
        const tTreeRow* row = GetTreeRow(tree, h);
        if (!row || row->plugin.compare(plugin) >= 0)
            break;
        current = h;
    }
    static const CState kEmpty;
    MergeLevel(tree, TVI_ROOT, state ? *state : kEmpty, current, plugin, refresh, stats);
}
