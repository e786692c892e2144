// Merging a plug-in's status tree into the monitor's tree view. Root rows are grouped by
// plug-in, the groups ordered by plug-in name; rows are matched across updates by status item
// id, so unchanged rows keep their place, expansion and selection and only what changed is
// touched. Each row owns a tTreeRow copy of its item: nothing points into a plug-in's tree.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "monitor/source.win/global/status.h"

struct tTreeRow {
    std::string value;
    std::string name;
    std::string plugin;
    HANDLE refresh;
    int32_t image;
    int32_t id;
    tItemActions actions;
};

// What one merge did to the tree view, for the benchmark and the tests.
struct tMergeStats {
    int inserted = 0;
    int updated = 0; // rows whose text or image was set anew
    int deleted = 0; // rows deleted, descendants included
    int Touched() const { return inserted + updated + deleted; }
};

// "Name: Value", or the name alone when the value is empty.
std::string RowText(const std::string& name, const std::string& value);

tTreeRow* GetTreeRow(HWND tree, HTREEITEM item);
void MergeStatus(HWND tree, const CState* state, const std::string& plugin, HANDLE refresh,
                 tMergeStats* stats = nullptr);
// Deletes a row and all its descendants, freeing their tTreeRow records.
void DeleteTreeRow(HWND tree, HTREEITEM item, tMergeStats* stats = nullptr);
void DeleteAllTreeRows(HWND tree);
