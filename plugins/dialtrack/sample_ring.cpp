#include "plugins/dialtrack/sample_ring.h"

#include "common/trace.h"

void CSampleRing::TimeStamp(uint32_t now, uint32_t bytes)
{
    bool first = m_dwIndex == 0;
    ++m_dwIndex;
    uint32_t cur = m_dwIndex % kSamples;
    m_samples[cur] = {now, bytes};
    // The first sample is the window's start as well as its end: the ring holds nothing older
    // (its zero-filled slots are no samples, and would make a rate out of the whole uptime).
    if (first)
        m_dwOldIndex = m_dwIndex;
    else if (m_dwOldIndex % kSamples == cur) // the ring is full: the oldest sample was overwritten
        ++m_dwOldIndex;
    while (m_dwOldIndex + 1 < m_dwIndex && now - m_samples[(m_dwOldIndex + 1) % kSamples].tick > kWindowMs)
        ++m_dwOldIndex;
    if (m_dwOldIndex > kSamples) {
        m_dwOldIndex -= kSamples;
        m_dwIndex -= kSamples;
    }
    TraceVerbose("curInd: %u, curTime: %u, bytes: %u\n", cur, now, bytes);
    TraceVerbose("m_dwIndex: %u, m_dwOldIndex: %u\n", m_dwIndex, m_dwOldIndex);
}

uint32_t CSampleRing::GetBytesRate() const
{
    const tSample& oldest = m_samples[m_dwOldIndex % kSamples];
    const tSample& newest = m_samples[m_dwIndex % kSamples];
    uint32_t timeDelta = newest.tick - oldest.tick;
    if (timeDelta == 0)
        return 0;
    uint32_t bytesDelta = newest.bytes - oldest.bytes;
    double rate = static_cast<double>(bytesDelta) / timeDelta * 1000.0 + 0.5;
    TraceVerbose("Rate: %f, oldRate: %u, newRate: %u, timeDelta: %u\n", rate, oldest.bytes, newest.bytes, timeDelta);
    TraceVerbose("RateDelta: %u\n", bytesDelta);
    return rate >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(rate);
}
