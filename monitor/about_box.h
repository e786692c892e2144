// The about box: product name, picture, version and link date of the program, the maker.
#pragma once

#include <windows.h>

#include <string>

// "Version 2.01.0412 (date)" from the program's version resource and link date.
std::string AboutVersionText(HINSTANCE instance);

// Modal; *open holds the box's window while it is shown, so that a second request only
// activates it.
void ShowAboutBox(HWND owner, HINSTANCE instance, HWND* open);
