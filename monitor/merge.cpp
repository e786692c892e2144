#include "monitor/merge.h"

namespace {

// One way to read both a plug-in's tree and a copy of it.
const std::string& NameOf(const CItem& item) { return item.GetName(); }
const std::string& ValueOf(const CItem& item) { return item.GetValue(); }
int32_t IconOf(const CItem& item) { return item.GetIcon(); }
int32_t IdOf(const CItem& item) { return item.GetId(); }
const tItemActions* ActionsOf(const CItem& item) { return item.GetActions(); }

const std::string& NameOf(const tItemCopy& item) { return item.name; }
const std::string& ValueOf(const tItemCopy& item) { return item.value; }
int32_t IconOf(const tItemCopy& item) { return item.icon; }
int32_t IdOf(const tItemCopy& item) { return item.id; }
const tItemActions* ActionsOf(const tItemCopy& item) { return &item.actions; }

std::vector<const CItem*> Items(const CState& level)
{
    std::vector<const CItem*> items;
    level.ForEach([&](const CItem& item) { items.push_back(&item); });
    return items;
}

std::vector<const tItemCopy*> Items(const std::vector<tItemCopy>& level)
{
    std::vector<const tItemCopy*> items;
    items.reserve(level.size());
    for (const tItemCopy& item : level)
        items.push_back(&item);
    return items;
}

std::vector<const CItem*> ChildrenOf(const CItem& item) { return Items(item.GetChildren()); }
std::vector<const tItemCopy*> ChildrenOf(const tItemCopy& item) { return Items(item.children); }

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

void CopyLevel(const CState& level, std::vector<tItemCopy>& out)
{
    level.ForEach([&](const CItem& item) {
        out.push_back(tItemCopy{item.GetName(), item.GetValue(), item.GetIcon(), item.GetId(),
                                item.GetActions() ? *item.GetActions() : tItemActions(), {}});
        CopyLevel(item.GetChildren(), out.back().children);
    });
}

} // namespace

tTreeCopy CopyTree(const CState& state)
{
    tTreeCopy copy;
    CopyLevel(state, copy);
    return copy;
}

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

bool CTreeRows::AnswerDispInfo(const NMHDR* header)
{
    if (header->code == TVN_GETDISPINFOA) {
        auto info = reinterpret_cast<const NMTVDISPINFOA*>(header);
        auto row = reinterpret_cast<const tTreeRow*>(info->item.lParam);
        if ((info->item.mask & TVIF_TEXT) && row && info->item.pszText && info->item.cchTextMax > 0)
            lstrcpynA(info->item.pszText, row->text.c_str(), info->item.cchTextMax);
        return true;
    }
    if (header->code == TVN_GETDISPINFOW) {
        auto info = reinterpret_cast<const NMTVDISPINFOW*>(header);
        auto row = reinterpret_cast<const tTreeRow*>(info->item.lParam);
        if ((info->item.mask & TVIF_TEXT) && row && info->item.pszText && info->item.cchTextMax > 0) {
            int written = MultiByteToWideChar(CP_ACP, 0, row->text.c_str(), -1, info->item.pszText,
                                              info->item.cchTextMax);
            if (written == 0) // too long for the buffer: what fits
                info->item.pszText[info->item.cchTextMax - 1] = L'\0';
        }
        return true;
    }
    return false;
}

CTreeRows::CTreeRows(HWND tree) : m_tree(tree) {}

CTreeRows::~CTreeRows()
{
    Clear();
    if (m_measure)
        DeleteDC(m_measure);
}

int CTreeRows::TextWidth(const std::string& text)
{
    if (!m_measure)
        return 0;
    SIZE size = {0, 0};
    GetTextExtentPoint32A(m_measure, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

template <class Item>
tTreeRow* CTreeRows::Insert(tTreeRow* parent, tTreeRow* after, const Item& item, const std::string& plugin,
                            HANDLE refresh)
{
    Changing();
    tTreeRow* row = new tTreeRow;
    row->value = ValueOf(item);
    row->name = NameOf(item);
    row->plugin = plugin;
    row->refresh = refresh;
    row->image = IconOf(item);
    row->id = IdOf(item);
    if (const tItemActions* actions = ActionsOf(item))
        row->actions = *actions;
    row->text = RowText(row->name, row->value);
    row->textWidth = TextWidth(row->text);
    row->depth = parent ? parent->depth + 1 : 0;
    // The tree view measures a row it is given; the widest reach follows.
    if (Reach(*row) > m_widest)
        m_widest = Reach(*row);

    TVINSERTSTRUCTA insert = {};
    insert.hParent = parent ? parent->handle : TVI_ROOT;
    insert.hInsertAfter = after ? after->handle : TVI_FIRST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM | TVIF_STATE;
    insert.item.pszText = LPSTR_TEXTCALLBACKA;
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

void CTreeRows::ShowNewText(tTreeRow& row, tMergeStats* stats)
{
    row.textWidth = TextWidth(row.text);
    if (Reach(row) > m_widest) {
        // The tree view measures a row only when it is handed the row's text: a row wider
        // than all others would otherwise lie partly outside the horizontal scroll range.
        m_widest = Reach(row);
        TVITEMA tvi = {};
        tvi.mask = TVIF_HANDLE | TVIF_TEXT;
        tvi.hItem = row.handle;
        tvi.pszText = LPSTR_TEXTCALLBACKA;
        SendMessageA(m_tree, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&tvi));
        if (stats)
            ++stats->remeasured;
        return;
    }
    // Shown rows only: a row below a collapsed one or scrolled away is drawn anew when it
    // comes into view.
    RECT rect, client, visible;
    if (!m_redrawOff && TreeView_GetItemRect(m_tree, row.handle, &rect, FALSE) &&
        GetClientRect(m_tree, &client) && IntersectRect(&visible, &rect, &client)) {
        InvalidateRect(m_tree, &visible, TRUE);
        if (stats)
            ++stats->repainted;
    }
}

template <class Item>
void CTreeRows::Update(tTreeRow& row, const Item& item, tMergeStats* stats)
{
    bool textChanged = row.name != NameOf(item) || row.value != ValueOf(item);
    bool imageChanged = row.image != IconOf(item);
    if (textChanged) {
        row.name = NameOf(item);
        row.value = ValueOf(item);
        row.text = RowText(row.name, row.value);
        ShowNewText(row, stats);
    }
    if (imageChanged) {
        row.image = IconOf(item);
        TVITEMA tvi = {};
        tvi.mask = TVIF_HANDLE | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
        tvi.hItem = row.handle;
        tvi.iImage = row.image;
        tvi.iSelectedImage = row.image;
        SendMessageA(m_tree, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&tvi));
    }
    if ((textChanged || imageChanged) && stats)
        ++stats->updated;
    if (const tItemActions* actions = ActionsOf(item))
        row.actions = *actions;
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
    m_deleted = true;
    std::vector<tTreeRow*> gone = {row};
    FreeRows(gone, stats);
}

template <class Item>
void CTreeRows::MergeLevel(tTreeRow* parent, std::vector<tTreeRow*>& level, const std::vector<const Item*>& items,
                           int current, const std::string& plugin, HANDLE refresh, tMergeStats* stats)
{
    const bool root = parent == nullptr;
    auto ours = [&](size_t index) { return !root || level[index]->plugin == plugin; };

    for (const Item* item : items) {
        size_t found = level.size();
        for (size_t j = static_cast<size_t>(current + 1); j < level.size() && ours(j); ++j)
            if (level[j]->id == IdOf(*item)) {
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
        std::vector<const Item*> children = ChildrenOf(*item);
        if (!children.empty()) {
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

void CTreeRows::RecomputeWidest()
{
    m_widest = 0;
    std::vector<const std::vector<tTreeRow*>*> levels = {&m_roots};
    while (!levels.empty()) {
        const std::vector<tTreeRow*>* level = levels.back();
        levels.pop_back();
        for (const tTreeRow* row : *level) {
            if (Reach(*row) > m_widest)
                m_widest = Reach(*row);
            levels.push_back(&row->children);
        }
    }
}

void CTreeRows::Changed()
{
    // The tree view narrows its scroll range when rows go; so does the widest reach.
    if (m_deleted)
        RecomputeWidest();
    m_deleted = false;
    m_changes = 0;
    if (m_redrawOff) {
        SendMessageA(m_tree, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(m_tree, nullptr, TRUE);
        m_redrawOff = false;
    }
}

void CTreeRows::Changing()
{
    if (!m_redrawOff && ++m_changes > kChangesBeforeRedrawOff) {
        SendMessageA(m_tree, WM_SETREDRAW, FALSE, 0);
        m_redrawOff = true;
    }
}

template <class Item>
void CTreeRows::MergeRoots(const std::vector<const Item*>& items, const std::string& plugin, HANDLE refresh,
                           tMergeStats* stats)
{
    if (!m_measure) {
        m_measure = CreateCompatibleDC(nullptr);
        m_measureFont = m_measure ? GetCurrentObject(m_measure, OBJ_FONT) : nullptr;
    }
    if (m_measure) {
        HFONT font = reinterpret_cast<HFONT>(SendMessageA(m_tree, WM_GETFONT, 0, 0));
        SelectObject(m_measure, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
    }
    m_indent = static_cast<int>(SendMessageA(m_tree, TVM_GETINDENT, 0, 0));
    int current = -1;
    while (static_cast<size_t>(current + 1) < m_roots.size() &&
           m_roots[static_cast<size_t>(current + 1)]->plugin.compare(plugin) < 0)
        ++current;
    MergeLevel(nullptr, m_roots, items, current, plugin, refresh, stats);
    Changed();
    // The tree view's font is not held beyond the merge (it goes with the tree view).
    if (m_measure)
        SelectObject(m_measure, m_measureFont);
}

void CTreeRows::Merge(const CState* state, const std::string& plugin, HANDLE refresh, tMergeStats* stats)
{
    MergeRoots(state ? Items(*state) : std::vector<const CItem*>(), plugin, refresh, stats);
}

void CTreeRows::Merge(const tTreeCopy& copy, const std::string& plugin, HANDLE refresh, tMergeStats* stats)
{
    MergeRoots(Items(copy), plugin, refresh, stats);
}

std::vector<std::string> CTreeRows::RootNames(const std::string& plugin) const
{
    std::vector<std::string> names;
    for (const tTreeRow* row : m_roots)
        if (row->plugin == plugin)
            names.push_back(row->name);
    return names;
}

void CTreeRows::Clear()
{
    m_changes = 0;
    while (!m_roots.empty())
        Delete(m_roots, 0, nullptr);
    Changed();
}
