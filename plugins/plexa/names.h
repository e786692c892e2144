// The names users give to powerline devices: plexa.ini beside the plug-in, section
// "devicenames", one line per device address in colon form. The names are the plug-in's
// shareable options, so they travel between the monitors of one LAN (shared_names.h).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "common/parseini.h"
#include "plugins/plexa/shared_names.h"
#include "powerline/frames.h"

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
