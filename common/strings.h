// Texts from string-table resources, in the language the system picks.
#pragma once

#include <windows.h>

#include <string>

std::string xUtilLoadString(HINSTANCE instance, UINT id);
