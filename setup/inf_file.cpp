#include "setup/inf_file.h"

namespace setup {

DWORD CInfLine::FieldCount() const
{
    return SetupGetFieldCount(const_cast<INFCONTEXT*>(&m_context));
}

std::string CInfLine::Field(DWORD index) const
{
    DWORD size = 0;
    INFCONTEXT* context = const_cast<INFCONTEXT*>(&m_context);
    if (!SetupGetStringFieldA(context, index, nullptr, 0, &size) || size == 0)
        return std::string();
    std::string text(size, '\0');
    if (!SetupGetStringFieldA(context, index, &text[0], size, &size))
        return std::string();
    text.resize(size > 0 ? size - 1 : 0);
    return text;
}

bool CInfLine::IntField(DWORD index, int& out) const
{
    INT value = 0;
    if (!SetupGetIntField(const_cast<INFCONTEXT*>(&m_context), index, &value))
        return false;
    out = value;
    return true;
}

std::vector<std::string> CInfLine::Fields(DWORD first) const
{
    std::vector<std::string> fields;
    DWORD count = FieldCount();
    for (DWORD index = first; index <= count; ++index) {
        std::string field = Field(index);
        if (!field.empty())
            fields.push_back(field);
    }
    return fields;
}

bool CInfFile::Open(const std::string& path, UINT& errorLine, DWORD& error)
{
    errorLine = 0;
    error = 0;
    m_path = path;
    HINF inf = SetupOpenInfFileA(path.c_str(), nullptr, INF_STYLE_WIN4, &errorLine);
    if (inf == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    m_inf.Attach(inf);
    return true;
}

bool CInfFile::HasSection(const std::string& section) const
{
    return !section.empty() && SetupGetLineCountA(m_inf.Get(), section.c_str()) >= 0;
}

std::vector<CInfLine> CInfFile::Lines(const std::string& section, const char* key) const
{
    std::vector<CInfLine> lines;
    INFCONTEXT context;
    if (section.empty() || !SetupFindFirstLineA(m_inf.Get(), section.c_str(), key, &context))
        return lines;
    do
        lines.emplace_back(context);
    while (key ? SetupFindNextMatchLineA(&context, key, &context) : SetupFindNextLine(&context, &context));
    return lines;
}

std::vector<std::string> CInfFile::KeyValues(const std::string& section, const char* key) const
{
    std::vector<std::string> values;
    for (const CInfLine& line : Lines(section, key))
        for (const std::string& field : line.Fields())
            values.push_back(field);
    return values;
}

std::string CInfFile::KeyValue(const std::string& section, const char* key) const
{
    std::vector<CInfLine> lines = Lines(section, key);
    return lines.empty() ? std::string() : lines.front().Field(1);
}

bool CInfFile::SetDirectoryId(DWORD id, const std::string& path) const
{
    return SetupSetDirectoryIdA(m_inf.Get(), id, path.c_str()) != FALSE;
}

std::string CInfFile::TargetPath(const std::string& section) const
{
    DWORD size = 0;
    const char* name = section.empty() ? nullptr : section.c_str();
    // The default folder through its own line: not every SetupAPI reads it for a missing
    // section name.
    INFCONTEXT line;
    INFCONTEXT* context = nullptr;
    if (!name && SetupFindFirstLineA(m_inf.Get(), "DestinationDirs", "DefaultDestDir", &line))
        context = &line;
    if (!SetupGetTargetPathA(m_inf.Get(), context, name, nullptr, 0, &size) || size == 0)
        return std::string();
    std::string path(size, '\0');
    if (!SetupGetTargetPathA(m_inf.Get(), context, name, &path[0], size, &size))
        return std::string();
    path.resize(size > 0 ? size - 1 : 0);
    return path;
}

} // namespace setup
