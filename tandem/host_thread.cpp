#include "tandem/host_thread.h"

#include <string.h>

#include <vector>

#include "common/trace.h"

namespace {

const int kAnnounceBuffer = 256;
// Datagrams taken per turn, so that a flood cannot keep the thread from announcing.
const int kDatagramsPerTurn = 256;
const DWORD kFullTraceMs = 10000;

} // namespace

struct CHostThread::tPing {
    uint32_t address = 0;
    HostKind kind = HOST_ANNOUNCED;
    tCancelFlag cancel{false};
    std::atomic<bool> connected{false};
    DWORD started = 0;
    // Guarded: host appeared has been raised, so host disappeared may follow.
    bool delivered = false;
    std::atomic<bool> ended{false};
    CThread thread;
};

CHostThread::CHostThread(IHostListener* listener, const std::vector<tInterfaceEntry>& interfaces,
                         const tCancelFlag& shuttingDown, const tDiscoveryOptions& options)
    : m_options(options),
      m_listener(listener),
      m_interfaces(interfaces),
      m_shuttingDown(shuttingDown),
      m_reap(CreateEventA(nullptr, FALSE, FALSE, nullptr))
{
    TraceVerbose("entering\n");
    m_broadcast.Start([this](CThread& self) { BroadcastThread(self); });
}

CHostThread::~CHostThread()
{
    Stop();
}

void CHostThread::HostSeen(uint32_t address, const std::string& name, HostKind kind)
{
    TraceVerbose("entering\n");
    tPing* started;
    {
        raii::CLock lock(m_lock);
        if (m_stopped)
            return;
        size_t announced = 0;
        for (const auto& ping : m_pings) {
            if (ping->address == address)
                return;
            if (ping->kind == HOST_ANNOUNCED)
                ++announced;
        }
        if (kind == HOST_ANNOUNCED && announced >= m_options.announcedHosts) {
            // Said once in a while: a flood of announces must not become a flood of lines.
            if (GetTickCount() - m_lastFullTrace > kFullTraceMs) {
                m_lastFullTrace = GetTickCount();
                TraceHere("%s announced itself, but %u hosts are tracked already: ignored\n",
                          FormatAddress(address).c_str(), static_cast<unsigned>(announced));
            }
            return;
        }
        auto ping = std::make_unique<tPing>();
        ping->address = address;
        ping->kind = kind;
        ping->started = GetTickCount();
        started = ping.get();
        m_pings.push_back(std::move(ping));
        if (!started->thread.Start([this, started](CThread& self) { PingThread(*started, self); })) {
            m_pings.pop_back();
            return;
        }
    }
    if (m_listener)
        m_listener->HostAppeared(address, name, kind);
    raii::CLock lock(m_lock);
    for (auto& ping : m_pings)
        if (ping.get() == started)
            ping->delivered = true;
}

void CHostThread::ForgetHost(uint32_t address)
{
    TraceVerbose("entering\n");
    bool removed = false;
    {
        raii::CLock lock(m_lock);
        for (auto it = m_pings.begin(); it != m_pings.end(); ++it)
            if ((*it)->address == address) {
                // No longer tracked: its thread ends now and is joined by the next reap.
                (*it)->cancel = true;
                (*it)->thread.RequestStop();
                m_forgotten.push_back(std::move(*it));
                m_pings.erase(it);
                removed = true;
                break;
            }
    }
    SetEvent(m_reap.Get());
    if (removed && m_listener)
        m_listener->HostDisappeared(address);
}

void CHostThread::Reap()
{
    std::vector<uint32_t> gone;
    std::vector<std::unique_ptr<tPing>> ended;
    {
        raii::CLock lock(m_lock);
        for (auto it = m_pings.begin(); it != m_pings.end();) {
            if ((*it)->ended && (*it)->delivered) {
                gone.push_back((*it)->address);
                ended.push_back(std::move(*it));
                it = m_pings.erase(it);
            } else {
                ++it;
            }
        }
        for (auto it = m_forgotten.begin(); it != m_forgotten.end();) {
            if ((*it)->ended) {
                ended.push_back(std::move(*it));
                it = m_forgotten.erase(it);
            } else {
                ++it;
            }
        }
    }
    ended.clear();
    if (m_shuttingDown.load() || !m_listener)
        return;
    for (uint32_t address : gone)
        m_listener->HostDisappeared(address);
}

void CHostThread::Stop()
{
    TraceVerbose("entering\n");
    m_broadcast.StopAnsweringSentMessages();
    std::list<std::unique_ptr<tPing>> all;
    {
        raii::CLock lock(m_lock);
        m_stopped = true;
        all.splice(all.end(), m_pings);
        all.splice(all.end(), m_forgotten);
        for (auto& ping : all) {
            ping->cancel = true;
            ping->thread.RequestStop();
        }
    }
    for (auto& ping : all)
        ping->thread.StopAnsweringSentMessages();
}

size_t CHostThread::GetTrackedCount()
{
    raii::CLock lock(m_lock);
    return m_pings.size();
}

bool CHostThread::IsTracked(uint32_t address)
{
    raii::CLock lock(m_lock);
    for (const auto& ping : m_pings)
        if (ping->address == address)
            return true;
    return false;
}

void CHostThread::BroadcastThread(CThread& self)
{
    raii::CHandle network(WSACreateEvent());
    raii::CSocket udp(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (!udp || !network)
        return;
    BOOL allow = TRUE;
    setsockopt(udp.Get(), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&allow), sizeof allow);
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(m_options.announcePort);
    // Without the port this host still announces itself; it only does not hear the others.
    if (bind(udp.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 &&
        WSAEventSelect(udp.Get(), network.Get(), FD_READ) == 0)
        m_listening = true;
    else
        TraceHere("port %u cannot be bound: announces of other hosts are not heard\n", m_options.announcePort);

    DWORD lastAnnounce = GetTickCount() - m_options.announceMs;
    while (!m_shuttingDown.load() && !self.StopRequested()) {
        DWORD since = GetTickCount() - lastAnnounce;
        if (since >= m_options.announceMs) {
            Announce();
            lastAnnounce = GetTickCount();
            since = 0;
        }
        HANDLE handles[] = {network.Get(), m_reap.Get(), self.StopEvent()};
        DWORD result = WaitForMultipleObjects(3, handles, FALSE, m_options.announceMs - since);
        if (result == WAIT_OBJECT_0 + 2)
            break;
        if (m_listening) {
            WSAResetEvent(network.Get());
            ReceiveAnnounces(udp.Get());
        }
        WatchConnects();
        Reap();
    }
    m_listening = false;
}

void CHostThread::ReceiveAnnounces(SOCKET socket)
{
    for (int i = 0; i < kDatagramsPerTurn; ++i) {
        char buffer[kAnnounceBuffer + 1];
        sockaddr_in from = {};
        int size = sizeof from;
        int count = recvfrom(socket, buffer, kAnnounceBuffer, 0, reinterpret_cast<sockaddr*>(&from), &size);
        if (count < 0) {
            int error = WSAGetLastError();
            if (error == WSAEMSGSIZE)
                count = kAnnounceBuffer; // a longer datagram: its beginning is what counts
            else if (error == WSAECONNRESET)
                continue;
            else
                return;
        }
        buffer[count] = '\0';
        bool own = false;
        for (const tInterfaceEntry& entry : m_interfaces)
            if (entry.address == from.sin_addr.s_addr)
                own = true;
        if (own)
            continue;
        if (strncmp(buffer, kAnnounceWord, strlen(kAnnounceWord)) == 0)
            HostSeen(from.sin_addr.s_addr, std::string(), HOST_ANNOUNCED);
        else
            TraceHere("received unknown broadcast\n");
    }
}

void CHostThread::Announce()
{
    for (const tInterfaceEntry& entry : m_interfaces)
        if (entry.address != 0)
            SendDatagram(m_options.announcePort, kAnnounceWord, entry.broadcast);
}

void CHostThread::WatchConnects()
{
    DWORD now = GetTickCount();
    raii::CLock lock(m_lock);
    for (auto& ping : m_pings)
        if (!ping->connected && !ping->cancel && now - ping->started > m_options.connectMs)
            ping->cancel = true;
}

void CHostThread::PingThread(tPing& ping, CThread& self)
{
    raii::CSocket connection(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    raii::CHandle event(WSACreateEvent());
    auto stopping = [&] { return ping.cancel.load() || m_shuttingDown.load() || self.StopRequested(); };
    if (connection && event && SetBlocking(connection.Get(), false) &&
        ConnectWithRetry(connection.Get(), ping.address, m_options.requestPort, m_options.connectAttempts,
                         ping.cancel)) {
        ping.connected = true;
        const size_t length = strlen(kPingPayload);
        while (!stopping()) {
            DWORD tick = GetTickCount();
            if (!SendFramed(connection.Get(), kPingPayload, nullptr, static_cast<int64_t>(length), 0, ping.cancel,
                            nullptr))
                break;
            // The server never speaks on a ping connection: whatever becomes readable is its
            // end, noticed at once rather than at the next ping.
            if (WSAEventSelect(connection.Get(), event.Get(), FD_READ | FD_CLOSE) != 0)
                break;
            bool alive = true;
            for (;;) {
                WSAResetEvent(event.Get());
                char byte;
                int count = recv(connection.Get(), &byte, 1, 0);
                if (count >= 0 || WSAGetLastError() != WSAEWOULDBLOCK) {
                    alive = false;
                    break;
                }
                DWORD elapsed = GetTickCount() - tick;
                if (elapsed >= m_options.pingMs || stopping())
                    break;
                HANDLE handles[] = {event.Get(), self.StopEvent()};
                WaitForMultipleObjects(2, handles, FALSE, m_options.pingMs - elapsed);
            }
            WSAEventSelect(connection.Get(), nullptr, 0);
            if (!alive)
                break;
        }
    }
    ping.ended = true;
    SetEvent(m_reap.Get());
}
