#include "setup/command_line.h"

#include <stdlib.h>
#include <string.h>

#include <memory>

#include "common/options.h"

namespace {

struct tLanguageCode {
    const char* code;
    unsigned short language;
};

// Spanish is the primary language alone: the resources hold one Spanish for every country.
const tLanguageCode kLanguages[] = {
    {"eng", 1033}, {"ger", 1031}, {"fre", 1036}, {"ita", 1040}, {"spa", 10},   {"dut", 1043},
    {"pol", 1045}, {"fin", 1035}, {"dan", 1030}, {"nor", 1044}, {"por", 2070}, {"tur", 1055},
    {"rus", 1049}, {"cze", 1029},
};

struct tListFree {
    void operator()(tList* list) const { ListFree(list); }
};

// The items of a zero-separated list.
std::vector<std::string> Items(const char* value)
{
    std::vector<std::string> items;
    for (const char* item = value; item && *item; item += strlen(item) + 1)
        items.push_back(item);
    return items;
}

// The value as one text again: a folder or file name may hold commas.
std::string Joined(const char* value)
{
    std::string text;
    for (const std::string& item : Items(value))
        text += (text.empty() ? "" : ",") + item;
    return text;
}

bool ParseNumber(const char* value, int& out)
{
    std::string text = Joined(value);
    if (text.empty())
        return false;
    char* end = nullptr;
    long number = strtol(text.c_str(), &end, 10);
    if (*end != '\0')
        return false;
    out = static_cast<int>(number);
    return true;
}

} // namespace

unsigned short LanguageOfCode(const std::string& code)
{
    for (const tLanguageCode& entry : kLanguages)
        if (code == entry.code)
            return entry.language;
    return 0;
}

tSetupCommandLine ParseSetupCommandLine(const char* commandLine)
{
    tSetupCommandLine parsed;
    std::unique_ptr<tList, tListFree> options(ParseOptions(commandLine ? commandLine : ""));
    if (!options)
        return parsed;
    for (int32_t i = 0; i < ListCount(options.get()); ++i) {
        const tOption* option = static_cast<const tOption*>(ListGetAt(options.get(), i));
        if (!option || !option->name)
            continue;
        std::string name = option->name;
        const char* value = option->value;
        int number = 0;
        if (name == "quiet" || name == "silent") {
            parsed.unattended = name == "quiet" ? UNATTENDED_QUIET : UNATTENDED_SILENT;
            parsed.unattendedText = Joined(value);
        } else if (name == "reboot" && ParseNumber(value, number) && number >= 0 && number <= 2) {
            parsed.reboot = static_cast<tRebootPolicy>(number);
        } else if (name == "style" && ParseNumber(value, number)) {
            parsed.style = number != 0 ? 1 : 0;
        } else if (name == "install" || name == "remove") {
            parsed.mode = name == "install" ? SETUP_MODE_INSTALL : SETUP_MODE_REMOVE;
            parsed.products = Items(value);
        } else if (name == "lang") {
            if (unsigned short language = LanguageOfCode(Joined(value)))
                parsed.language = language;
        } else if (name == "plan") {
            parsed.plan = true;
            parsed.planFile = Joined(value);
        }
    }
    return parsed;
}
