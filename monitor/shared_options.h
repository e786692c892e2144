// The shared options service of a monitor: proclaims changed options by UDP broadcast (three
// times, one second apart), answers requests for its options over TCP, and fetches, decrypts
// and dispatches the options of peers whose proclamations it hears.
//
// The options thread only listens, accepts and broadcasts; it never waits on a peer. Requests
// and fetches go to two small bounded work queues whose sends and receives all have deadlines,
// so a slow or hostile peer holds at most one worker for a few seconds, never the others:
// - a sender is fetched from once at a time and at most once a second (CFetchSchedule); what it
//   proclaims meanwhile is folded into one later fetch;
// - peers whose last fetch brought a text have two workers of their own, so that senders that
//   do not exist or do not answer (spoofed proclamations) cannot crowd them out;
// - one address gets at most two requests served at a time; a full queue closes new ones;
// - an options text is believed up to 1 MiB and 32 entries.
// The monitor reaches it through IOptionsHost, whose calls come from the workers, several at a
// time.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <stdint.h>

#include <atomic>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/deadline.h"
#include "common/raii.h"
#include "common/sockets.h"
#include "common/thread.h"
#include "common/work_queue.h"
#include "monitor/fetch_schedule.h"
#include "monitor/options_text.h"

class IOptionsHost {
public:
    virtual std::string BuildSharedOptions() = 0;
    virtual void DispatchShareableOptions(const std::string& text) = 0;
    virtual int ProclamationId() = 0;

protected:
    ~IOptionsHost() = default;
};

// Where the service listens and where it reaches its peers. The defaults are the exchange's
// ports on all local addresses; tests and benchmarks give each instance loopback addresses and
// ports of their own (0 lets the system choose a port to listen on).
struct tOptionsEndpoints {
    uint32_t bindAddress = 0; // network byte order; 0 is every local address
    unsigned short proclamationPort = kProclamationPort;
    unsigned short requestPort = kOptionsRequestPort;
    unsigned short peerProclamationPort = kProclamationPort;
    unsigned short peerRequestPort = kOptionsRequestPort;
    // The own interfaces, whose broadcast addresses are proclaimed to and whose datagrams are
    // ignored; by default the interfaces that are up and not loopback.
    std::function<bool(std::vector<tInterfaceEntry>&)> interfaces;
};

class COptionsService {
public:
    explicit COptionsService(IOptionsHost& host, tOptionsEndpoints endpoints = tOptionsEndpoints());
    ~COptionsService();
    COptionsService(const COptionsService&) = delete;
    COptionsService& operator=(const COptionsService&) = delete;

    void Start();
    // Ends the socket loops of the workers, joins every thread, then closes the sockets.
    void Stop();

    // Fetches a peer's options (address in network order) and dispatches them, on the calling
    // thread, with the deadlines of a worker; only while the service runs. True when a whole
    // options text came.
    bool GetSharedOptions(uint32_t peer);
    bool ProclamationsBound() const { return m_udpBound; }
    bool RequestsBound() const { return m_tcpBound; }
    // The ports actually listened on (those chosen by the system when 0 was asked for).
    unsigned short LocalProclamationPort() const;
    unsigned short LocalRequestPort() const;

private:
    struct tRequest {
        raii::CSocket connection;
        uint32_t peer;
    };

    void Run(CThread& self);
    void BindSockets();
    void ReceiveProclamations();
    void OnProclamation(const uint8_t* data, size_t length, uint32_t sender);
    void RequestFetch(uint32_t sender);
    void QueueFetch(uint32_t sender);
    void AcceptRequests();
    void Serve(tRequest& request);
    void Fetch(uint32_t peer);
    void Broadcast();
    bool IsOwnAddress(uint32_t address) const;

    IOptionsHost& m_host;
    tOptionsEndpoints m_endpoints;
    raii::CSocket m_udp;
    raii::CSocket m_tcp;
    raii::CHandle m_udpEvent;
    raii::CHandle m_tcpEvent;
    std::atomic<bool> m_udpBound{false};
    std::atomic<bool> m_tcpBound{false};
    DWORD m_lastBindAttempt = 0;

    CThread m_thread;
    CDeadlineTimer m_deadlines;
    CWorkQueue<tRequest> m_requests;
    CWorkQueue<uint32_t> m_fetches;
    CWorkQueue<uint32_t> m_knownFetches;

    // shared by the options thread and the workers
    raii::CCriticalSection m_lock;
    CFetchSchedule m_schedule;
    std::map<uint32_t, int> m_serving; // requests queued or being served, per address
    std::set<uint32_t> m_known;        // peers whose last fetch brought a whole text

    // the options thread's own state
    std::vector<tInterfaceEntry> m_interfaces;
    std::map<uint32_t, std::string> m_peers;
    int m_lastId = -1;
    int m_broadcastsLeft = 0;
    DWORD m_lastBroadcast = 0;
};

class CPlugin;

// Hands every entry of a peer's options text that decrypts cleanly to the plug-ins of that
// name; nothing when the exchange is switched off.
void DispatchOptionsToPlugins(const std::string& text, bool enabled, const std::vector<CPlugin*>& plugins);
// The options text this monitor serves: its plug-ins' shareable options, encrypted.
std::string BuildOptionsOfPlugins(const std::vector<CPlugin*>& plugins);
