// A program's settings file: an INI file, by default beside the program with ".ini" in place
// of its extension. Every call goes straight to the system's private-profile functions and
// nothing is cached, so several objects and processes may share one file.
#pragma once

#include <windows.h>

#include <string>

namespace utilcpp {

class CParseini {
public:
    // An empty path means the settings file of the program's main module.
    explicit CParseini(const std::string& path = std::string());

    void CreateFromModule(HMODULE module);
    std::string GetFileName() const { return m_path; }

    bool GetInt(std::string section, std::string key, int& out, int defaultValue) const;
    bool WriteInt(std::string section, std::string key, int value) const;
    // Values of any length up to kMaxValueLength characters; a longer one is cut there.
    bool GetString(std::string section, std::string key, std::string& out,
                   std::string defaultValue) const;
    static constexpr size_t kMaxValueLength = 8 * 1024 * 1024;
    bool WriteString(std::string section, std::string key, std::string value) const;
    bool DeleteKey(std::string section, std::string key) const;
    bool DeleteSection(std::string section) const;
    bool RenameKey(std::string section, std::string oldKey, std::string newKey) const;
    // Whether the file can be written at all; leaves nothing behind.
    bool TestWriteAccess() const;

    // The settings file name of a module file name: "c:\x\watchpost.exe" gives "c:\x\watchpost.ini".
    static std::string SettingsPathFor(const std::string& modulePath);

private:
    std::string m_path;
};

} // namespace utilcpp
