#include "monitor/shared_options.h"

#include <ws2tcpip.h>

#include <stdio.h>

#include "common/trace.h"
#include "monitor/options_codec.h"
#include "monitor/plugin.h"

namespace {

const DWORD kWaitMs = 100;
const DWORD kBroadcastSpacingMs = 1000;
// How long a fetch may take in all, and how often a port in use is tried again.
const DWORD kFetchLimitMs = 5000;
const DWORD kRebindMs = 10000;

std::string Dotted(uint32_t address)
{
    in_addr a;
    a.s_addr = address;
    return inet_ntoa(a);
}

bool Bind(SOCKET socket, unsigned short port)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    return bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

// Sets a cancel flag when the time is up, so that a receive with a cancel flag ends then.
class CDeadline {
public:
    CDeadline(tCancelFlag& flag, DWORD milliseconds) : m_flag(flag), m_milliseconds(milliseconds)
    {
        m_thread.Attach(CreateThread(nullptr, 0, Thread, this, 0, nullptr));
    }
    ~CDeadline()
    {
        SetEvent(m_done.Get());
        if (m_thread)
            WaitForSingleObject(m_thread.Get(), INFINITE);
    }

private:
    static DWORD WINAPI Thread(void* parameter)
    {
        auto self = static_cast<CDeadline*>(parameter);
        if (WaitForSingleObject(self->m_done.Get(), self->m_milliseconds) == WAIT_TIMEOUT)
            self->m_flag = true;
        return 0;
    }
    tCancelFlag& m_flag;
    DWORD m_milliseconds;
    raii::CHandle m_done{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    raii::CHandle m_thread;
};

} // namespace

void DispatchOptionsToPlugins(const std::string& text, bool enabled, const std::vector<CPlugin*>& plugins)
{
    if (!enabled) {
        TraceHere("shared options disabled. Options discarded.\n");
        return;
    }
    TraceHere("dispatching received options: %s\n", text.c_str());
    for (const auto& entry : SplitOptionsText(text)) {
        std::string plain;
        if (!DecryptOptions(kOptionsKey, entry.second, plain)) {
            TraceHere("you seem to be using the wrong shared options key! Options discarded.\n");
            continue;
        }
        for (CPlugin* plugin : plugins)
            if (plugin->GetName() == entry.first) {
                TraceHere("now setting shared options for module %s\n", entry.first.c_str());
                plugin->SetShareableOptions(plain);
            }
    }
}

std::string BuildOptionsOfPlugins(const std::vector<CPlugin*>& plugins)
{
    std::vector<std::pair<std::string, std::string>> options;
    for (CPlugin* plugin : plugins)
        options.emplace_back(plugin->GetName(), plugin->GetShareableOptions());
    return BuildOptionsText(options, kOptionsKey);
}

bool ReceiveOptionsText(SOCKET socket, std::string& out, DWORD milliseconds)
{
    tCancelFlag cancel{false};
    CDeadline deadline(cancel, milliseconds);
    return ReceiveFramedString(socket, out, cancel, kMaxOptionsText);
}

COptionsService::COptionsService(IOptionsHost& host) : m_host(host) {}

COptionsService::~COptionsService()
{
    Stop();
}

void COptionsService::BindSockets()
{
    m_lastBindAttempt = GetTickCount();
    if (!m_udpBound) {
        if (!m_udp)
            m_udp.Attach(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
        m_udpBound = m_udp && Bind(m_udp.Get(), kProclamationPort);
        if (m_udp && !m_udpBound)
            Trace("[shared options] port %u is in use: proclamations cannot be heard, trying again later\n",
                  kProclamationPort);
    }
    if (!m_tcpBound) {
        if (!m_tcp)
            m_tcp.Attach(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        m_tcpBound = m_tcp && Bind(m_tcp.Get(), kOptionsRequestPort) && listen(m_tcp.Get(), 5) == 0;
        if (m_tcp && !m_tcpBound)
            Trace("[shared options] port %u is in use: requests cannot be answered, trying again later\n",
                  kOptionsRequestPort);
    }
}

void COptionsService::Start()
{
    srand(GetTickCount());
    BindSockets();
    m_stop = false;
    m_thread.Attach(CreateThread(nullptr, 0, Thread, this, 0, nullptr));
}

void COptionsService::Stop()
{
    if (!m_thread)
        return;
    m_stop = true;
    m_udp.Close();
    m_tcp.Close();
    WaitForSingleObject(m_thread.Get(), INFINITE);
    m_thread.Close();
}

DWORD WINAPI COptionsService::Thread(void* parameter)
{
    static_cast<COptionsService*>(parameter)->Run();
    return 0;
}

bool COptionsService::IsOwnAddress(uint32_t address) const
{
    for (const tInterfaceEntry& entry : m_interfaces)
        if (entry.address == address)
            return true;
    return false;
}

void COptionsService::OnProclamation()
{
    uint8_t data[kMaxProclamation];
    sockaddr_in sender = {};
    int size = sizeof sender;
    int count = recvfrom(m_udp.Get(), reinterpret_cast<char*>(data), sizeof data, 0,
                         reinterpret_cast<sockaddr*>(&sender), &size);
    if (count < 1 || IsOwnAddress(sender.sin_addr.s_addr))
        return;
    std::vector<std::string> parts = SplitProclamation(data, static_cast<size_t>(count));
    // Only a proclamation asks for a request: other datagrams on the port are not ours.
    if (parts.size() < 2 || parts[0] != kProclamationTag)
        return;
    std::string from = Dotted(sender.sin_addr.s_addr);
    Trace("[shared options] received proclamation from %s\n", from.c_str());
    if (parts.size() >= 3) {
        // Ids are short decimal numbers; a longer text is kept only in part.
        std::string id = parts[1].substr(0, 16);
        auto known = m_peers.find(sender.sin_addr.s_addr);
        if (known != m_peers.end() && known->second == id) {
            Trace("[shared options] proclamation ID %s repeated, ignoring\n", id.c_str());
            return;
        }
        Trace("[shared options] proclamation ID %s is new, inserting\n", id.c_str());
        // The map holds one entry per peer: a flood of senders is bounded by the address space
        // of the LAN, but not a wider one.
        if (m_peers.size() >= 4096)
            m_peers.clear();
        m_peers[sender.sin_addr.s_addr] = id;
    }
    Trace("[shared options] requesting shared options from %s\n", from.c_str());
    GetSharedOptions(sender.sin_addr.s_addr);
}

void COptionsService::GetSharedOptions(uint32_t peer)
{
    TraceHere("getting shared options from %s\n", Dotted(peer).c_str());
    raii::CSocket connection(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!connection)
        return;
    // A blocking connect would wait for the system's time-out on a peer that is gone.
    tCancelFlag cancel{false};
    {
        CDeadline deadline(cancel, 1000);
        if (!SetBlocking(connection.Get(), false) ||
            !ConnectWithRetry(connection.Get(), peer, kOptionsRequestPort, 1, cancel))
            return;
    }
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(connection.Get(), &readable);
    timeval wait = {0, static_cast<long>(kWaitMs * 1000)};
    if (select(0, &readable, nullptr, nullptr, &wait) <= 0)
        return;
    std::string text;
    if (!ReceiveOptionsText(connection.Get(), text, kFetchLimitMs))
        return;
    TraceHere("read options were \"%s\"\n", text.c_str());
    m_host.DispatchShareableOptions(text);
}

void COptionsService::OnRequest()
{
    raii::CSocket connection(accept(m_tcp.Get(), nullptr, nullptr));
    if (!connection)
        return;
    Trace("[shared options] satisfying shared options request\n");
    std::string text = m_host.BuildSharedOptions();
    tCancelFlag cancel{false};
    CDeadline deadline(cancel, kFetchLimitMs);
    SetBlocking(connection.Get(), false);
    SendFramed(connection.Get(), text.data(), nullptr, static_cast<int64_t>(text.size()), 0, cancel, nullptr);
}

void COptionsService::Broadcast()
{
    int id = m_host.ProclamationId();
    if (id != m_lastId) {
        Trace("[shared options] broadcasting was kickstarted\n");
        m_lastId = id;
        m_broadcastsLeft = 3;
        m_lastBroadcast = GetTickCount() - kBroadcastSpacingMs;
        EnumerateInterfaces(m_interfaces, false, false, 16, 16);
    }
    if (m_broadcastsLeft > 0 && GetTickCount() - m_lastBroadcast >= kBroadcastSpacingMs) {
        printf("[shared options] sending broadcast (%d, %d)\n", m_broadcastsLeft, m_lastId);
        fflush(stdout);
        --m_broadcastsLeft;
        m_lastBroadcast += kBroadcastSpacingMs;
        std::string datagram = BuildProclamation(m_lastId);
        for (const tInterfaceEntry& entry : m_interfaces)
            SendDatagram(kProclamationPort, datagram.c_str(), datagram.size() + 1, entry.broadcast);
    }
}

void COptionsService::Run()
{
    while (!m_stop) {
        if ((!m_udpBound || !m_tcpBound) && GetTickCount() - m_lastBindAttempt >= kRebindMs)
            BindSockets();
        fd_set readable;
        FD_ZERO(&readable);
        if (m_udpBound)
            FD_SET(m_udp.Get(), &readable);
        if (m_tcpBound)
            FD_SET(m_tcp.Get(), &readable);
        timeval wait = {0, static_cast<long>(kWaitMs * 1000)};
        int ready = readable.fd_count ? select(0, &readable, nullptr, nullptr, &wait) : (Sleep(kWaitMs), 0);
        if (m_stop)
            break;
        if (ready < 0) {
            Sleep(kWaitMs); // a socket went away; the stop flag says whether to end
            continue;
        }
        if (ready > 0 && m_udpBound && FD_ISSET(m_udp.Get(), &readable))
            OnProclamation();
        if (ready > 0 && m_tcpBound && FD_ISSET(m_tcp.Get(), &readable))
            OnRequest();
        Broadcast();
    }
}
