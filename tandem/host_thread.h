// Host discovery: announces this host by broadcast on every local interface once a second
// (UDP 12345), listens for the announces of others, and keeps one ping connection to the
// request server of every host it knows, this one included. A host is present exactly while
// its ping thread runs; the owner hears of hosts appearing and disappearing through
// IHostListener, always outside the lock of this object.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <stdint.h>

#include <atomic>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "common/raii.h"
#include "common/sockets.h"
#include "common/thread.h"
#include "tandem/listeners.h"
#include "tandem/protocol.h"

struct tDiscoveryOptions {
    unsigned short announcePort = kAnnouncePort;
    unsigned short requestPort = kRequestPort;
    DWORD announceMs = 1000;
    DWORD pingMs = 1000;
    int connectAttempts = 10;
    // A ping connection that is not up by then gives up: a host that does not answer (or an
    // address someone forged) is not tracked for minutes.
    DWORD connectMs = 10000;
    // Announced hosts tracked at once; forged announces from many senders cannot start more
    // ping threads. Hosts added by the user are not counted.
    size_t announcedHosts = 256;
};

class CHostThread {
public:
    // interfaces: the local IPv4 interfaces that are up and not loopback, taken once.
    CHostThread(IHostListener* listener, const std::vector<tInterfaceEntry>& interfaces,
                const tCancelFlag& shuttingDown, const tDiscoveryOptions& options = tDiscoveryOptions());
    ~CHostThread();
    CHostThread(const CHostThread&) = delete;
    CHostThread& operator=(const CHostThread&) = delete;

    // Starts tracking the host unless it is tracked already; then raises host appeared.
    void HostSeen(uint32_t address, const std::string& name, HostKind kind);
    // Stops tracking the host and raises host disappeared at once.
    void ForgetHost(uint32_t address);
    // Removes the hosts whose ping thread has ended and raises host disappeared for each,
    // unless the program is shutting down.
    void Reap();
    // Ends the broadcast thread and every ping thread, raising nothing. Answers messages sent
    // to the calling thread's windows meanwhile.
    void Stop();

    size_t GetTrackedCount();
    bool IsTracked(uint32_t address);
    // Whether the announce port was bound (announces of others can be heard).
    bool IsListening() const { return m_listening.load(); }

private:
    struct tPing;

    void BroadcastThread(CThread& self);
    void ReceiveAnnounces(SOCKET socket);
    void Announce();
    void WatchConnects();
    void PingThread(tPing& ping, CThread& self);

    const tDiscoveryOptions m_options;
    IHostListener* const m_listener;
    const std::vector<tInterfaceEntry> m_interfaces;
    const tCancelFlag& m_shuttingDown;

    raii::CCriticalSection m_lock;
    std::list<std::unique_ptr<tPing>> m_pings;     // guarded: the ping table
    std::list<std::unique_ptr<tPing>> m_forgotten; // guarded: removed by hand, ending
    bool m_stopped = false;                        // guarded
    DWORD m_lastFullTrace = GetTickCount() - 60000; // guarded
    std::atomic<bool> m_listening{false};
    raii::CHandle m_reap; // a ping thread has ended
    CThread m_broadcast;
};
