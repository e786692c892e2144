#include "plexaconf/security_ids.h"

#include <algorithm>

#include "common/registry.h"
#include "common/trace.h"

const char kPlexaConfigKey[] = "SOFTWARE\\velmora\\plexaconfig";
const char kNetworkKeysValue[] = "networkkeys";

bool IsSecurityId(const std::string& id)
{
    if (id.size() != kSecurityIdLength)
        return false;
    for (char c : id)
        if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7F)
            return false;
    return true;
}

CSecurityIdStore::CSecurityIdStore(HKEY root, const std::string& path) : m_root(root), m_path(path) {}

std::vector<std::string> CSecurityIdStore::Stored() const
{
    CRegistryKey key;
    std::vector<std::string> stored;
    if (!key.Open(m_root, m_path.c_str()) || !key.GetMultiString(kNetworkKeysValue, stored))
        return std::vector<std::string>();
    return stored;
}

bool CSecurityIdStore::Write(const std::vector<std::string>& stored) const
{
    if (std::none_of(stored.begin(), stored.end(), IsSecurityId))
        return CRegistryKey::DeleteTree(m_root, m_path.c_str());
    CRegistryKey key;
    return key.Create(m_root, m_path.c_str()) && key.SetMultiString(kNetworkKeysValue, stored);
}

std::vector<std::string> CSecurityIdStore::Read() const
{
    std::vector<std::string> stored = Stored();
    std::vector<std::string> ids;
    for (const std::string& id : stored) {
        if (!IsSecurityId(id)) {
            TraceHere("stored string of %d characters is no security ID, left out\n", static_cast<int>(id.size()));
            continue;
        }
        if (std::find(ids.begin(), ids.end(), id) == ids.end() && ids.size() < kMaxStoredIds)
            ids.push_back(id);
    }
    return ids;
}

// Both change the stored strings themselves, not what Read makes of them: IDs beyond those the
// search tries are kept.
bool CSecurityIdStore::Add(const std::string& id)
{
    if (!IsSecurityId(id))
        return false;
    std::vector<std::string> stored = Stored();
    if (std::find(stored.begin(), stored.end(), id) != stored.end())
        return true;
    stored.push_back(id);
    return Write(stored);
}

bool CSecurityIdStore::Remove(const std::string& id)
{
    std::vector<std::string> stored = Stored();
    stored.erase(std::remove(stored.begin(), stored.end(), id), stored.end());
    return Write(stored);
}
