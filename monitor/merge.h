// Merging a plug-in's status tree into the monitor's tree view. Root rows are grouped by
// plug-in, the groups ordered by plug-in name; rows are matched across updates by status item
// id, so unchanged rows keep their place, expansion and selection and only what changed is
// touched. The window keeps its own copy of every row (tTreeRow, also in the row's item data),
// so a merge compares in memory and calls the tree view only for rows that change; nothing
// points into a plug-in's tree.
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
};

// What one merge did to the tree view, for the benchmark and the tests.
struct tMergeStats {
    int inserted = 0;
    int updated = 0; // rows whose text or image was set anew
    int deleted = 0; // rows deleted, descendants included
    int Touched() const { return inserted + updated + deleted; }
};

// The rows of one tree view, owned by its window.
class CTreeRows {
public:
    explicit CTreeRows(HWND tree) : m_tree(tree) {}
    ~CTreeRows() { Clear(); }
    CTreeRows(const CTreeRows&) = delete;
    CTreeRows& operator=(const CTreeRows&) = delete;

    void Merge(const CState* state, const std::string& plugin, HANDLE refresh,
               tMergeStats* stats = nullptr);
    // Deletes every row (the tree view's and ours).
    void Clear();
    const std::vector<tTreeRow*>& Roots() const { return m_roots; }
    HWND Tree() const { return m_tree; }

private:
    void MergeLevel(tTreeRow* parent, std::vector<tTreeRow*>& level, const CState& items,
                    int current, const std::string& plugin, HANDLE refresh, tMergeStats* stats);
    tTreeRow* Insert(tTreeRow* parent, tTreeRow* after, const CItem& item,
                     const std::string& plugin, HANDLE refresh);
    void Update(tTreeRow& row, const CItem& item, tMergeStats* stats);
    void Delete(std::vector<tTreeRow*>& level, size_t index, tMergeStats* stats);
    // Tree views repaint and recompute their scroll bars on every change; a merge that
    // changes more than a few rows holds that off until it is done.
    void Changing();
    static const int kChangesBeforeRedrawOff = 3;

    HWND m_tree;
    std::vector<tTreeRow*> m_roots;
    int m_changes = 0;
    bool m_redrawOff = false;
};

// "Name: Value", or the name alone when the value is empty.
std::string RowText(const std::string& name, const std::string& value);
// The row record behind a tree-view item.
tTreeRow* GetTreeRow(HWND tree, HTREEITEM item);
