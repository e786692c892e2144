#include "monitor/update_pacer.h"

bool CUpdatePacer::Arrived(const std::string& plugin, uint32_t now)
{
    auto found = m_plugins.find(plugin);
    if (found == m_plugins.end() || (!found->second.kept && now - found->second.lastShown >= m_interval)) {
        Shown(plugin, now);
        return true;
    }
    found->second.kept = true;
    return false;
}

std::vector<std::string> CUpdatePacer::Due(uint32_t now)
{
    std::vector<std::string> due;
    for (auto& entry : m_plugins)
        if (entry.second.kept && now - entry.second.lastShown >= m_interval) {
            entry.second.kept = false;
            entry.second.lastShown = now;
            due.push_back(entry.first);
        }
    return due;
}

int64_t CUpdatePacer::NextDueIn(uint32_t now) const
{
    int64_t next = -1;
    for (const auto& entry : m_plugins) {
        if (!entry.second.kept)
            continue;
        uint32_t waited = now - entry.second.lastShown;
        int64_t left = waited >= m_interval ? 0 : static_cast<int64_t>(m_interval - waited);
        if (next < 0 || left < next)
            next = left;
    }
    return next;
}

void CUpdatePacer::Shown(const std::string& plugin, uint32_t now)
{
    tState& state = m_plugins[plugin];
    state.lastShown = now;
    state.kept = false;
}

bool CUpdatePacer::IsKept(const std::string& plugin) const
{
    auto found = m_plugins.find(plugin);
    return found != m_plugins.end() && found->second.kept;
}
