#include "setup/exec_entries.h"

#include <shellapi.h>

#include "common/raii.h"
#include "common/trace.h"
#include "common/xutil.h"
#include "setup/script_rules.h"

namespace setup {

namespace {

// The shell's way: documents and programs alike, waiting for the end.
bool StartThroughShell(const std::string& program, const std::string& parameters, const std::string& directory,
                       bool waitIdle, DWORD& error)
{
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpFile = program.c_str();
    info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
    info.lpDirectory = directory.empty() ? nullptr : directory.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&info)) {
        error = GetLastError();
        return false;
    }
    raii::CHandle process(info.hProcess);
    if (process) {
        if (waitIdle)
            WaitForInputIdle(process.Get(), 10000);
        else
            WaitForSingleObject(process.Get(), INFINITE);
    }
    return true;
}

} // namespace

std::vector<tExecEntry> ReadExecEntries(const CInfFile& inf, const std::string& section, int phase, bool install)
{
    std::vector<tExecEntry> entries;
    int directPhase = install ? 2 : 1;
    for (const std::string& value : inf.KeyValues(section, "Exec")) {
        if (value[0] == '@') {
            if (phase == directPhase && value.size() > 1) {
                tExecEntry entry;
                entry.phase = phase;
                entry.program = value.substr(1);
                entries.push_back(entry);
            }
            continue;
        }
        for (const CInfLine& line : inf.Lines(value)) {
            tExecEntry entry;
            if (!line.IntField(1, entry.phase) || entry.phase != phase)
                continue;
            entry.program = line.Field(2);
            entry.parameters = line.Field(3);
            entry.directory = line.Field(4);
            line.IntField(5, entry.flags);
            if (!entry.program.empty())
                entries.push_back(entry);
        }
    }
    return entries;
}

bool RunExecEntry(const tExecEntry& entry, HWND window, bool alternativeStart, DWORD& error)
{
    error = 0;
    std::string parameters = ExpandWindowHandle(entry.parameters, reinterpret_cast<unsigned long long>(window));
    bool waitIdle = (entry.flags & EXEC_WAIT_IDLE) != 0;
    Trace("[setup] running %s %s\n", entry.program.c_str(), parameters.c_str());
    char current[MAX_PATH * 2] = "";
    DWORD length = GetCurrentDirectoryA(sizeof current, current);
    bool started;
    DWORD exitCode = 0;
    if (alternativeStart) {
        started = StartThroughShell(entry.program, parameters, entry.directory, waitIdle, error);
    } else {
        started = xUtilStartProgram(entry.program.c_str(), parameters.empty() ? nullptr : parameters.c_str(),
                                    entry.directory.empty() ? nullptr : entry.directory.c_str(),
                                    waitIdle ? XUTIL_WAIT_IDLE : XUTIL_WAIT_EXIT, waitIdle ? nullptr : &exitCode);
        if (!started)
            error = GetLastError();
    }
    if (length > 0 && length < sizeof current)
        SetCurrentDirectoryA(current);
    if (!started) {
        if (!error)
            error = ERROR_FILE_NOT_FOUND;
        TraceHere("cannot start %s\n", entry.program.c_str());
        TraceError(error);
        return false;
    }
    if (!waitIdle)
        Trace("[setup] %s ended with %lu\n", entry.program.c_str(), static_cast<unsigned long>(exitCode));
    if ((entry.flags & EXEC_DELETE_AFTER) && !waitIdle) {
        std::string program = entry.program;
        if (program.size() >= 2 && program.front() == '"' && program.back() == '"')
            program = program.substr(1, program.size() - 2);
        if (!DeleteFileA(program.c_str()))
            xUtilDelayFileDelete(program.c_str());
    }
    return true;
}

} // namespace setup
