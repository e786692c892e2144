// The shared options service of a monitor: proclaims changed options by UDP broadcast (three
// times, one second apart), answers requests for its options over TCP, and fetches, decrypts
// and dispatches the options of peers whose proclamations it hears. One thread does all the
// socket work; the monitor reaches it through IOptionsHost.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <stdint.h>

#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "common/raii.h"
#include "common/sockets.h"

class IOptionsHost {
public:
    virtual std::string BuildSharedOptions() = 0;
    virtual void DispatchShareableOptions(const std::string& text) = 0;
    virtual int ProclamationId() = 0;

protected:
    ~IOptionsHost() = default;
};

class COptionsService {
public:
    explicit COptionsService(IOptionsHost& host);
    ~COptionsService();
    COptionsService(const COptionsService&) = delete;
    COptionsService& operator=(const COptionsService&) = delete;

    void Start();
    void Stop();

    // Fetches a peer's options (address in network order) and dispatches them.
    void GetSharedOptions(uint32_t peer);
    bool ProclamationsBound() const { return m_udp.IsValid() && m_udpBound; }
    bool RequestsBound() const { return m_tcp.IsValid() && m_tcpBound; }

private:
    static DWORD WINAPI Thread(void* parameter);
    void Run();
    void BindSockets();
    void OnProclamation();
    void OnRequest();
    void Broadcast();
    bool IsOwnAddress(uint32_t address) const;

    IOptionsHost& m_host;
    raii::CSocket m_udp;
    raii::CSocket m_tcp;
    bool m_udpBound = false;
    bool m_tcpBound = false;
    DWORD m_lastBindAttempt = 0;
    std::atomic<bool> m_stop{false};
    raii::CHandle m_thread;

    // the thread's own state
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

// Receives one framed text within an overall time: a peer that trickles its bytes cannot hold
// the options thread for longer.
bool ReceiveOptionsText(SOCKET socket, std::string& out, DWORD milliseconds);
