// Registry access for the programs: one open key, typed values, bounded reads.
// Reads of a missing key or value, or of a value of another type, answer false and leave the
// output alone, so callers keep their defaults.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/raii.h"

class CRegistryKey {
public:
    // Values above this size are refused on reading: no value the suite keeps comes near it,
    // and a damaged or hostile one must not make a program allocate without bound.
    static const DWORD kMaxValueBytes = 1024 * 1024;

    CRegistryKey() = default;
    CRegistryKey(CRegistryKey&&) = default;
    CRegistryKey& operator=(CRegistryKey&&) = default;

    bool Open(HKEY root, const char* path, REGSAM access = KEY_READ);
    // Opens the key, making it (and every missing key on the way) when needed.
    bool Create(HKEY root, const char* path, REGSAM access = KEY_READ | KEY_WRITE);
    void Close() { m_key.Close(); }
    bool IsOpen() const { return m_key.IsValid(); }
    HKEY Get() const { return m_key.Get(); }

    bool HasValue(const char* name) const;
    // REG_SZ and REG_EXPAND_SZ (not expanded); a missing terminator is supplied.
    bool GetString(const char* name, std::string& out) const;
    bool GetDword(const char* name, DWORD& out) const;
    // REG_MULTI_SZ: the strings up to the first empty one.
    bool GetMultiString(const char* name, std::vector<std::string>& out) const;
    bool GetBinary(const char* name, std::vector<BYTE>& out) const;

    bool SetString(const char* name, const std::string& value, DWORD type = REG_SZ);
    bool SetDword(const char* name, DWORD value);
    // Empty strings cannot be held (an empty string ends the list) and are refused.
    bool SetMultiString(const char* name, const std::vector<std::string>& values);
    bool SetBinary(const char* name, const void* data, DWORD size);
    bool DeleteValue(const char* name);

    bool EnumSubKeys(std::vector<std::string>& out) const;
    bool EnumValueNames(std::vector<std::string>& out) const;

    // Removes the key with everything below it; true when it is gone (also when it never was).
    static bool DeleteTree(HKEY root, const char* path);
    static bool Exists(HKEY root, const char* path);

private:
    bool Query(const char* name, DWORD& type, std::vector<BYTE>& data) const;

    raii::CRegKey m_key;
};
