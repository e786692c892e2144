#include "monitor/fetch_schedule.h"

CFetchSchedule::CFetchSchedule(uint32_t intervalMs, size_t maxSenders)
    : m_interval(intervalMs), m_maxSenders(maxSenders)
{
}

bool CFetchSchedule::IntervalPassed(const tSender& sender, uint32_t now) const
{
    return now - sender.lastStart >= m_interval;
}

bool CFetchSchedule::MakeRoom(uint32_t now)
{
    size_t before = m_senders.size();
    for (auto it = m_senders.begin(); it != m_senders.end();) {
        const tSender& sender = it->second;
        if (!sender.fetching && !sender.wanted && IntervalPassed(sender, now))
            it = m_senders.erase(it);
        else
            ++it;
    }
    return m_senders.size() < before;
}

CFetchSchedule::tDecision CFetchSchedule::Request(uint32_t address, uint32_t now)
{
    auto it = m_senders.find(address);
    if (it == m_senders.end()) {
        if (m_senders.size() >= m_maxSenders && !MakeRoom(now))
            return kRefused;
        tSender& sender = m_senders[address];
        sender.fetching = true;
        sender.lastStart = now;
        return kFetchNow;
    }
    tSender& sender = it->second;
    if (sender.fetching || !IntervalPassed(sender, now)) {
        sender.wanted = true;
        return kFolded;
    }
    sender.fetching = true;
    sender.wanted = false;
    sender.lastStart = now;
    return kFetchNow;
}

void CFetchSchedule::Finished(uint32_t address)
{
    auto it = m_senders.find(address);
    if (it != m_senders.end())
        it->second.fetching = false;
}

void CFetchSchedule::Postpone(uint32_t address)
{
    auto it = m_senders.find(address);
    if (it != m_senders.end()) {
        it->second.fetching = false;
        it->second.wanted = true;
    }
}

std::vector<uint32_t> CFetchSchedule::Due(uint32_t now)
{
    std::vector<uint32_t> due;
    for (auto& entry : m_senders) {
        tSender& sender = entry.second;
        if (sender.wanted && !sender.fetching && IntervalPassed(sender, now)) {
            sender.wanted = false;
            sender.fetching = true;
            sender.lastStart = now;
            due.push_back(entry.first);
        }
    }
    return due;
}
