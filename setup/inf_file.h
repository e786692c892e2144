// The setup script through the SetupAPI INF functions: an owned INF handle, lines and their
// fields with the script's string and directory substitutions done by SetupAPI.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <string>
#include <vector>

#include "common/raii.h"

namespace setup {

struct tInfTraits {
    using value_type = HINF;
    static HINF Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HINF h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static bool Close(HINF h)
    {
        SetupCloseInfFile(h);
        return true;
    }
};
using CInfHandle = raii::CUnique<tInfTraits>;

// One line of a script: its context and its fields read on demand.
class CInfLine {
public:
    explicit CInfLine(const INFCONTEXT& context) : m_context(context) {}
    const INFCONTEXT& Context() const { return m_context; }
    DWORD FieldCount() const;
    // Field 0 is the key; fields past the end read as empty.
    std::string Field(DWORD index) const;
    bool IntField(DWORD index, int& out) const;
    // The fields from `first` to the end, empty ones skipped.
    std::vector<std::string> Fields(DWORD first = 1) const;

private:
    INFCONTEXT m_context;
};

class CInfFile {
public:
    CInfFile() = default;
    // Opens a Windows 4 style INF. On failure `errorLine` is the line SetupAPI reports (0 when
    // the file itself could not be read) and `error` the error code.
    bool Open(const std::string& path, UINT& errorLine, DWORD& error);
    bool IsOpen() const { return m_inf.IsValid(); }
    HINF Get() const { return m_inf.Get(); }
    const std::string& Path() const { return m_path; }

    bool HasSection(const std::string& section) const;
    // Every line of the section, or those with the key.
    std::vector<CInfLine> Lines(const std::string& section, const char* key = nullptr) const;
    // The fields 1.. of every line with the key, in order: a key may be repeated.
    std::vector<std::string> KeyValues(const std::string& section, const char* key) const;
    // Field 1 of the first line with the key; empty when there is none.
    std::string KeyValue(const std::string& section, const char* key) const;

    bool SetDirectoryId(DWORD id, const std::string& path) const;
    // Where the files of a section go ("DestinationDirs"); the default directory for an
    // empty section name. Empty when SetupAPI cannot tell.
    std::string TargetPath(const std::string& section) const;

private:
    CInfHandle m_inf;
    std::string m_path;
};

} // namespace setup
