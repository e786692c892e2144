// Chat between tandem hosts (TCP port 12347): every message the user types goes to every
// present host, this one included, one connection per message and recipient carrying one
// FramedMessage with the text as typed; the receiver takes the sender from the connection.
//
// One receive thread accepts connections and reads them as their bytes arrive, each within a
// time limit and a length limit, so that a peer that connects and stays silent (or sends
// without end) holds up nobody. One send thread sends each queued message to all recipients at
// once, each connection within a time limit, so that a host that does not answer delays only
// its own copy.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <stdint.h>

#include <atomic>
#include <deque>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "common/raii.h"
#include "common/sockets.h"
#include "common/thread.h"
#include "tandem/protocol.h"

class IChatListener {
public:
    // On the receive thread; the text holds no control characters.
    virtual void ChatMessage(uint32_t sender, const std::string& text) = 0;

protected:
    ~IChatListener() = default;
};

struct tChatOptions {
    unsigned short port = kChatPort;
    int connectAttempts = 10;
    DWORD receiveMs = 10000; // for a connection to deliver its whole message
    DWORD sendMs = 15000;    // for one recipient to be connected and sent to
    // The message edit holds 1024 characters; longer messages are cut there, and a message
    // announced longer than this is not read at all.
    int64_t messageLimit = 64 * 1024;
    size_t textLimit = 1024;
    size_t pendingConnections = 64;
    size_t queuedMessages = 256;
    size_t parallelSends = 16;
};

// What a received message becomes: at most `limit` characters, control characters as blanks
// (a line break in a message would forge a line of another sender in the history).
std::string CleanChatText(const std::string& text, size_t limit);

class ChatChannel {
public:
    ChatChannel(IChatListener* listener, const tCancelFlag& shuttingDown,
                const tChatOptions& options = tChatOptions());
    ~ChatChannel();
    ChatChannel(const ChatChannel&) = delete;
    ChatChannel& operator=(const ChatChannel&) = delete;

    void AddRecipient(uint32_t address);
    void RemoveRecipient(uint32_t address);
    // False when the queue is full (the text is dropped).
    bool Post(const std::string& text);
    // Waits for both threads; answers messages sent to the calling thread's windows meanwhile.
    void Stop();

    bool IsListening() const { return m_listening.load(); }
    std::vector<uint32_t> GetRecipients();

private:
    struct tPending;
    struct tSend;

    void ReceiveThread(CThread& self);
    void AcceptAll(SOCKET listener, HANDLE network);
    void ReadPending();
    void SendThread(CThread& self);
    void SendToAll(const std::string& text, const std::vector<uint32_t>& recipients, CThread& self);
    void SendOne(tSend& send);

    const tChatOptions m_options;
    IChatListener* const m_listener;
    const tCancelFlag& m_shuttingDown;

    raii::CCriticalSection m_lock;
    std::vector<uint32_t> m_recipients; // guarded
    std::deque<std::string> m_queue;    // guarded

    std::list<std::unique_ptr<tPending>> m_pending; // the receive thread's own
    std::atomic<bool> m_listening{false};
    raii::CHandle m_queued;
    CThread m_receiver;
    CThread m_sender;
};
