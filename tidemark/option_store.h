// The options of the main dialog, kept per user under HKEY_CURRENT_USER
// "software\velmora\tidemark" as DWORD values (non-zero: ticked).
#pragma once

#include "tidemark/rules.h"

extern const char kOptionsKey[];

// Reads the options; a missing key (or value) leaves the option ticked.
tCleanOptions LoadCleanOptions();
// Writes all six values as 1 or 0, making the key when needed; false when it cannot.
bool SaveCleanOptions(const tCleanOptions& options);
