// "Exec" entries of the script: programs started before the work (phase 1) or after it
// (phase 2).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "setup/inf_file.h"

namespace setup {

// Exec flags (field 5 of an entry line).
enum {
    EXEC_WAIT_IDLE = 1,     // wait until the program waits for input, not until it ends
    EXEC_DELETE_AFTER = 2,  // delete the program file when it has ended
};

struct tExecEntry {
    int phase = 2;
    std::string program;
    std::string parameters; // "%hwnd%" not yet replaced
    std::string directory;
    int flags = 0;
};

// The entries of the section's "Exec" key for one phase. An "@program" entry runs once,
// waiting for its end: in phase 2 of an installation (when the program is installed) and in
// phase 1 of a removal (while it is still there).
std::vector<tExecEntry> ReadExecEntries(const CInfFile& inf, const std::string& section, int phase, bool install);
// Starts it with xUtilStartProgram (or, for the alternative start, through the shell).
bool RunExecEntry(const tExecEntry& entry, HWND window, bool alternativeStart, DWORD& error);

} // namespace setup
