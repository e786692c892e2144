// The names users give to powerline devices: plexa.ini beside the plug-in, section
// "devicenames", one line per device address in colon form. The names are the plug-in's
// shareable options, so they travel between the monitors of one LAN.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "common/parseini.h"
#include "plugins/plexa/frames.h"

extern const char kNamesSection[];
// Bounds on what another PC may write into the names store.
const size_t kMaxNameLength = 200;
const size_t kMaxSharedNames = 256;

class CNamesStore {
public:
    explicit CNamesStore(const std::string& path) : m_ini(path) {}

    std::string NameOf(const tMacAddress& address) const;
    bool SetName(const tMacAddress& address, const std::string& name) const;
    // Every "key=value" line of the section, trimmed of blanks; lines without "=" skipped.
    std::vector<std::pair<std::string, std::string>> Entries() const;
    const utilcpp::CParseini& Ini() const { return m_ini; }

private:
    utilcpp::CParseini m_ini;
};

// "devicenames.KEY=VALUE\n" for every entry.
std::string FormatShareableOptions(const std::vector<std::pair<std::string, std::string>>& entries);

// One name that arrived from another PC and may be stored.
struct tSharedName {
    tMacAddress address;
    std::string name;
};
// Walks the text (section up to ".", key up to "=", value up to line feed) and keeps only what
// is safe to store: section "devicenames", a key that is a station address, a value of at
// most 200 characters without control characters, at most 256 entries.
std::vector<tSharedName> ParseShareableOptions(const std::string& text);
