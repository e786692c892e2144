// Share paths a hostile peer might send, with a share named "docs" present. Every one of them
// must be refused, by the rules for names and by the server's mapping alike.
#pragma once

#include <string>
#include <vector>

inline std::vector<std::string> HostileSharePaths()
{
    return {
        "\\docs\\..\\secret", "\\docs\\..", "\\docs\\..\\", "\\..\\docs", "\\..",
        "\\docs\\x\\..", "\\docs\\x\\..\\..\\..\\windows", "\\docs\\.\\x", "\\.", "",
        "docs\\x", "\\docs/../x", "\\docs\\sub/..\\..\\x", "/docs/x", "\\docs\\a/b",
        "\\docs\\C:..\\x", "\\docs\\C:\\Windows\\win.ini", "\\C:\\Windows", "\\docs\\C:", "\\docs:stream",
        "\\docs\\file.txt:stream", "\\docs\\file.txt::$DATA", "\\\\server\\share\\x", "\\\\?\\C:\\x",
        "\\\\.\\PhysicalDrive0", "\\docs\\...\\x", "\\docs\\....", "\\docs\\. .\\x", "\\docs\\.. \\x",
        "\\docs\\x. ", "\\docs\\name.", "\\docs\\name ", "\\docs\\ ", "\\docs\\sub \\x",
        "\\docs\\CON", "\\docs\\con.txt", "\\docs\\con .txt", "\\docs\\NUL", "\\docs\\nul.tar.gz",
        "\\docs\\COM1", "\\docs\\com9.log", "\\docs\\LPT1", "\\docs\\lpt3.txt", "\\docs\\AUX",
        "\\docs\\PRN", "\\docs\\CONIN$", "\\docs\\CONOUT$", "\\docs\\CLOCK$", "\\docs\\COM\xB9",
        "\\CON\\x", "\\docs\\a\x01" "b", "\\docs\\a\nb", "\\docs\\\x1f", "\\docs\\a\x7f",
        std::string("\\docs\\a\0b", 9), "\\docs\\*", "\\docs\\*.*", "\\docs\\a?b", "\\docs\\<x>",
        "\\docs\\a|b", "\\docs\\\"q\"", "\\docs\\\\x", "\\docs\\sub\\\\..\\x",
        "\\docs\\" + std::string(256, 'a'),
    };
}

// Ordinary paths that must keep working.
inline std::vector<std::string> OrdinarySharePaths()
{
    return {
        "\\docs\\", "\\docs", "\\docs\\a.txt", "\\docs\\sub\\", "\\docs\\sub\\deeper\\",
        "\\docs\\sub\\deeper\\file name with blanks.txt", "\\docs\\.hidden", "\\docs\\a..b",
        "\\docs\\console.log", "\\docs\\nul1", "\\docs\\COM10", "\\docs\\...a", "\\docs\\\xE9t\xE9.txt",
    };
}
