#include "common/parseini.h"

#include <algorithm>
#include <vector>

#include "common/trace.h"

namespace utilcpp {

namespace {
const char kProbeName[] = "__CParseini_TestWriteAccess__";
const DWORD kFirstRead = 1024;
} // namespace

CParseini::CParseini(const std::string& path)
{
    TraceVerbose("entering\n");
    if (path.empty())
        CreateFromModule(nullptr);
    else
        m_path = path;
}

std::string CParseini::SettingsPathFor(const std::string& modulePath)
{
    std::string::size_type dot = modulePath.rfind('.');
    std::string path = dot == std::string::npos ? modulePath : modulePath.substr(0, dot);
    return path + ".ini";
}

void CParseini::CreateFromModule(HMODULE module)
{
    std::vector<char> name(MAX_PATH);
    for (;;) {
        DWORD length = GetModuleFileNameA(module, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) {
            name[0] = '\0';
            break;
        }
        if (length < name.size())
            break;
        name.resize(name.size() * 2);
    }
    m_path = SettingsPathFor(name.data());
    TraceVerbose("inifile name is %s\n", m_path.c_str());
}

bool CParseini::GetInt(std::string section, std::string key, int& out, int defaultValue) const
{
    out = static_cast<int>(
        GetPrivateProfileIntA(section.c_str(), key.c_str(), defaultValue, m_path.c_str()));
    return true;
}

bool CParseini::WriteInt(std::string section, std::string key, int value) const
{
    std::string text = std::to_string(value);
    if (WritePrivateProfileStringA(section.c_str(), key.c_str(), text.c_str(), m_path.c_str()))
        return true;
    TraceLastError();
    return false;
}

bool CParseini::GetString(std::string section, std::string key, std::string& out,
                          std::string defaultValue) const
{
    // The profile functions cut a value silently at the buffer size: grow until it fits,
    // doubling, as every try reads the whole file again. Beyond the limit the value is cut.
    std::vector<char> buffer(kFirstRead);
    for (;;) {
        DWORD count = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(),
                                               buffer.data(), static_cast<DWORD>(buffer.size()),
                                               m_path.c_str());
        if (count < buffer.size() - 1 || buffer.size() > kMaxValueLength) {
            out.assign(buffer.data(), std::min<size_t>(count, kMaxValueLength));
            return true;
        }
        buffer.resize(std::min<size_t>(buffer.size() * 2, kMaxValueLength + 2));
    }
}

bool CParseini::WriteString(std::string section, std::string key, std::string value) const
{
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(),
                                      m_path.c_str()) != FALSE;
}

bool CParseini::DeleteKey(std::string section, std::string key) const
{
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), nullptr, m_path.c_str()) !=
           FALSE;
}

bool CParseini::DeleteSection(std::string section) const
{
    return WritePrivateProfileStringA(section.c_str(), nullptr, nullptr, m_path.c_str()) != FALSE;
}

bool CParseini::RenameKey(std::string section, std::string oldKey, std::string newKey) const
{
    std::string value;
    GetString(section, oldKey, value, std::string());
    if (!value.empty())
        WriteString(section, newKey, value);
    return DeleteKey(section, oldKey);
}

bool CParseini::TestWriteAccess() const
{
    bool ok = WriteInt(kProbeName, kProbeName, 1);
    DeleteSection(kProbeName);
    return ok;
}

} // namespace utilcpp
