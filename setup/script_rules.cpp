#include "setup/script_rules.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

namespace {

bool AtLeast(const tOSVersion& running, unsigned long major, unsigned long minor)
{
    return running.major > major || (running.major == major && running.minor >= minor);
}

// The architecture decoration of the sections this build can install.
const char* ArchitectureSuffix()
{
#if defined(_WIN64) || defined(__x86_64__)
    return ".NTamd64";
#else
    return ".NTx86";
#endif
}

unsigned long long NextNumber(const std::string& text, size_t& at)
{
    unsigned long long number = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        if (number < 100000000000ULL)
            number = number * 10 + static_cast<unsigned>(text[at] - '0');
        ++at;
    }
    // Skip to the next part.
    while (at < text.size() && text[at] != '.')
        ++at;
    if (at < text.size())
        ++at;
    return number;
}

const tShellFolder kShellFolders[] = {
    {"CDSK", "Common Desktop", true, 0x0019},      // CSIDL_COMMON_DESKTOPDIRECTORY
    {"UDSK", "Desktop", false, 0x0010},            // CSIDL_DESKTOPDIRECTORY
    {"CPRG", "Common Programs", true, 0x0017},     // CSIDL_COMMON_PROGRAMS
    {"UPRG", "Programs", false, 0x0002},           // CSIDL_PROGRAMS
    {"CSTM", "Common Start Menu", true, 0x0016},   // CSIDL_COMMON_STARTMENU
    {"USTM", "Start Menu", false, 0x000b},         // CSIDL_STARTMENU
    {"CSTU", "Common Startup", true, 0x0018},      // CSIDL_COMMON_STARTUP
    {"USTU", "Startup", false, 0x0007},            // CSIDL_STARTUP
};

} // namespace

std::string LowerCase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::string> SectionCandidates(const std::string& base, const tOSVersion& running)
{
    std::vector<std::string> names;
    if (running.platform == OS_PLATFORM_WINNT) {
        if (AtLeast(running, 5, 1))
            names.push_back(base + ".XP");
        if (AtLeast(running, 5, 0))
            names.push_back(base + ".NT5");
        names.push_back(base + ArchitectureSuffix());
        names.push_back(base + ".NT");
    } else if (running.platform == OS_PLATFORM_WIN9X) {
        // Windows Me is 4.90; the Windows 98 editions are 4.10.
        if (AtLeast(running, 4, 90))
            names.push_back(base + ".WinMe");
        if (AtLeast(running, 4, 1))
            names.push_back(base + ".Win98");
        names.push_back(base + ".Win");
    }
    names.push_back(base);
    return names;
}

tPluginEntry SplitPluginEntry(const std::string& entry)
{
    tPluginEntry split;
    std::string::size_type colon = entry.find(':');
    split.file = entry.substr(0, colon);
    if (colon != std::string::npos)
        split.parameter = entry.substr(colon + 1);
    return split;
}

bool IsBareFileName(const std::string& file)
{
    return !file.empty() && file.find_first_of("\\/:") == std::string::npos && file != "." && file != "..";
}

std::string ExpandWindowHandle(const std::string& parameters, unsigned long long window)
{
    static const char kToken[] = "%hwnd%";
    char handle[32];
    snprintf(handle, sizeof handle, "0x%08llx", window);
    std::string out;
    std::string::size_type at = 0;
    for (;;) {
        std::string::size_type found = parameters.find(kToken, at);
        if (found == std::string::npos)
            break;
        out.append(parameters, at, found - at);
        out += handle;
        at = found + sizeof kToken - 1;
    }
    out.append(parameters, at, std::string::npos);
    return out;
}

int CompareDottedVersions(const std::string& a, const std::string& b)
{
    size_t atA = 0, atB = 0;
    while (atA < a.size() || atB < b.size()) {
        unsigned long long numberA = NextNumber(a, atA);
        unsigned long long numberB = NextNumber(b, atB);
        if (numberA != numberB)
            return numberA < numberB ? -1 : 1;
    }
    return 0;
}

bool IsDottedVersion(const std::string& text)
{
    if (text.empty() || text[0] < '0' || text[0] > '9')
        return false;
    for (char c : text)
        if ((c < '0' || c > '9') && c != '.')
            return false;
    return true;
}

const tShellFolder* FindShellFolder(const std::string& code)
{
    for (const tShellFolder& folder : kShellFolders)
        if (strcasecmp(code.c_str(), folder.code) == 0)
            return &folder;
    return nullptr;
}

bool IsWebAddress(const std::string& target)
{
    for (const char* scheme : {"http://", "https://", "ftp://"})
        if (strncasecmp(target.c_str(), scheme, strlen(scheme)) == 0)
            return true;
    return false;
}

tPagePlan PlanPages(bool removal, const int (&counts)[PLUGIN_PAGE_LEVELS])
{
    tPagePlan plan;
    auto addLevel = [&](int level) {
        for (int i = 0; i < counts[level]; ++i)
            plan.pages.push_back({0, level, i});
    };
    auto addBuiltIn = [&](int id) { plan.pages.push_back({id, 0, 0}); };

    if (counts[0] > 0)
        addLevel(0);
    else
        addBuiltIn(PAGE_WELCOME);
    if (removal) {
        for (int level = 1; level <= 6; ++level)
            addLevel(level);
        plan.workIndex = static_cast<int>(plan.pages.size());
        addBuiltIn(PAGE_REMOVAL);
        addBuiltIn(PAGE_REMOVAL_FINISH);
    } else {
        const int builtIns[] = {PAGE_LICENSE, PAGE_TYPE, PAGE_COMPONENTS, PAGE_DIRECTORY, PAGE_CARRY_OUT};
        for (int level = 1; level <= 5; ++level) {
            addLevel(level);
            if (builtIns[level - 1] == PAGE_CARRY_OUT)
                plan.workIndex = static_cast<int>(plan.pages.size());
            addBuiltIn(builtIns[level - 1]);
        }
        addLevel(6);
        if (counts[7] > 0)
            addLevel(7);
        else
            addBuiltIn(PAGE_FINISH);
    }
    plan.successIndex = plan.workIndex + 1;
    plan.failureIndex = plan.workIndex;
    return plan;
}
