#include "tandem/settings.h"

#include "common/sockets.h"
#include "tandem/share_files.h"

const char kGlobalSection[] = "global";
const char kPlacementSection[] = "tandem";

CTandemSettings::CTandemSettings(const std::string& path) : m_file(path)
{
}

std::string CTandemSettings::HostName() const
{
    std::string name;
    m_file.GetString(kGlobalSection, "hostname", name, GetLocalHostName());
    return name;
}

void CTandemSettings::SetHostName(const std::string& name) const
{
    m_file.WriteString(kGlobalSection, "hostname", name);
}

int CTandemSettings::GetInt(const char* key, int defaultValue) const
{
    int value = defaultValue;
    m_file.GetInt(kGlobalSection, key, value, defaultValue);
    return value;
}

void CTandemSettings::SetInt(const char* key, int value) const
{
    m_file.WriteInt(kGlobalSection, key, value);
}

std::string CTandemSettings::GetText(const char* key) const
{
    std::string value;
    m_file.GetString(kGlobalSection, key, value, std::string());
    return value;
}

void CTandemSettings::SetText(const char* key, const std::string& value) const
{
    m_file.WriteString(kGlobalSection, key, value);
}

std::vector<std::string> CTandemSettings::HostMru() const
{
    std::vector<std::string> entries;
    for (int i = 1; i <= kHostMruEntries; ++i) {
        std::string entry = GetText(("hostmruentry" + std::to_string(i)).c_str());
        if (entry.empty())
            break;
        entries.push_back(entry);
    }
    return entries;
}

void CTandemSettings::SetHostMru(const std::vector<std::string>& entries) const
{
    for (int i = 1; i <= kHostMruEntries; ++i) {
        std::string key = "hostmruentry" + std::to_string(i);
        if (static_cast<size_t>(i) <= entries.size())
            SetText(key.c_str(), entries[static_cast<size_t>(i) - 1]);
        else
            m_file.DeleteKey(kGlobalSection, key);
    }
}

std::string CTandemSettings::ShareFolder(const std::string& name) const
{
    std::string folder;
    m_file.GetString(kSharesSection, name, folder, std::string());
    return folder;
}

void CTandemSettings::WriteShare(const std::string& name, const std::string& folder) const
{
    m_file.WriteString(kSharesSection, name, folder);
}

void CTandemSettings::DeleteShare(const std::string& name) const
{
    m_file.DeleteKey(kSharesSection, name);
}

std::vector<std::string> UpdateHostMru(const std::vector<std::string>& entries, const std::string& typed)
{
    std::vector<std::string> updated{typed};
    for (const std::string& entry : entries)
        if (entry != typed && updated.size() < static_cast<size_t>(kHostMruEntries))
            updated.push_back(entry);
    return updated;
}
