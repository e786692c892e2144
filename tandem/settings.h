// The tandem settings file (tandem.ini beside the program): section "global" with the user's
// choices and the window's layout, section "shares" with this host's shares, and the window
// placement in section "tandem". Read on demand, written when something changes.
#pragma once

#include <string>
#include <vector>

#include "common/parseini.h"

extern const char kGlobalSection[];
extern const char kPlacementSection[];

const int kHostMruEntries = 10;

class CTandemSettings {
public:
    // An empty path means the settings file beside the program.
    explicit CTandemSettings(const std::string& path = std::string());

    const utilcpp::CParseini& File() const { return m_file; }
    std::string Path() const { return m_file.GetFileName(); }

    // The computer name: "hostname", by default the Winsock host name.
    std::string HostName() const;
    void SetHostName(const std::string& name) const;
    int GetInt(const char* key, int defaultValue) const;
    void SetInt(const char* key, int value) const;
    std::string GetText(const char* key) const;
    void SetText(const char* key, const std::string& value) const;

    std::vector<std::string> HostMru() const;
    void SetHostMru(const std::vector<std::string>& entries) const;

    // The folder of a share, empty when there is no such share.
    std::string ShareFolder(const std::string& name) const;
    void WriteShare(const std::string& name, const std::string& folder) const;
    void DeleteShare(const std::string& name) const;

private:
    utilcpp::CParseini m_file;
};

// The add-host list after a successful lookup: the typed text first, then the old entries
// that differ from it, at most kHostMruEntries.
std::vector<std::string> UpdateHostMru(const std::vector<std::string>& entries, const std::string& typed);
