// The transfer rate of a connection over its last ten seconds: a ring of 128 samples (tick,
// byte count), the newest at m_dwIndex, the oldest still used at m_dwOldIndex. Both counters
// and all differences are 32-bit, so a tick count or byte counter that wraps between two
// samples still gives the right difference.
#pragma once

#include <stdint.h>

class CSampleRing {
public:
    static constexpr uint32_t kSamples = 128;
    // Samples older than this leave the window (the one before the window is kept as its start).
    static constexpr uint32_t kWindowMs = 10000;

    // Takes one sample: the tick in milliseconds and the low 32 bits of the byte count.
    void TimeStamp(uint32_t now, uint32_t bytes);
    // Bytes per second between the oldest and the newest sample used; 0 while they coincide.
    uint32_t GetBytesRate() const;

    uint32_t Index() const { return m_dwIndex; }
    uint32_t OldIndex() const { return m_dwOldIndex; }

private:
    struct tSample {
        uint32_t tick;
        uint32_t bytes;
    };

    tSample m_samples[kSamples] = {};
    uint32_t m_dwIndex = 0;
    uint32_t m_dwOldIndex = 0;
};
