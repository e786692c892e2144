#include "plugins/plexa/shared_names.h"

const char kNamesSection[] = "devicenames";

namespace {

bool SafeName(const std::string& name)
{
    if (name.size() > kMaxNameLength)
        return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F)
            return false;
    return true;
}

// Colon form only: "02:12:34:56:9A:BC", the form the store uses as its keys.
bool StationKey(const std::string& key, tMacAddress& address)
{
    if (key.size() != 17)
        return false;
    for (size_t i = 2; i < 17; i += 3)
        if (key[i] != ':')
            return false;
    return MacFromText(key, address);
}

} // namespace

std::string FormatShareableOptions(const std::vector<std::pair<std::string, std::string>>& entries)
{
    std::string text;
    for (const auto& entry : entries)
        text += std::string(kNamesSection) + "." + entry.first + "=" + entry.second + "\n";
    return text;
}

std::vector<tSharedName> ParseShareableOptions(const std::string& text)
{
    std::vector<tSharedName> names;
    size_t position = 0;
    while (position < text.size()) {
        size_t dot = text.find('.', position);
        if (dot == std::string::npos)
            break;
        size_t equals = text.find('=', dot + 1);
        if (equals == std::string::npos)
            break;
        size_t end = text.find('\n', equals + 1);
        if (end == std::string::npos)
            break;
        std::string section = text.substr(position, dot - position);
        std::string key = text.substr(dot + 1, equals - dot - 1);
        std::string value = text.substr(equals + 1, end - equals - 1);
        position = end + 1;
        if (!value.empty() && value.back() == '\r')
            value.pop_back();
        tMacAddress address;
        if (section != kNamesSection || !StationKey(key, address) || !SafeName(value))
            continue;
        if (names.size() >= kMaxSharedNames)
            break;
        names.push_back({address, value});
    }
    return names;
}
