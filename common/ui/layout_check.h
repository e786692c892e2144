// A check of a dialog's layout as the system lays it out (font, language, display scaling),
// for the programs' tests: every dialog and page in every language is made once and checked,
// so a translation that no longer fits shows up as a failing test rather than as a cut-off
// text on a user's screen.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace ui {

struct tLayoutRules {
    // Empty room a group box may keep below its last control, in dialog units (the usual
    // margin is 7; a box much taller than its content looks half empty).
    int groupSlackDlu = 12;
};

// The problems of the dialog's controls, one line each, naming the control by id and text:
// a text that is cut off or breaks a word across lines, a group box with room to spare below its
// content, a control that crosses a group box's edge or leaves the dialog. Empty when none.
std::vector<std::string> CheckLayout(HWND dialog, const tLayoutRules& rules = tLayoutRules());

// Makes a dialog from the template of one language (so all languages can be checked in one
// run). A page's template (WS_CHILD) needs a `parent`; the dialog stays hidden unless its
// template says otherwise, and the caller destroys it. Its procedure answers nothing but
// WM_INITDIALOG, so texts that the program fills in at run time are set by the caller.
HWND CreateDialogInLanguage(HINSTANCE instance, UINT templateId, LANGID language, HWND parent);
// A text of the string table in one language (empty when there is none), for the texts a
// program puts into a dialog at run time.
std::string LoadStringInLanguage(HINSTANCE instance, UINT id, LANGID language);

} // namespace ui
