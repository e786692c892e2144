// When the options of a peer are fetched. A proclamation asks for a fetch from its sender; the
// schedule allows one fetch per sender at a time and one start per interval, and folds what
// is heard meanwhile into one later fetch. So a sender that proclaims without pause (or a
// spoofed one) costs at most one fetch per interval, and a real change is never lost: it is
// fetched at the latest one interval after the previous fetch. Pure logic; ticks are given.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <map>
#include <vector>

class CFetchSchedule {
public:
    enum tDecision {
        kFetchNow, // the caller fetches now; the sender counts as fetching until Finished
        kFolded,   // a later fetch (from Due) takes care of it
        kRefused,  // too many senders are remembered already
    };

    CFetchSchedule(uint32_t intervalMs, size_t maxSenders);

    tDecision Request(uint32_t sender, uint32_t now);
    // The fetch that Request or Due handed out has ended.
    void Finished(uint32_t sender);
    // The fetch that Request or Due handed out could not be started; Due hands it out again
    // when the interval is up.
    void Postpone(uint32_t sender);
    // Senders whose folded fetch may start now; each counts as fetching until Finished.
    std::vector<uint32_t> Due(uint32_t now);

    size_t Senders() const { return m_senders.size(); }

private:
    struct tSender {
        uint32_t lastStart = 0;
        bool fetching = false;
        bool wanted = false; // a fetch was asked for that has not started yet
    };

    bool IntervalPassed(const tSender& sender, uint32_t now) const;
    // Forgets senders with nothing to do whose interval is over; false when none could go.
    bool MakeRoom(uint32_t now);

    uint32_t m_interval;
    size_t m_maxSenders;
    std::map<uint32_t, tSender> m_senders;
};
