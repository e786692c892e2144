#include "common/registry.h"

#include <string.h>

bool CRegistryKey::Open(HKEY root, const char* path, REGSAM access)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, path, 0, access, &opened) != ERROR_SUCCESS)
        return false;
    m_key.Attach(opened);
    return true;
}

bool CRegistryKey::Create(HKEY root, const char* path, REGSAM access)
{
    HKEY opened = nullptr;
    if (RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &opened,
                        nullptr) != ERROR_SUCCESS)
        return false;
    m_key.Attach(opened);
    return true;
}

bool CRegistryKey::Query(const char* name, DWORD& type, std::vector<BYTE>& data) const
{
    if (!m_key)
        return false;
    // The value may grow between the size query and the read: try again a few times.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD bytes = 0;
        if (RegQueryValueExA(m_key.Get(), name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS)
            return false;
        if (bytes > kMaxValueBytes)
            return false;
        data.assign(bytes, 0);
        LONG error = RegQueryValueExA(m_key.Get(), name, nullptr, &type, data.data(), &bytes);
        if (error == ERROR_SUCCESS) {
            data.resize(bytes);
            return true;
        }
        if (error != ERROR_MORE_DATA)
            return false;
    }
    return false;
}

bool CRegistryKey::HasValue(const char* name) const
{
    return m_key && RegQueryValueExA(m_key.Get(), name, nullptr, nullptr, nullptr, nullptr) ==
                        ERROR_SUCCESS;
}

bool CRegistryKey::GetString(const char* name, std::string& out) const
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!Query(name, type, data) || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    const char* text = reinterpret_cast<const char*>(data.data());
    out.assign(text, strnlen(text, data.size()));
    return true;
}

bool CRegistryKey::GetDword(const char* name, DWORD& out) const
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!Query(name, type, data) || type != REG_DWORD || data.size() != sizeof(DWORD))
        return false;
    memcpy(&out, data.data(), sizeof out);
    return true;
}

bool CRegistryKey::GetMultiString(const char* name, std::vector<std::string>& out) const
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!Query(name, type, data) || type != REG_MULTI_SZ)
        return false;
    std::vector<std::string> values;
    const char* text = reinterpret_cast<const char*>(data.data());
    size_t at = 0;
    while (at < data.size()) {
        size_t length = strnlen(text + at, data.size() - at);
        if (length == 0)
            break;
        values.emplace_back(text + at, length);
        at += length + 1;
    }
    out.swap(values);
    return true;
}

bool CRegistryKey::GetBinary(const char* name, std::vector<BYTE>& out) const
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!Query(name, type, data) || type != REG_BINARY)
        return false;
    out.swap(data);
    return true;
}

bool CRegistryKey::SetString(const char* name, const std::string& value, DWORD type)
{
    return m_key && RegSetValueExA(m_key.Get(), name, 0, type,
                                   reinterpret_cast<const BYTE*>(value.c_str()),
                                   static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool CRegistryKey::SetDword(const char* name, DWORD value)
{
    return m_key && RegSetValueExA(m_key.Get(), name, 0, REG_DWORD,
                                   reinterpret_cast<const BYTE*>(&value),
                                   sizeof value) == ERROR_SUCCESS;
}

bool CRegistryKey::SetMultiString(const char* name, const std::vector<std::string>& values)
{
    std::string block;
    for (const std::string& value : values) {
        if (value.empty() || value.find('\0') != std::string::npos)
            return false;
        block += value;
        block += '\0';
    }
    block += '\0';
    return m_key && RegSetValueExA(m_key.Get(), name, 0, REG_MULTI_SZ,
                                   reinterpret_cast<const BYTE*>(block.data()),
                                   static_cast<DWORD>(block.size())) == ERROR_SUCCESS;
}

bool CRegistryKey::SetBinary(const char* name, const void* data, DWORD size)
{
    return m_key && RegSetValueExA(m_key.Get(), name, 0, REG_BINARY,
                                   static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

bool CRegistryKey::DeleteValue(const char* name)
{
    return m_key && RegDeleteValueA(m_key.Get(), name) == ERROR_SUCCESS;
}

bool CRegistryKey::EnumSubKeys(std::vector<std::string>& out) const
{
    if (!m_key)
        return false;
    out.clear();
    char name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof name;
        LONG error = RegEnumKeyExA(m_key.Get(), index, name, &length, nullptr, nullptr, nullptr,
                                   nullptr);
        if (error == ERROR_NO_MORE_ITEMS)
            return true;
        if (error != ERROR_SUCCESS)
            return false;
        out.emplace_back(name, length);
    }
}

bool CRegistryKey::EnumValueNames(std::vector<std::string>& out) const
{
    if (!m_key)
        return false;
    out.clear();
    // Value names may be up to 16383 characters.
    std::vector<char> name(16384);
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        LONG error = RegEnumValueA(m_key.Get(), index, name.data(), &length, nullptr, nullptr,
                                   nullptr, nullptr);
        if (error == ERROR_NO_MORE_ITEMS)
            return true;
        if (error != ERROR_SUCCESS)
            return false;
        out.emplace_back(name.data(), length);
    }
}

bool CRegistryKey::DeleteTree(HKEY root, const char* path)
{
    LONG error = RegDeleteTreeA(root, path);
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND)
        return false;
    error = RegDeleteKeyA(root, path);
    return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND;
}

bool CRegistryKey::Exists(HKEY root, const char* path)
{
    CRegistryKey key;
    return key.Open(root, path, KEY_READ);
}
