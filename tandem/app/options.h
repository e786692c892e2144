// The Options sheet (computer name, sounds) and the two wizards built from the same pages:
// the first-run wizard and the share wizard behind Add share. Pages only collect values; the
// functions below write the settings once the sheet or wizard has ended.
#pragma once

#include <windows.h>

#include "tandem/settings.h"

// True when OK or Apply stored something.
bool RunOptionsSheet(HWND owner, HINSTANCE instance, const CTandemSettings& settings);
// Marks the first run done however the wizard ends; true when it was completed.
bool RunFirstRunWizard(HWND owner, HINSTANCE instance, const CTandemSettings& settings);
// True when a share was written.
bool RunShareWizard(HWND owner, HINSTANCE instance, const CTandemSettings& settings);
