#include "tandem/chat_channel.h"

#include <algorithm>

#include "common/trace.h"

namespace {

const DWORD kTurnMs = 100;
const DWORD kRebindMs = 2000;
const size_t kReadPiece = 4096;

} // namespace

std::string CleanChatText(const std::string& text, size_t limit)
{
    std::string clean = text.substr(0, limit);
    for (char& c : clean)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    return clean;
}

struct ChatChannel::tPending {
    explicit tPending(int64_t limit) : reader(limit) {}
    raii::CSocket socket;
    uint32_t sender = 0;
    DWORD accepted = 0;
    CRequestReader reader;
};

struct ChatChannel::tSend {
    uint32_t address = 0;
    const std::string* text = nullptr;
    tCancelFlag cancel{false};
    std::atomic<bool> done{false};
    DWORD started = 0;
    CThread thread;
};

ChatChannel::ChatChannel(IChatListener* listener, const tCancelFlag& shuttingDown, const tChatOptions& options)
    : m_options(options),
      m_listener(listener),
      m_shuttingDown(shuttingDown),
      m_queued(CreateEventA(nullptr, FALSE, FALSE, nullptr))
{
    TraceVerbose("entering\n");
    m_receiver.Start([this](CThread& self) { ReceiveThread(self); });
    m_sender.Start([this](CThread& self) { SendThread(self); });
}

ChatChannel::~ChatChannel()
{
    Stop();
}

void ChatChannel::AddRecipient(uint32_t address)
{
    raii::CLock lock(m_lock);
    m_recipients.push_back(address);
}

void ChatChannel::RemoveRecipient(uint32_t address)
{
    raii::CLock lock(m_lock);
    auto it = std::find(m_recipients.begin(), m_recipients.end(), address);
    if (it != m_recipients.end())
        m_recipients.erase(it);
}

std::vector<uint32_t> ChatChannel::GetRecipients()
{
    raii::CLock lock(m_lock);
    return m_recipients;
}

bool ChatChannel::Post(const std::string& text)
{
    {
        raii::CLock lock(m_lock);
        if (m_queue.size() >= m_options.queuedMessages)
            return false;
        m_queue.push_back(text);
    }
    SetEvent(m_queued.Get());
    return true;
}

void ChatChannel::Stop()
{
    m_sender.StopAnsweringSentMessages();
    m_receiver.StopAnsweringSentMessages();
}

void ChatChannel::ReceiveThread(CThread& self)
{
    raii::CHandle network(WSACreateEvent());
    if (!network)
        return;
    raii::CSocket listener;
    DWORD lastBind = GetTickCount() - kRebindMs;
    bool told = false;
    while (!m_shuttingDown.load() && !self.StopRequested()) {
        if (!listener && GetTickCount() - lastBind >= kRebindMs) {
            lastBind = GetTickCount();
            raii::CSocket candidate(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
            sockaddr_in address = {};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_ANY);
            address.sin_port = htons(m_options.port);
            if (candidate && bind(candidate.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                listen(candidate.Get(), 5) == 0 && WSAEventSelect(candidate.Get(), network.Get(), FD_ACCEPT) == 0) {
                listener = std::move(candidate);
                m_listening = true;
            } else if (!told) {
                TraceHere("chat port %u cannot be listened on, trying again every %lu ms\n", m_options.port,
                          kRebindMs);
                told = true;
            }
        }
        HANDLE handles[] = {network.Get(), self.StopEvent()};
        WaitForMultipleObjects(2, handles, FALSE, kTurnMs);
        WSAResetEvent(network.Get());
        if (listener)
            AcceptAll(listener.Get(), network.Get());
        ReadPending();
    }
    m_pending.clear();
    m_listening = false;
}

void ChatChannel::AcceptAll(SOCKET listener, HANDLE network)
{
    for (;;) {
        sockaddr_in from = {};
        int size = sizeof from;
        raii::CSocket connection(accept(listener, reinterpret_cast<sockaddr*>(&from), &size));
        if (!connection)
            return;
        if (WSAEventSelect(connection.Get(), network, FD_READ | FD_CLOSE) != 0)
            continue;
        auto pending = std::make_unique<tPending>(m_options.messageLimit);
        pending->socket = std::move(connection);
        pending->sender = from.sin_addr.s_addr;
        pending->accepted = GetTickCount();
        // The oldest waiting connection makes room: a real sender delivers at once.
        if (m_pending.size() >= m_options.pendingConnections) {
            TraceHere("chat connection of %s closed to make room\n", FormatAddress(m_pending.front()->sender).c_str());
            m_pending.pop_front();
        }
        m_pending.push_back(std::move(pending));
    }
}

void ChatChannel::ReadPending()
{
    DWORD now = GetTickCount();
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        tPending& pending = **it;
        bool alive = true;
        char buffer[kReadPiece];
        while (size_t wanted = pending.reader.Wanted()) {
            int count = recv(pending.socket.Get(), buffer, static_cast<int>(std::min(wanted, sizeof buffer)), 0);
            if (count == 0 || (count < 0 && WSAGetLastError() != WSAEWOULDBLOCK) ||
                (count > 0 && !pending.reader.Take(buffer, static_cast<size_t>(count))))
                alive = false;
            if (count <= 0 || !alive)
                break;
        }
        if (pending.reader.Complete()) {
            uint32_t sender = pending.sender;
            std::string text = CleanChatText(pending.reader.Payload(), m_options.textLimit);
            it = m_pending.erase(it);
            if (m_listener && !m_shuttingDown.load())
                m_listener->ChatMessage(sender, text);
        } else if (!alive) {
            TraceHere("chat connection of %s ended without a whole message\n", FormatAddress(pending.sender).c_str());
            it = m_pending.erase(it);
        } else if (now - pending.accepted > m_options.receiveMs) {
            TraceHere("chat connection of %s sent no whole message within %lu ms, closed\n",
                      FormatAddress(pending.sender).c_str(), m_options.receiveMs);
            it = m_pending.erase(it);
        } else {
            ++it;
        }
    }
}

void ChatChannel::SendThread(CThread& self)
{
    while (!m_shuttingDown.load() && !self.StopRequested()) {
        HANDLE handles[] = {m_queued.Get(), self.StopEvent()};
        WaitForMultipleObjects(2, handles, FALSE, kTurnMs);
        for (;;) {
            std::string text;
            std::vector<uint32_t> recipients;
            {
                raii::CLock lock(m_lock);
                if (m_queue.empty())
                    break;
                text = std::move(m_queue.front());
                m_queue.pop_front();
                recipients = m_recipients;
            }
            if (m_shuttingDown.load() || self.StopRequested())
                return;
            if (!text.empty())
                SendToAll(text, recipients, self);
        }
    }
}

void ChatChannel::SendToAll(const std::string& text, const std::vector<uint32_t>& recipients, CThread& self)
{
    std::vector<std::unique_ptr<tSend>> sends;
    for (uint32_t address : recipients) {
        auto send = std::make_unique<tSend>();
        send->address = address;
        send->text = &text;
        sends.push_back(std::move(send));
    }
    size_t next = 0;
    for (;;) {
        size_t running = 0;
        DWORD now = GetTickCount();
        bool stopping = m_shuttingDown.load() || self.StopRequested();
        for (size_t i = 0; i < next; ++i) {
            tSend& send = *sends[i];
            if (send.done.load())
                continue;
            if (stopping || now - send.started > m_options.sendMs) {
                if (!send.cancel.load() && !stopping)
                    TraceHere("chat message to %s not delivered within %lu ms\n", FormatAddress(send.address).c_str(),
                              m_options.sendMs);
                send.cancel = true;
            }
            ++running;
        }
        while (!stopping && next < sends.size() && running < m_options.parallelSends) {
            tSend& send = *sends[next++];
            send.started = GetTickCount();
            if (send.thread.Start([this, &send](CThread&) { SendOne(send); }))
                ++running;
            else
                send.done = true;
        }
        if (running == 0 && (next == sends.size() || stopping))
            break;
        Sleep(10);
    }
    // Every thread has ended (or ends now, its flag set); destroying them joins them.
}

void ChatChannel::SendOne(tSend& send)
{
    raii::CSocket connection(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    BOOL noDelay = TRUE;
    if (connection)
        setsockopt(connection.Get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    if (connection && SetBlocking(connection.Get(), false) &&
        ConnectWithRetry(connection.Get(), send.address, m_options.port, m_options.connectAttempts, send.cancel))
        SendFramed(connection.Get(), send.text->data(), nullptr, static_cast<int64_t>(send.text->size()), 0,
                   send.cancel, nullptr);
    send.done = true;
}
