// Message boxes of the programs, with texts from the string table. They go through one
// function that tests may replace, so flows that ask the user (overwrite? delete?) are tested
// without a desktop; programs never replace it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace ui {

// Shows a message box; the result is the button pressed (IDOK, IDYES...).
int ShowMessage(HWND owner, const std::string& text, const std::string& caption, UINT flags);
// The same with string-table texts of `instance`.
int ShowMessage(HWND owner, HINSTANCE instance, UINT textId, UINT captionId, UINT flags);

using tMessageHook = std::function<int(HWND owner, const std::string& text,
                                       const std::string& caption, UINT flags)>;
// Replaces the message box for the whole process (nullptr restores it).
void SetMessageHook(tMessageHook hook);

} // namespace ui
