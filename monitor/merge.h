// Merging a plug-in's status tree into the monitor's tree view. Root rows are grouped by
// plug-in, the groups ordered by plug-in name; rows are matched across updates by status item
// id, so unchanged rows keep their place, expansion and selection and only what changed is
// touched. The window keeps its own copy of every row (tTreeRow, also in the row's item data),
// so a merge compares in memory and calls the tree view only for rows that change; nothing
// points into a plug-in's tree.
//
// Row texts are not stored in the tree view: it asks for them when it draws a row
// (TVN_GETDISPINFO, answered by AnswerDispInfo in the window's own procedure). A changed text
// then costs the repaint of its row when the row is on screen and nothing when it is not;
// setting the text instead makes the tree view recompute its scroll bars and redraw for every
// changed row, on screen or not. Only a row that grows wider than every other row is handed to
// the tree view again, so that its horizontal scroll range covers it.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "monitor/source.win/global/status.h"

struct tTreeRow {
    std::string value;
    std::string name;
    std::string plugin;
    HANDLE refresh;
    int32_t image;
    int32_t id;
    tItemActions actions;
    HTREEITEM handle = nullptr;
    std::vector<tTreeRow*> children;
    std::string text;  // what the row shows: RowText(name, value)
    int textWidth = 0; // its width in pixels
    int depth = 0;     // 0 for a root row
};

// A copy of a plug-in's status tree, for an update that the window merges later than it
// arrives (the plug-in's own tree may change as soon as the update is answered).
struct tItemCopy {
    std::string name;
    std::string value;
    int32_t icon;
    int32_t id;
    tItemActions actions;
    std::vector<tItemCopy> children;
};
typedef std::vector<tItemCopy> tTreeCopy;
tTreeCopy CopyTree(const CState& state);

// What one merge did to the tree view, for the benchmark and the tests.
struct tMergeStats {
    int inserted = 0;
    int updated = 0;    // rows whose text or image changed
    int deleted = 0;    // rows deleted, descendants included
    int repainted = 0;  // changed rows on screen, whose rectangle was invalidated
    int remeasured = 0; // changed rows that grew wider than every row, handed to the tree view again
    int Touched() const { return inserted + updated + deleted; }
};

// The rows of one tree view, owned by its window.
class CTreeRows {
public:
    explicit CTreeRows(HWND tree);
    ~CTreeRows();
    CTreeRows(const CTreeRows&) = delete;
    CTreeRows& operator=(const CTreeRows&) = delete;

    // A tree of none (or with no items) removes the plug-in's rows.
    void Merge(const CState* state, const std::string& plugin, HANDLE refresh,
               tMergeStats* stats = nullptr);
    void Merge(const tTreeCopy& copy, const std::string& plugin, HANDLE refresh,
               tMergeStats* stats = nullptr);
    // Deletes every row (the tree view's and ours).
    void Clear();
    const std::vector<tTreeRow*>& Roots() const { return m_roots; }
    // The names of the plug-in's root rows, in order.
    std::vector<std::string> RootNames(const std::string& plugin) const;
    HWND Tree() const { return m_tree; }

    // Answers the tree view's request for a row's text (TVN_GETDISPINFOA or W) from the row
    // record in the item's data. False for every other notification.
    static bool AnswerDispInfo(const NMHDR* header);

private:
    template <class Item>
    void MergeLevel(tTreeRow* parent, std::vector<tTreeRow*>& level, const std::vector<const Item*>& items,
                    int current, const std::string& plugin, HANDLE refresh, tMergeStats* stats);
    template <class Item>
    void MergeRoots(const std::vector<const Item*>& items, const std::string& plugin, HANDLE refresh,
                    tMergeStats* stats);
    template <class Item>
    tTreeRow* Insert(tTreeRow* parent, tTreeRow* after, const Item& item, const std::string& plugin,
                     HANDLE refresh);
    template <class Item>
    void Update(tTreeRow& row, const Item& item, tMergeStats* stats);
    void ShowNewText(tTreeRow& row, tMergeStats* stats);
    void Delete(std::vector<tTreeRow*>& level, size_t index, tMergeStats* stats);
    int TextWidth(const std::string& text);
    // How far a row reaches to the right, as far as the merge can tell: its indent and text.
    int Reach(const tTreeRow& row) const { return row.depth * m_indent + row.textWidth; }
    // Recomputes the widest reach after rows were deleted.
    void RecomputeWidest();
    // Tree views repaint and recompute their scroll bars on every insertion and deletion; a
    // merge that makes more than a few holds that off until it is done.
    void Changing();
    // The end of a merge: the tree view draws again, all of it when it was held off.
    void Changed();
    static const int kChangesBeforeRedrawOff = 3;

    HWND m_tree;
    std::vector<tTreeRow*> m_roots;
    int m_changes = 0;
    bool m_redrawOff = false;
    HDC m_measure = nullptr; // measures texts in the tree view's font
    HGDIOBJ m_measureFont = nullptr;
    int m_indent = 0;    // pixels per level, read at the start of every merge
    int m_widest = 0;    // the widest reach of all rows
    bool m_deleted = false;
};

// "Name: Value", or the name alone when the value is empty.
std::string RowText(const std::string& name, const std::string& value);
// The row record behind a tree-view item.
tTreeRow* GetTreeRow(HWND tree, HTREEITEM item);
