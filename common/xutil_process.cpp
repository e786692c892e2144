#include "common/xutil.h"

#include <string.h>

#include <vector>

#include "common/raii.h"
#include "common/trace.h"

namespace {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kAppPathsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
const char kRunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

bool IsNtFamily()
{
    return (GetVersion() & 0x80000000u) == 0;
}

bool CopyOut(const std::string& text, char* out, size_t size)
{
    if (!out || size == 0 || text.size() >= size)
        return false;
    memcpy(out, text.c_str(), text.size() + 1);
    return true;
}

// A string value of a key below HKEY_LOCAL_MACHINE; only the listed types are accepted.
bool ReadStringValue(const std::string& keyPath, const char* valueName, bool allowExpand,
                     std::string& out, DWORD* typeOut)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    raii::CRegKey key(opened);
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExA(key.Get(), valueName, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS)
        return false;
    bool typeOk = type == REG_SZ || (allowExpand ? type == REG_EXPAND_SZ : type == REG_MULTI_SZ);
    if (!typeOk || bytes > 64 * 1024)
        return false;
    std::vector<char> data(bytes + 2, '\0');
    if (RegQueryValueExA(key.Get(), valueName, nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &bytes) != ERROR_SUCCESS)
        return false;
    out = data.data(); // the first string of a multi-string
    if (typeOut)
        *typeOut = type;
    return true;
}

std::string ModuleFileName(HMODULE module)
{
    std::vector<char> name(MAX_PATH);
    for (;;) {
        DWORD length = GetModuleFileNameA(module, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0)
            return std::string();
        if (length < name.size())
            return std::string(name.data(), length);
        name.resize(name.size() * 2);
    }
}

} // namespace

std::string xUtilBuildCommandLine(const char* program, const char* arguments)
{
    std::string text = program ? program : "";
    std::string line;
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        line = text;
    else if (text.find(' ') != std::string::npos)
        line = "\"" + text + "\"";
    else
        line = text;
    if (arguments) {
        line += ' ';
        line += arguments;
    }
    return line;
}

std::string xUtilQuoteArgument(const std::string& argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos)
        return argument;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only before a quote: there each one is doubled.
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\'); // before the closing quote
    return quoted + "\"";
}

std::string xUtilProgramDirectory(const char* program)
{
    std::string text = program ? program : "";
    if (!text.empty() && text.front() == '"')
        text.erase(0, 1);
    std::string::size_type slash = text.rfind('\\');
    return slash == std::string::npos ? std::string() : text.substr(0, slash);
}

bool xUtilStartProgram(const char* program, const char* arguments, const char* directory,
                       DWORD flags, DWORD* exitCode)
{
    TraceVerbose("entering\n");
    std::string commandLine = xUtilBuildCommandLine(program, arguments);
    // Without a "\" in the program there is no directory of its own: the current one is used.
    std::string workingDir = directory ? directory : xUtilProgramDirectory(program);
    TraceVerbose("calling CreateProcess() ...\nCommandLine: %s\nWorkingDir: %s\n",
                 commandLine.c_str(), workingDir.c_str());

    std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workingDir.empty() ? nullptr : workingDir.c_str(), &startup, &info)) {
        TraceHere("CreateProcess() failed\n");
        TraceLastError();
        return false;
    }
    raii::CHandle process(info.hProcess);
    raii::CHandle thread(info.hThread);

    if (flags & XUTIL_WAIT_EXIT) {
        TraceVerbose("CreateProcess() successfull, waiting for process to exit ...\n");
        WaitForSingleObject(process.Get(), INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process.Get(), &code);
        TraceVerbose("process finished with exit code %d\n", static_cast<int>(code));
        if (exitCode)
            *exitCode = code;
    } else if (flags & XUTIL_WAIT_IDLE) {
        TraceVerbose("CreateProcess() successfull, waiting for process to become idle ...\n");
        WaitForInputIdle(process.Get(), 10000);
    } else {
        TraceVerbose("CreateProcess() successfull\n");
    }
    return true;
}

bool xUtilFindInstalledFile(const char* productKey, const char* fileName, char* out, size_t size)
{
    if (!productKey || !fileName)
        return false;
    std::string dir;
    if (!ReadStringValue(std::string(kUninstallKey) + productKey, "UserTargetDir", false, dir,
                         nullptr))
        return false;
    if (dir.size() > MAX_PATH)
        return false;
    std::string path = dir + "\\" + fileName;
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return false;
    return CopyOut(path, out, size);
}

bool xUtilStartInstalledProgram(const char* productKey, const char* fileName)
{
    char path[MAX_PATH * 2];
    if (!xUtilFindInstalledFile(productKey, fileName, path, sizeof path))
        return false;
    return xUtilStartProgram(path, nullptr, nullptr, 0, nullptr);
}

bool xUtilGetAppPath(const char* program, char* out, size_t size)
{
    if (!program)
        return false;
    std::string value;
    DWORD type = 0;
    if (!ReadStringValue(std::string(kAppPathsKey) + program, nullptr, true, value, &type))
        return false;
    if (type == REG_EXPAND_SZ) {
        DWORD needed = ExpandEnvironmentStringsA(value.c_str(), nullptr, 0);
        std::vector<char> expanded(needed + 1, '\0');
        if (needed == 0 ||
            ExpandEnvironmentStringsA(value.c_str(), expanded.data(), needed + 1) == 0)
            return false;
        value = expanded.data();
    }
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return CopyOut(value, out, size);
}

DWORD xUtilGetWindowModuleFileName(HWND window, char* out, DWORD size)
{
    if (!out || size == 0)
        return 0;
    if (!IsNtFamily())
        return GetWindowModuleFileNameA(window, out, size);

    typedef BOOL(WINAPI * tEnumProcessModules)(HANDLE, HMODULE*, DWORD, LPDWORD);
    typedef DWORD(WINAPI * tGetModuleFileNameEx)(HANDLE, HMODULE, LPSTR, DWORD);
    raii::CModule psapi(LoadLibraryA("psapi.dll"));
    if (!psapi)
        return 0;
    auto enumModules = reinterpret_cast<tEnumProcessModules>(
        GetProcAddress(psapi.Get(), "EnumProcessModules"));
    auto moduleFileName = reinterpret_cast<tGetModuleFileNameEx>(
        GetProcAddress(psapi.Get(), "GetModuleFileNameExA"));
    if (!enumModules || !moduleFileName)
        return 0;
    DWORD processId = 0;
    if (!GetWindowThreadProcessId(window, &processId) || processId == 0)
        return 0;
    raii::CHandle process(
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    if (!process)
        return 0;
    HMODULE first = nullptr;
    DWORD needed = 0;
    if (!enumModules(process.Get(), &first, sizeof first, &needed) || !first)
        return 0;
    return moduleFileName(process.Get(), first, out, size);
}

bool xUtilDelayFileDeleteWininit(const char* path, const char* wininitPath)
{
    // The section comes back as "key=value\0...\0\0"; grow while the system says it is full.
    std::vector<char> section(1024);
    DWORD count = 0;
    for (;;) {
        count = GetPrivateProfileSectionA("Rename", section.data(),
                                          static_cast<DWORD>(section.size()), wininitPath);
        if (count < section.size() - 2)
            break;
        section.resize(section.size() + 1024);
    }
    char shortPath[MAX_PATH];
    DWORD shortLength = GetShortPathNameA(path, shortPath, sizeof shortPath);
    if (shortLength == 0 || shortLength >= sizeof shortPath)
        return false;

    std::vector<char> updated(section.begin(), section.begin() + count);
    std::string line = std::string("NUL=") + shortPath;
    updated.insert(updated.end(), line.begin(), line.end());
    updated.push_back('\0');
    updated.push_back('\0');
    return WritePrivateProfileSectionA("Rename", updated.data(), wininitPath) != FALSE;
}

bool xUtilDelayFileDelete(const char* path)
{
    TraceVerbose("delay deletion of %s\n", path ? path : "");
    if (!path)
        return false;
    if (IsNtFamily())
        return MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
    char windowsDir[MAX_PATH];
    UINT length = GetWindowsDirectoryA(windowsDir, sizeof windowsDir);
    if (length == 0 || length >= sizeof windowsDir)
        return false;
    std::string wininit = std::string(windowsDir) + "\\wininit.ini";
    return xUtilDelayFileDeleteWininit(path, wininit.c_str());
}

bool xUtilRegisterRunOnce(HWND window, const char* arguments)
{
    std::string program = ModuleFileName(nullptr);
    if (program.empty())
        return false;
    std::string command = program;
    if (arguments) {
        if (command.find(' ') != std::string::npos)
            command = "\"" + command + "\"";
        command += ' ';
        command += arguments;
    }

    std::string name;
    if (window) {
        char title[512] = "";
        GetWindowTextA(window, title, sizeof title);
        name = title;
    } else {
        std::string::size_type slash = program.rfind('\\');
        name = slash == std::string::npos ? program : program.substr(slash + 1);
    }

    HKEY created = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kRunOnceKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, &created, nullptr) != ERROR_SUCCESS)
        return false;
    raii::CRegKey key(created);
    return RegSetValueExA(key.Get(), name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(command.c_str()),
                          static_cast<DWORD>(command.size() + 1)) == ERROR_SUCCESS;
}
