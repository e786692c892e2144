#include "plugins/plexa/names.h"

#include <windows.h>

#include <string.h>

const char kNamesSection[] = "devicenames";

namespace {

std::string Trim(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

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

std::string CNamesStore::NameOf(const tMacAddress& address) const
{
    std::string name;
    m_ini.GetString(kNamesSection, MacToText(address, ":"), name, std::string());
    return name;
}

bool CNamesStore::SetName(const tMacAddress& address, const std::string& name) const
{
    return m_ini.WriteString(kNamesSection, MacToText(address, ":"), name);
}

std::vector<std::pair<std::string, std::string>> CNamesStore::Entries() const
{
    std::vector<std::pair<std::string, std::string>> entries;
    // The section comes back as "key=value\0...\0\0"; grow while the system says it is full.
    std::vector<char> buffer(4096);
    DWORD count;
    for (;;) {
        count = GetPrivateProfileSectionA(kNamesSection, buffer.data(), static_cast<DWORD>(buffer.size()),
                                          m_ini.GetFileName().c_str());
        if (count < buffer.size() - 2 || buffer.size() >= (1u << 24))
            break;
        buffer.resize(buffer.size() * 2);
    }
    for (const char* line = buffer.data(); line < buffer.data() + count && *line; line += strlen(line) + 1) {
        const char* equals = strchr(line, '=');
        if (!equals)
            continue;
        entries.emplace_back(Trim(std::string(line, equals)), Trim(std::string(equals + 1)));
    }
    return entries;
}

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
