// The wizard's adapter layer: the packet port over every network adapter of the PC, one
// receive thread that hands each frame to its adapter's CInternalAdapter, and the device
// search. The search sends rounds of requests to everyone on every adapter (device
// description, network statistics, status, quality: the frames the status plug-in's discovery
// sends) and lets each adapter build its picture of local adapters and the stations they see.
//
// Threads: the receive thread owns the port (it scans, waits and removes adapters); key
// operations run on other threads through the CInternalAdapter objects, which stay valid for
// as long as a caller holds them, even when their adapter goes (sends then fail).
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "common/raii.h"
#include "common/thread.h"
#include "plexaconf/internal_adapter.h"
#include "powerline/packet_port.h"

// The search's rounds are this far apart.
const DWORD kSearchRoundMs = 100;

class CAdapterLayer {
public:
    explicit CAdapterLayer(const tKeyTimings& timings = tKeyTimings());
    ~CAdapterLayer();
    CAdapterLayer(const CAdapterLayer&) = delete;
    CAdapterLayer& operator=(const CAdapterLayer&) = delete;

    // Opens the adapters and starts the receive thread; false when rawport cannot be used.
    bool Start();
    void Stop();

    // Starts a device search of `rounds` rounds (a search under way starts over). The first
    // result is there after `firstResultRound` rounds; the search ends after the last round
    // has had its time for answers. Adapters plugged in since the last search are opened.
    void StartSearch(int rounds, int firstResultRound);
    bool WaitFirstResult(DWORD timeoutMs);
    bool WaitSearchDone(DWORD timeoutMs);

    // The network adapters, in the port's order.
    std::vector<std::shared_ptr<CInternalAdapter>> Adapters() const;
    // The adapter whose picture holds the local adapter of that address.
    std::shared_ptr<CInternalAdapter> AdapterOfLocal(const tMacAddress& local) const;

private:
    void Run(CThread& self);
    void BeginSearch();
    void SearchTick();
    int NextSearchWait() const;
    static void OnAdapterEvent(int event, tPortAdapter* adapter, void* user);
    static void OnReadFailure(tPortAdapter* adapter, unsigned long error, void* user);

    tKeyTimings m_timings;
    CThread m_thread;
    raii::CHandle m_ready;
    raii::CHandle m_wake;
    raii::CHandle m_firstResult;
    raii::CHandle m_searchDone;
    bool m_started = false;

    mutable raii::CCriticalSection m_lock;
    std::vector<std::shared_ptr<CInternalAdapter>> m_adapters;
    // Search requests from other threads, taken by the receive thread.
    bool m_searchRequested = false;
    int m_requestedRounds = 0;
    int m_requestedFirst = 0;

    // The search under way, on the receive thread only.
    tPacketPort* m_port = nullptr;
    int m_roundsLeft = 0;
    int m_roundsSent = 0;
    int m_firstRound = 0;
    DWORD m_nextRound = 0;
    bool m_searching = false;
};
