// The folder choice of the program (download target, share folders): the shell's folder
// browser, started at a folder. Tests replace it, as they replace message boxes.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// True with the chosen folder; false when the user cancelled.
bool BrowseForFolder(HWND owner, const std::string& title, const std::string& start, std::string& chosen);

using tFolderBrowserHook = std::function<bool(const std::string& title, const std::string& start, std::string& chosen)>;
void SetFolderBrowserHook(tFolderBrowserHook hook);
