// The progress bar of a run as numbers: the range, the position, the phase shown and the
// History folder's sub-range. The progress dialog feeds it the worker's reports and copies
// the results into its controls; tests feed it directly.
#pragma once

#include "tidemark/rules.h"

// What one report changes on the screen.
struct tProgressStep {
    unsigned advance = 0; // units the bar moves
    unsigned textId = 0;  // a phase text to show, or 0
};

class CProgressModel {
public:
    void Start(unsigned range);

    // A phase call: a new phase number shows its text; the current one adds its weight.
    tProgressStep OnPhase(int phase);
    // The History folder pass counted `total` items of its entry; an empty entry (or none)
    // adds the whole pass at once.
    tProgressStep OnHistoryRange(unsigned total);
    // The next History folder item is being deleted.
    tProgressStep OnHistoryItem();
    // A cache entry is being deleted.
    tProgressStep OnCacheUrl();

    unsigned Range() const { return m_range; }
    unsigned Position() const { return m_position; }
    int Phase() const { return m_phase; }

private:
    tProgressStep Advance(unsigned units);

    unsigned m_range = 0;
    unsigned m_position = 0;
    int m_phase = kPhaseNone;
    unsigned m_historyTotal = 0;
    unsigned m_historyCount = 0;
};
