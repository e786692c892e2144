// The folder tree as an OLE drop target: a folder dragged from the shell and dropped on it
// becomes a new share (the main window opens the share dialog with it).
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string>

class CFolderDropTarget;

// The first folder among the dropped files, or an empty text.
std::string FirstDroppedFolder(HDROP drop);

// Registers the window; null when OLE refuses (the tree then takes no drops). The target
// lives until it is revoked.
CFolderDropTarget* RegisterFolderDropTarget(HWND window, std::function<void(const std::string&)> dropped);
void RevokeFolderDropTarget(HWND window, CFolderDropTarget* target);
