// A hand for scenario scripts inside a test program: it finds the program's top-level windows by
// caption and works their controls with the messages a user's input would produce (context
// menus from the keyboard, button clicks, list selections, answers to message boxes), printing
// what it sees on standard output. Commands are one line each; arguments after the caption are
// separated by "|":
//
//   find CAPTION                 waits up to 15 s for the window: "FOUND CAPTION" or "MISSING CAPTION"
//   gone CAPTION                 waits up to 15 s for it to close: "GONE CAPTION" or "STILL CAPTION"
//   rect CAPTION                 "RECT CAPTION|left top right bottom"
//   move CAPTION|X|Y             moves the window (for screenshots): "MOVED CAPTION"
//   page CAPTION|INDEX           shows a property sheet's page: "PAGE INDEX"
//   list CAPTION|ID              a list view's rows: "LIST n", "ITEM i col|col|...", "LISTEND"
//   select CAPTION|ID|INDEX      selects one row of a list view: "SELECTED INDEX"
//   menu CAPTION|ID              opens the control's context menu from the keyboard and chooses
//                                its first entry: "MENU chosen" or "MENU none"
//   text CAPTION|ID              "TEXT ID|text"
//   combo CAPTION|ID             "COMBO count|selected|item|item..."
//   choose CAPTION|ID|INDEX      selects a drop-down entry as a user would: "CHOSEN INDEX"
//   click CAPTION|ID             clicks a button: "CLICKED ID"
//   answer CAPTION|BUTTON        waits for a message box, presses the button (IDYES = 6, ...):
//                                "ANSWERED CAPTION|its text, line ends as \n" or "MISSING CAPTION"
//   close CAPTION                "CLOSED CAPTION"
#pragma once

#include <string>

// Carries out one command and prints its result; false when the line is no command of these.
// Runs on a thread that owns no window: it waits, and it sends to other threads' windows.
bool RunWindowCommand(const std::string& line);
