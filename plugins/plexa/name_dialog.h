// The dialog in which the user names a powerline device (resource 10009).
#pragma once

#include <windows.h>

#include <string>

// Shows the dialog centred on its owner, with the name filled in; true on OK with the new
// name. At most maxLength characters can be entered.
bool PromptDeviceName(HWND owner, HINSTANCE module, const std::string& caption, const std::string& prompt,
                      std::string& name, size_t maxLength);
