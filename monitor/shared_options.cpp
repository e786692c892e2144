#include "monitor/shared_options.h"

#include <ws2tcpip.h>

#include <stdio.h>

#include "common/trace.h"
#include "monitor/options_codec.h"
#include "monitor/plugin.h"

namespace {

const DWORD kWaitMs = 100;
const DWORD kBroadcastSpacingMs = 1000;
// How often a port in use is tried again.
const DWORD kRebindMs = 10000;

// Deadlines of the workers. A LAN peer connects in milliseconds and sends a text of a few
// kilobytes at once; these leave room for a busy one and bound what a hostile one can hold.
const DWORD kConnectLimitMs = 500;
const DWORD kFirstByteMs = 100;
const DWORD kFetchLimitMs = 3000;
const DWORD kServeLimitMs = 3000;

// Workers and queues. A monitor has a handful of peers; the bounds are for those that are not.
const size_t kFetchWorkers = 4;
const size_t kFetchQueue = 32;
// Peers whose last fetch brought a text have workers of their own: a flood of senders that
// do not exist or do not answer fills only the queue of the unknown.
const size_t kKnownFetchWorkers = 2;
const size_t kKnownPeers = 256;
const size_t kRequestWorkers = 4;
const size_t kRequestQueue = 16;
const int kRequestsPerPeer = 2;
// One fetch per sender per second; a sender that proclaims faster is fetched from once more
// when its second is up.
const uint32_t kFetchIntervalMs = 1000;
const size_t kRememberedSenders = 1024;
// Work per turn of the options thread, so that a flood still lets it broadcast and stop.
const int kDatagramsPerTurn = 64;
const int kAcceptsPerTurn = 16;

std::string Dotted(uint32_t address)
{
    in_addr a;
    a.s_addr = address;
    return inet_ntoa(a);
}

bool Bind(SOCKET socket, uint32_t address, unsigned short port)
{
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = address;
    local.sin_port = htons(port);
    return bind(socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

unsigned short LocalPort(SOCKET socket)
{
    sockaddr_in local = {};
    int size = sizeof local;
    if (socket == INVALID_SOCKET || getsockname(socket, reinterpret_cast<sockaddr*>(&local), &size) != 0)
        return 0;
    return ntohs(local.sin_port);
}

bool DefaultInterfaces(std::vector<tInterfaceEntry>& list)
{
    return EnumerateInterfaces(list, false, false, 16, 16);
}

// A connection that failed its deadline is reset rather than closed gracefully: the system
// would otherwise keep trying to deliver the rest to a peer that does not read.
void Abort(raii::CSocket& connection)
{
    linger hard = {1, 0};
    setsockopt(connection.Get(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
    connection.Close();
}

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

COptionsService::COptionsService(IOptionsHost& host, tOptionsEndpoints endpoints)
    : m_host(host), m_endpoints(std::move(endpoints)), m_requests(kRequestQueue), m_fetches(kFetchQueue),
      m_knownFetches(kFetchQueue),
      m_schedule(kFetchIntervalMs, kRememberedSenders)
{
    if (!m_endpoints.interfaces)
        m_endpoints.interfaces = DefaultInterfaces;
}

COptionsService::~COptionsService()
{
    Stop();
}

unsigned short COptionsService::LocalProclamationPort() const
{
    return m_udpBound ? LocalPort(m_udp.Get()) : 0;
}

unsigned short COptionsService::LocalRequestPort() const
{
    return m_tcpBound ? LocalPort(m_tcp.Get()) : 0;
}

void COptionsService::BindSockets()
{
    m_lastBindAttempt = GetTickCount();
    if (!m_udpBound) {
        if (!m_udp)
            m_udp.Attach(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
        m_udpBound = m_udp && Bind(m_udp.Get(), m_endpoints.bindAddress, m_endpoints.proclamationPort) &&
                     WSAEventSelect(m_udp.Get(), m_udpEvent.Get(), FD_READ) == 0;
        if (m_udp && !m_udpBound)
            Trace("[shared options] port %u is in use: proclamations cannot be heard, trying again later\n",
                  m_endpoints.proclamationPort);
    }
    if (!m_tcpBound) {
        if (!m_tcp)
            m_tcp.Attach(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        m_tcpBound = m_tcp && Bind(m_tcp.Get(), m_endpoints.bindAddress, m_endpoints.requestPort) &&
                     listen(m_tcp.Get(), 5) == 0 && WSAEventSelect(m_tcp.Get(), m_tcpEvent.Get(), FD_ACCEPT) == 0;
        if (m_tcp && !m_tcpBound)
            Trace("[shared options] port %u is in use: requests cannot be answered, trying again later\n",
                  m_endpoints.requestPort);
    }
}

void COptionsService::Start()
{
    if (m_thread.IsRunning())
        return;
    srand(GetTickCount());
    m_udpEvent.Attach(WSACreateEvent());
    m_tcpEvent.Attach(WSACreateEvent());
    BindSockets();
    m_deadlines.Start();
    m_requests.Start(kRequestWorkers, [this](tRequest& request) { Serve(request); });
    m_fetches.Start(kFetchWorkers, [this](uint32_t& peer) { Fetch(peer); });
    m_knownFetches.Start(kKnownFetchWorkers, [this](uint32_t& peer) { Fetch(peer); });
    m_thread.Start([this](CThread& self) { Run(self); });
}

void COptionsService::Stop()
{
    // Workers inside a send or receive end within a slice once their flags are set; a worker
    // inside a plug-in call finishes it. Only then do the sockets go.
    m_deadlines.CancelAll();
    m_thread.Stop();
    m_requests.Stop();
    m_fetches.Stop();
    m_knownFetches.Stop();
    m_deadlines.Stop();
    m_udp.Close();
    m_tcp.Close();
    m_udpBound = false;
    m_tcpBound = false;
    m_udpEvent.Close();
    m_tcpEvent.Close();
}

bool COptionsService::IsOwnAddress(uint32_t address) const
{
    for (const tInterfaceEntry& entry : m_interfaces)
        if (entry.address == address)
            return true;
    return false;
}

void COptionsService::ReceiveProclamations()
{
    uint8_t data[kMaxProclamation];
    for (int i = 0; i < kDatagramsPerTurn; ++i) {
        sockaddr_in sender = {};
        int size = sizeof sender;
        int count = recvfrom(m_udp.Get(), reinterpret_cast<char*>(data), sizeof data, 0,
                             reinterpret_cast<sockaddr*>(&sender), &size);
        if (count < 0 && WSAGetLastError() == WSAEWOULDBLOCK)
            return;
        // Errors of one datagram (too long, an ICMP report of an earlier send) end nothing.
        if (count < 1)
            continue;
        OnProclamation(data, static_cast<size_t>(count), sender.sin_addr.s_addr);
    }
}

void COptionsService::OnProclamation(const uint8_t* data, size_t length, uint32_t sender)
{
    if (IsOwnAddress(sender))
        return;
    std::vector<std::string> parts = SplitProclamation(data, length);
    // Only a proclamation asks for a request: other datagrams on the port are not ours.
    if (parts.size() < 2 || parts[0] != kProclamationTag)
        return;
    std::string from = Dotted(sender);
    Trace("[shared options] received proclamation from %s\n", from.c_str());
    if (parts.size() >= 3) {
        // Ids are short decimal numbers; a longer text is kept only in part.
        std::string id = parts[1].substr(0, 16);
        auto known = m_peers.find(sender);
        if (known != m_peers.end() && known->second == id) {
            Trace("[shared options] proclamation ID %s repeated, ignoring\n", id.c_str());
            return;
        }
        Trace("[shared options] proclamation ID %s is new, inserting\n", id.c_str());
        // One entry per sender: a flood of spoofed senders would grow it without end.
        if (m_peers.size() >= 4096)
            m_peers.clear();
        m_peers[sender] = id;
    }
    RequestFetch(sender);
}

void COptionsService::RequestFetch(uint32_t sender)
{
    raii::CLock lock(m_lock);
    CFetchSchedule::tDecision decision = m_schedule.Request(sender, GetTickCount());
    lock.Unlock();
    if (decision == CFetchSchedule::kFetchNow)
        QueueFetch(sender);
    else if (decision == CFetchSchedule::kFolded)
        Trace("[shared options] a fetch from %s is under way or recent, fetching once more later\n",
              Dotted(sender).c_str());
    else
        Trace("[shared options] too many senders, proclamation from %s dropped\n", Dotted(sender).c_str());
}

void COptionsService::QueueFetch(uint32_t sender)
{
    Trace("[shared options] requesting shared options from %s\n", Dotted(sender).c_str());
    raii::CLock lock(m_lock);
    bool known = m_known.count(sender) != 0;
    lock.Unlock();
    if ((known && m_knownFetches.Push(sender)) || m_fetches.Push(sender))
        return;
    Trace("[shared options] too many fetches waiting, the one from %s follows later\n", Dotted(sender).c_str());
    raii::CLock again(m_lock);
    m_schedule.Postpone(sender);
}

void COptionsService::Fetch(uint32_t peer)
{
    bool fetched = GetSharedOptions(peer);
    raii::CLock lock(m_lock);
    m_schedule.Finished(peer);
    if (!fetched)
        m_known.erase(peer);
    else if (m_known.size() < kKnownPeers)
        m_known.insert(peer);
}

bool COptionsService::GetSharedOptions(uint32_t peer)
{
    TraceHere("getting shared options from %s\n", Dotted(peer).c_str());
    raii::CSocket connection(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!connection || !SetBlocking(connection.Get(), false))
        return false;
    bool connected;
    {
        tCancelFlag cancel{false};
        CDeadline deadline(m_deadlines, cancel, kConnectLimitMs);
        connected = ConnectWithRetry(connection.Get(), peer, m_endpoints.peerRequestPort, 1, cancel);
    }
    if (!connected) {
        Abort(connection);
        return false;
    }
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(connection.Get(), &readable);
    timeval wait = {0, static_cast<long>(kFirstByteMs * 1000)};
    if (select(0, &readable, nullptr, nullptr, &wait) <= 0) {
        Abort(connection);
        return false;
    }
    std::string text;
    bool received;
    {
        tCancelFlag cancel{false};
        CDeadline deadline(m_deadlines, cancel, kFetchLimitMs);
        received = ReceiveFramedString(connection.Get(), text, cancel, kMaxOptionsText);
    }
    if (!received) {
        Abort(connection);
        return false;
    }
    connection.Close();
    TraceHere("read options were \"%s\"\n", text.c_str());
    m_host.DispatchShareableOptions(text);
    return true;
}

void COptionsService::AcceptRequests()
{
    for (int i = 0; i < kAcceptsPerTurn; ++i) {
        sockaddr_in address = {};
        int size = sizeof address;
        raii::CSocket connection(accept(m_tcp.Get(), reinterpret_cast<sockaddr*>(&address), &size));
        if (!connection)
            return;
        // An accepted socket inherits the listener's event; the worker's sends choose their own.
        WSAEventSelect(connection.Get(), nullptr, 0);
        uint32_t peer = address.sin_addr.s_addr;
        raii::CLock lock(m_lock);
        int& serving = m_serving[peer];
        if (serving >= kRequestsPerPeer) {
            lock.Unlock();
            Trace("[shared options] %s has requests under way already, connection closed\n", Dotted(peer).c_str());
            Abort(connection);
            continue;
        }
        ++serving;
        lock.Unlock();
        if (!m_requests.Push(tRequest{std::move(connection), peer})) {
            Trace("[shared options] too many requests waiting, connection from %s closed\n", Dotted(peer).c_str());
            raii::CLock again(m_lock);
            if (--m_serving[peer] <= 0)
                m_serving.erase(peer);
        }
    }
}

void COptionsService::Serve(tRequest& request)
{
    Trace("[shared options] satisfying shared options request\n");
    std::string text = m_host.BuildSharedOptions();
    bool sent;
    {
        tCancelFlag cancel{false};
        CDeadline deadline(m_deadlines, cancel, kServeLimitMs);
        sent = SetBlocking(request.connection.Get(), false) &&
               SendFramed(request.connection.Get(), text.data(), nullptr, static_cast<int64_t>(text.size()), 0,
                          cancel, nullptr);
    }
    if (sent)
        request.connection.Close();
    else
        Abort(request.connection);
    raii::CLock lock(m_lock);
    if (--m_serving[request.peer] <= 0)
        m_serving.erase(request.peer);
}

void COptionsService::Broadcast()
{
    int id = m_host.ProclamationId();
    if (id != m_lastId) {
        Trace("[shared options] broadcasting was kickstarted\n");
        m_lastId = id;
        m_broadcastsLeft = 3;
        m_lastBroadcast = GetTickCount() - kBroadcastSpacingMs;
        m_endpoints.interfaces(m_interfaces);
    }
    if (m_broadcastsLeft > 0 && GetTickCount() - m_lastBroadcast >= kBroadcastSpacingMs) {
        printf("[shared options] sending broadcast (%d, %d)\n", m_broadcastsLeft, m_lastId);
        fflush(stdout);
        --m_broadcastsLeft;
        m_lastBroadcast += kBroadcastSpacingMs;
        std::string datagram = BuildProclamation(m_lastId);
        for (const tInterfaceEntry& entry : m_interfaces)
            SendDatagram(m_endpoints.peerProclamationPort, datagram.c_str(), datagram.size() + 1, entry.broadcast);
    }
}

void COptionsService::Run(CThread& self)
{
    while (!self.StopRequested()) {
        if ((!m_udpBound || !m_tcpBound) && GetTickCount() - m_lastBindAttempt >= kRebindMs)
            BindSockets();
        HANDLE waits[3] = {self.StopEvent()};
        DWORD count = 1;
        if (m_udpBound)
            waits[count++] = m_udpEvent.Get();
        if (m_tcpBound)
            waits[count++] = m_tcpEvent.Get();
        if (WaitForMultipleObjects(count, waits, FALSE, kWaitMs) == WAIT_OBJECT_0)
            break;
        // Both sockets are non-blocking: reading one that has nothing costs one call.
        if (m_udpBound) {
            WSAResetEvent(m_udpEvent.Get());
            ReceiveProclamations();
        }
        if (m_tcpBound) {
            WSAResetEvent(m_tcpEvent.Get());
            AcceptRequests();
        }
        raii::CLock lock(m_lock);
        std::vector<uint32_t> due = m_schedule.Due(GetTickCount());
        lock.Unlock();
        for (uint32_t sender : due)
            QueueFetch(sender);
        Broadcast();
    }
}
