// A hand for the installation scenario: answers questions about the Wine prefix it runs in,
// one command a line on standard input, one answer a line on standard output.
//   link PATH            "LINK target|arguments|folder" read through IShellLink, or "LINK -"
//   value ROOT KEY NAME  "VALUE type|data" (data of strings as they are, DWORDs in decimal), or "VALUE -"
//   key ROOT KEY         "KEY 1" or "KEY 0"
//   dacl OBJECT          "DACL descriptor" of a registry key ("MACHINE\Software\...")
//   service NAME         "SERVICE binary" or "SERVICE -"
//   window CLASS         "WINDOW 1" when a top-level window of the class shows within 30 s, else "WINDOW 0"
//   close-monitor        closes the status monitor for good; "CLOSED 1" when its window went
// Fields are separated by tabs on the command line.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "setup/registry_parts.h"
#include "setup/tests/setup_test_support.h"

namespace {

std::vector<std::string> Split(const std::string& line)
{
    std::vector<std::string> fields;
    std::string::size_type start = 0;
    for (;;) {
        std::string::size_type tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

std::string Value(const std::vector<std::string>& f)
{
    HKEY root = setup::RegistryRoot(f[1]);
    HKEY key = nullptr;
    if (!root || RegOpenKeyExA(root, f[2].c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "-";
    std::vector<BYTE> data(65536);
    DWORD type = 0, size = static_cast<DWORD>(data.size() - 2);
    LONG error = RegQueryValueExA(key, f[3].empty() ? nullptr : f[3].c_str(), nullptr, &type, data.data(), &size);
    RegCloseKey(key);
    if (error != ERROR_SUCCESS)
        return "-";
    if (type == REG_DWORD && size == 4) {
        DWORD number = 0;
        memcpy(&number, data.data(), 4);
        return "REG_DWORD|" + std::to_string(number);
    }
    if (type == REG_SZ || type == REG_EXPAND_SZ)
        return std::string(type == REG_SZ ? "REG_SZ|" : "REG_EXPAND_SZ|") +
               std::string(reinterpret_cast<const char*>(data.data()), strnlen(reinterpret_cast<const char*>(data.data()), size));
    return "type" + std::to_string(type) + "|";
}

std::string Service(const std::string& name)
{
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceA(manager, name.c_str(), SERVICE_QUERY_CONFIG) : nullptr;
    std::string answer = "-";
    if (service) {
        std::vector<BYTE> buffer(8192);
        DWORD needed = 0;
        if (QueryServiceConfigA(service, reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data()),
                                static_cast<DWORD>(buffer.size()), &needed))
            answer = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data())->lpBinaryPathName;
        CloseServiceHandle(service);
    }
    if (manager)
        CloseServiceHandle(manager);
    return answer;
}

bool CloseMonitor()
{
    HWND monitor = FindWindowA("VelmoraMonitorClass", nullptr);
    if (!monitor)
        return false;
    PostMessageA(monitor, WM_CLOSE, 1, 0);
    for (int turn = 0; turn < 200 && IsWindow(monitor); ++turn)
        Sleep(100);
    return !IsWindow(monitor);
}

} // namespace

int main()
{
    char buffer[4096];
    while (fgets(buffer, sizeof buffer, stdin)) {
        std::string line = buffer;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        std::vector<std::string> f = Split(line);
        if (f[0] == "quit")
            break;
        if (f[0] == "link" && f.size() == 2) {
            setuptest::tLink link;
            if (setuptest::ReadLink(f[1], link))
                printf("LINK %s|%s|%s\n", link.target.c_str(), link.arguments.c_str(), link.directory.c_str());
            else
                printf("LINK -\n");
        } else if (f[0] == "value" && f.size() == 4) {
            printf("VALUE %s\n", Value(f).c_str());
        } else if (f[0] == "key" && f.size() == 3) {
            HKEY root = setup::RegistryRoot(f[1]);
            printf("KEY %d\n", root && setuptest::KeyExists(root, f[2]) ? 1 : 0);
        } else if (f[0] == "dacl" && f.size() == 2) {
            printf("DACL %s\n", setuptest::KeyDacl(f[1]).c_str());
        } else if (f[0] == "service" && f.size() == 2) {
            printf("SERVICE %s\n", Service(f[1]).c_str());
        } else if (f[0] == "window" && f.size() == 2) {
            HWND found = nullptr;
            for (int turn = 0; turn < 300 && !(found = FindWindowA(f[1].c_str(), nullptr)); ++turn)
                Sleep(100);
            printf("WINDOW %d\n", found ? 1 : 0);
        } else if (f[0] == "close-monitor") {
            printf("CLOSED %d\n", CloseMonitor() ? 1 : 0);
        } else {
            printf("ERROR %s\n", line.c_str());
        }
        fflush(stdout);
    }
    return 0;
}
