#include "plugins/plexa/names.h"

#include <windows.h>

#include <string.h>

namespace {

std::string Trim(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
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
