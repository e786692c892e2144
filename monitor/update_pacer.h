// Pacing of the status updates the window shows. A plug-in may report many times a second (a
// flood of forged frames makes every frame a new device picture), and showing each report
// rebuilds rows of the tree view while the window answers nothing else. The window shows at
// most one update per plug-in per interval: an update that comes sooner is kept (the latest
// one only) and shown when the interval is over. A quiet plug-in's update is shown at once.
//
// Pure logic on millisecond ticks (wrapping 32-bit counters), without windows.
#pragma once

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

class CUpdatePacer {
public:
    explicit CUpdatePacer(uint32_t intervalMs) : m_interval(intervalMs) {}

    void SetInterval(uint32_t intervalMs) { m_interval = intervalMs; }
    uint32_t Interval() const { return m_interval; }

    // An update of the plug-in arrived: true when it is to be shown now (counted as shown);
    // false when it is to be kept until Due names the plug-in.
    bool Arrived(const std::string& plugin, uint32_t now);
    // The plug-ins whose kept update is due now; each is counted as shown.
    std::vector<std::string> Due(uint32_t now);
    // Milliseconds until the next kept update is due (0 when one is due), or -1 when none is kept.
    int64_t NextDueIn(uint32_t now) const;
    // The plug-in's kept update is dropped (an update that must be shown at once replaces it).
    void Shown(const std::string& plugin, uint32_t now);
    bool IsKept(const std::string& plugin) const;

private:
    struct tState {
        uint32_t lastShown = 0;
        bool kept = false;
    };
    uint32_t m_interval;
    std::map<std::string, tState> m_plugins;
};
