#include "common/osversion.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

namespace {

struct tVersionName {
    const char* name;
    const char* text;
};

const tVersionName kNames[] = {
    {"Win32S", "Win32s"},           {"Win95", "Win9x.4.0"},
    {"Win98", "Win9x.4.10"},        {"Win98FE", "Win9x.4.10.1998"},
    {"Win98SE", "Win9x.4.10.2222"}, {"WinMe", "Win9x.4.90"},
    {"WinNT35", "WinNT.3.51"},      {"WinNT40", "WinNT.4.0"},
    {"WinNT2k", "WinNT.5.0"},       {"Win2k", "WinNT.5.0"},
    {"WinXP", "WinNT.5.1"},
};

const char* PlatformName(tOSPlatform platform)
{
    switch (platform) {
    case OS_PLATFORM_WIN32S: return "Win32s";
    case OS_PLATFORM_WIN9X: return "Win9x";
    default: return "WinNT";
    }
}

bool ParseNumber(const std::string& text, unsigned long& out)
{
    if (text.empty() || text.size() > 9)
        return false;
    for (char c : text)
        if (!isdigit(static_cast<unsigned char>(c)))
            return false;
    out = strtoul(text.c_str(), nullptr, 10);
    return true;
}

// Build numbers of the 9x family carry the version in their high word.
unsigned long ComparableBuild(const tOSVersion& v, unsigned long build)
{
    return v.platform == OS_PLATFORM_WIN9X ? (build & 0xFFFFu) : build;
}

int CompareValues(unsigned long text, unsigned long running)
{
    if (text > running)
        return OS_COMPARE_OLDER;
    if (text < running)
        return OS_COMPARE_NEWER;
    return OS_COMPARE_EQUAL;
}

} // namespace

std::string TranslateOSVersionName(const std::string& nameOrText)
{
    for (const tVersionName& entry : kNames)
        if (strcasecmp(entry.name, nameOrText.c_str()) == 0)
            return entry.text;
    return nameOrText;
}

bool ParseOSVersion(const std::string& nameOrText, tOSVersion& out)
{
    std::string text = TranslateOSVersionName(nameOrText);
    tOSVersion v;
    std::string::size_type hash = text.find('#');
    std::string numbers = text.substr(0, hash);
    if (hash != std::string::npos) {
        v.hasServicePack = true;
        v.servicePack = text.substr(hash + 1);
        for (char& c : v.servicePack)
            if (c == '_')
                c = ' ';
    }

    std::string::size_type dot = numbers.find('.');
    std::string platform = numbers.substr(0, dot);
    if (strcasecmp(platform.c_str(), "Win32s") == 0)
        v.platform = OS_PLATFORM_WIN32S;
    else if (strcasecmp(platform.c_str(), "Win9x") == 0)
        v.platform = OS_PLATFORM_WIN9X;
    else if (strcasecmp(platform.c_str(), "WinNT") == 0)
        v.platform = OS_PLATFORM_WINNT;
    else
        return false;

    unsigned long* fields[] = {&v.major, &v.minor, &v.build};
    while (dot != std::string::npos) {
        if (v.parts == 3)
            return false;
        std::string::size_type next = numbers.find('.', dot + 1);
        std::string part = numbers.substr(dot + 1, next == std::string::npos ? next : next - dot - 1);
        if (!ParseNumber(part, *fields[v.parts]))
            return false;
        ++v.parts;
        dot = next;
    }
    out = v;
    return true;
}

std::string FormatOSVersion(const tOSVersion& running)
{
    char numbers[64];
    snprintf(numbers, sizeof numbers, "%s.%lu.%lu.%lu", PlatformName(running.platform),
             running.major, running.minor, ComparableBuild(running, running.build));
    std::string text = numbers;
    if (!running.servicePack.empty())
        text += "#" + running.servicePack;
    for (char& c : text)
        if (c == ' ')
            c = '_';
    return text;
}

int CompareOSVersion(const std::string& nameOrText, const tOSVersion& running)
{
    tOSVersion v;
    if (!ParseOSVersion(nameOrText, v))
        return OS_COMPARE_INVALID;
    if (v.platform != running.platform)
        return OS_COMPARE_PLATFORM;

    const unsigned long textParts[] = {v.major, v.minor, ComparableBuild(running, v.build)};
    const unsigned long runningParts[] = {running.major, running.minor,
                                          ComparableBuild(running, running.build)};
    for (int i = 0; i < 3; ++i) {
        if (i >= v.parts)
            return OS_COMPARE_EQUAL;
        int result = CompareValues(textParts[i], runningParts[i]);
        if (result != OS_COMPARE_EQUAL)
            return result;
    }
    if (!v.hasServicePack)
        return OS_COMPARE_EQUAL;
    int order = v.servicePack.compare(running.servicePack);
    if (order > 0)
        return OS_COMPARE_OLDER;
    if (order < 0)
        return OS_COMPARE_NEWER;
    return OS_COMPARE_EQUAL;
}

bool MatchOSVersion(const std::string& expression, const tOSVersion& running)
{
    static const char* const kOperators[] = {"not", "!", ">=", "=>", "<=", "=<", ">", "<", "="};
    std::string::size_type start = expression.find_first_not_of(" \t");
    std::string rest = start == std::string::npos ? std::string() : expression.substr(start);
    std::string op = "=";
    for (const char* candidate : kOperators) {
        size_t length = strlen(candidate);
        if (strncasecmp(rest.c_str(), candidate, length) == 0) {
            op = candidate;
            rest = rest.substr(length);
            break;
        }
    }
    start = rest.find_first_not_of(" \t");
    rest = start == std::string::npos ? std::string() : rest.substr(start);

    int code = CompareOSVersion(rest, running);
    if (op == "not" || op == "!")
        return code == OS_COMPARE_PLATFORM;
    if (op == ">=" || op == "=>")
        return code == OS_COMPARE_EQUAL || code == OS_COMPARE_NEWER;
    if (op == "<=" || op == "=<")
        return code == OS_COMPARE_EQUAL || code == OS_COMPARE_OLDER;
    if (op == ">")
        return code == OS_COMPARE_NEWER;
    if (op == "<")
        return code == OS_COMPARE_OLDER;
    return code == OS_COMPARE_EQUAL;
}
