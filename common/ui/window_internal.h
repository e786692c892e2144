// What the dialog procedure shares with the window procedure; not for programs.
#pragma once

#include <windows.h>

namespace ui {

// Runs a task message; false when the message is none.
bool DispatchTaskForDialog(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
// Drops the tasks still queued for a window that ends.
void DropTasksForDialog(HWND hwnd);

} // namespace ui
