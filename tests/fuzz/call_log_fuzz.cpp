// Fuzz entry point for what the dial-up plug-in reads back from its files: log lines, the search
// for the log's last line in a block of its tail, the split into lines, section names of the
// monthly totals and their counts. Built natively with libFuzzer (scripts/fuzz).
#include <stddef.h>
#include <stdint.h>

#include <string>

#include "plugins/dialtrack/call_log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);

    CCallRecord record;
    if (ParseCallLine(text, record)) {
        // What parses is what the plug-in writes: it reads back to the same record.
        CCallRecord again;
        if (!ParseCallLine(FormatCallLine(record), again) || !(again == record))
            __builtin_trap();
    }
    for (bool atStart : {false, true}) {
        tLastLine last = FindLastLine(text, atStart);
        if (last.found && (last.offset > text.size() || last.length > text.size() - last.offset))
            __builtin_trap();
    }
    std::string joined;
    for (const std::string& line : SplitLogLines(text))
        joined += line;
    if (joined != text)
        __builtin_trap();

    std::string entry;
    int year = 0, month = 0;
    if (SplitStatsSectionName(text, entry, year, month) && (entry.empty() || month < 1 || month > 12))
        __builtin_trap();
    std::string safe = SanitizeEntryName(text);
    if (!SplitStatsSectionName(StatsSectionName(safe, 2026, 12), entry, year, month) || entry != safe)
        __builtin_trap();
    (void)ParseCount(text.c_str());
    return 0;
}
