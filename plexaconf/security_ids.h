// The security IDs the user has entered, remembered so that the next run finds the same
// remote adapters again: HKEY_CURRENT_USER\SOFTWARE\velmora\plexaconfig, value "networkkeys"
// (REG_MULTI_SZ), one ID per string in the order added, no duplicates.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

extern const char kPlexaConfigKey[];
extern const char kNetworkKeysValue[];
// A security ID: 16 characters printed on the adapter, in four groups of four.
const size_t kSecurityIdLength = 16;
// IDs beyond this many are not tried by the search (each costs it seconds when its adapter is
// gone); they stay stored.
const size_t kMaxStoredIds = 32;

bool IsSecurityId(const std::string& id);

class CSecurityIdStore {
public:
    explicit CSecurityIdStore(HKEY root = HKEY_CURRENT_USER, const std::string& path = kPlexaConfigKey);

    // A missing key or value is an empty list; strings that are no security IDs are left out.
    std::vector<std::string> Read() const;
    // Appends the ID unless it is there; false when the registry refused.
    bool Add(const std::string& id);
    // Drops every equal string; with no ID left, the whole key goes.
    bool Remove(const std::string& id);

private:
    std::vector<std::string> Stored() const;
    bool Write(const std::vector<std::string>& stored) const;

    HKEY m_root;
    std::string m_path;
};
