#include "common/sockets.h"

#include <ws2tcpip.h>

#include <string.h>

#include <algorithm>
#include <memory>

#include "common/raii.h"

namespace {

const DWORD kSlice = 100;
const DWORD kReportInterval = 1000;
// What a receive starts with: a whole small file or reply, with its header.
const size_t kSmallBuffer = 64 * 1024;

bool Cancelled(const tCancelFlag& cancel)
{
    return cancel.load(std::memory_order_relaxed);
}

// A fresh event associated with the socket for the duration of a connect; the association is
// removed again so the next operation can set its own.
class CSocketEvent {
public:
    CSocketEvent(SOCKET socket, long events) : m_socket(socket), m_event(WSACreateEvent())
    {
        m_ok = m_event && WSAEventSelect(m_socket, m_event.Get(), events) == 0;
    }
    ~CSocketEvent()
    {
        if (m_ok)
            WSAEventSelect(m_socket, nullptr, 0);
    }
    CSocketEvent(const CSocketEvent&) = delete;
    CSocketEvent& operator=(const CSocketEvent&) = delete;

    bool Ok() const { return m_ok; }
    HANDLE Get() const { return m_event.Get(); }
    void Reset() { WSAResetEvent(m_event.Get()); }
    bool WaitSlice() { return WaitForSingleObject(m_event.Get(), kSlice) == WAIT_OBJECT_0; }

private:
    SOCKET m_socket;
    raii::CHandle m_event;
    bool m_ok = false;
};

// The event one call waits on. It is made and associated with the socket only when the socket
// first would block, so that a send the socket takes at once (a request, a small reply) needs
// none; the association is removed again when the call ends, so the next one can set its own.
// Under Wine each of these steps is a round trip to the wineserver.
class CSocketWait {
public:
    CSocketWait(SOCKET socket, long events) : m_socket(socket), m_events(events) {}
    ~CSocketWait()
    {
        if (m_associated)
            WSAEventSelect(m_socket, nullptr, 0);
    }
    CSocketWait(const CSocketWait&) = delete;
    CSocketWait& operator=(const CSocketWait&) = delete;

    // Called after the socket would block: waits up to a slice, or clears an event that has
    // been waited on already and returns at once, so that the caller tries again before
    // waiting (what happened before the clear is seen by that try, what happens after it
    // sets the event). False when no event can be had.
    bool Wait()
    {
        if (!m_associated) {
            // A fresh association records what is pending already (bytes to read, room to
            // send), so the first wait needs no try before it.
            m_event.Attach(WSACreateEvent());
            if (!m_event || WSAEventSelect(m_socket, m_event.Get(), m_events) != 0)
                return false;
            m_associated = true;
        } else if (m_waited) {
            WSAResetEvent(m_event.Get());
            m_waited = false;
            return true;
        }
        WaitForSingleObject(m_event.Get(), kSlice);
        m_waited = true;
        return true;
    }

private:
    SOCKET m_socket;
    long m_events;
    raii::CHandle m_event;
    bool m_associated = false;
    bool m_waited = false;
};

enum tMove { MOVE_RECEIVE, MOVE_SEND, MOVE_PEEK };

// One send or receive with the wait-and-retry loop: true with count > 0 bytes moved (or seen,
// when peeking), false on failure, peer close or cancel.
bool MoveSome(SOCKET socket, CSocketWait& wait, tMove move, char* buffer, int size, const tCancelFlag& cancel,
              int& count)
{
    for (;;) {
        if (Cancelled(cancel))
            return false;
        int result = move == MOVE_SEND ? send(socket, buffer, size, 0)
                                       : recv(socket, buffer, size, move == MOVE_PEEK ? MSG_PEEK : 0);
        if (result > 0) {
            count = result;
            return true;
        }
        if (result == 0 || WSAGetLastError() != WSAEWOULDBLOCK || !wait.Wait())
            return false;
    }
}

bool ReceiveSome(SOCKET socket, CSocketWait& wait, char* buffer, int size, const tCancelFlag& cancel, int& count)
{
    return MoveSome(socket, wait, MOVE_RECEIVE, buffer, size, cancel, count);
}

bool ReceiveExactly(SOCKET socket, CSocketWait& wait, char* buffer, size_t size, const tCancelFlag& cancel)
{
    while (size > 0) {
        int count = 0;
        int piece = static_cast<int>(std::min<size_t>(size, kFramedChunk));
        if (!ReceiveSome(socket, wait, buffer, piece, cancel, count))
            return false;
        buffer += count;
        size -= static_cast<size_t>(count);
    }
    return true;
}

// A chunk counts as sent once the socket has accepted all of its bytes.
bool SendAll(SOCKET socket, CSocketWait& wait, const char* data, size_t size, const tCancelFlag& cancel)
{
    while (size > 0) {
        int count = 0;
        int piece = static_cast<int>(std::min<size_t>(size, kFramedChunk));
        if (!MoveSome(socket, wait, MOVE_SEND, const_cast<char*>(data), piece, cancel, count))
            return false;
        data += count;
        size -= static_cast<size_t>(count);
    }
    return true;
}

// Receives a header and, with the same calls, as much of the payload behind it as has arrived
// and fits in the buffer (never more than the header announces): a small message takes one
// look and one receive. The payload's length is in length, its first bytes in buffer[0..got).
// The buffer holds at least kFramedHeaderMaximum bytes.
bool ReceiveHeaderAndStart(SOCKET socket, CSocketWait& wait, std::string& header, int64_t& length, int64_t limit,
                           char* buffer, size_t size, size_t& got, const tCancelFlag& cancel, bool* byteSeen)
{
    header.clear();
    length = 0;
    got = 0;
    if (byteSeen)
        *byteSeen = false;
    const size_t maximum = kFramedHeaderMaximum;
    for (;;) {
        int count = 0;
        size_t left = maximum - header.size();
        if (!MoveSome(socket, wait, MOVE_PEEK, buffer, static_cast<int>(size), cancel, count))
            return false;
        if (byteSeen)
            *byteSeen = true;
        size_t span = std::min(static_cast<size_t>(count), left);
        const char* end = static_cast<const char*>(memchr(buffer, ':', span));
        size_t text = end ? static_cast<size_t>(end - buffer) : span;
        // The 64th byte that is no terminator fails the header.
        if (header.size() + text >= maximum)
            return false;
        header.append(buffer, text);
        if (!end) {
            int take = static_cast<int>(text);
            if (recv(socket, buffer, take, 0) != take)
                return false;
            continue;
        }
        // A header that is no length, or a length above the limit, is taken without a byte of
        // the payload behind it.
        if (!ParseFramedLength(header, length) || length > limit) {
            int take = static_cast<int>(text + 1);
            recv(socket, buffer, take, 0);
            return false;
        }
        got = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count - text - 1), length));
        int take = static_cast<int>(text + 1 + got);
        if (recv(socket, buffer, take, 0) != take)
            return false;
        memmove(buffer, buffer + text + 1, got);
        return true;
    }
}

// Progress reports at most about once a second, with the rate averaged by the meter.
class CProgressReporter {
public:
    // done counts from start on (a transfer that resumes at an offset).
    CProgressReporter(CProgressListener* listener, int jobId, int64_t total, int64_t start = 0)
        : m_listener(listener), m_jobId(jobId), m_total(total), m_lastTick(GetTickCount()), m_lastDone(start)
    {
    }
    void Moved(int64_t done)
    {
        DWORD now = GetTickCount();
        DWORD elapsed = now - m_lastTick;
        if (!m_listener || elapsed <= kReportInterval)
            return;
        double rate = m_meter.AddSample(static_cast<uint64_t>(done - m_lastDone), elapsed);
        m_listener->Progress(m_jobId, TransferPercent(done, m_total), rate);
        m_lastTick = now;
        m_lastDone = done;
    }

private:
    CProgressListener* m_listener;
    int m_jobId;
    int64_t m_total;
    DWORD m_lastTick;
    int64_t m_lastDone;
    CRateMeter m_meter;
};

// 1 when a pending connect has completed, -1 when it has failed, 0 while it is pending.
int ConnectState(SOCKET socket)
{
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket, &writable);
    FD_SET(socket, &failed);
    timeval now = {0, 0};
    if (select(0, nullptr, &writable, &failed, &now) <= 0)
        return 0;
    if (FD_ISSET(socket, &failed))
        return -1;
    return FD_ISSET(socket, &writable) ? 1 : 0;
}

} // namespace

HANDLE CreateNewFile(const char* path)
{
    // Under Wine, replacing a file in place truncates it, and the file system then writes
    // back the whole old file inside CloseHandle (tens of milliseconds for a large one); a
    // file made anew closes at once. The old content goes either way.
    DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN;
    // Most downloads make a file that is not there yet: one lookup of the name. Under Wine
    // each lookup of a missing name reads the whole folder (to match it without regard to
    // case), which for a folder of thousands of files costs milliseconds.
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, flags, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        return file;
    bool deleted = DeleteFileA(path) || GetLastError() == ERROR_FILE_NOT_FOUND;
    file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, flags, nullptr);
    // Replaced in place only when it could not be deleted. After a deletion that waits for
    // another handle to close, the name must not be written again: the file would go with it.
    if (file == INVALID_HANDLE_VALUE && !deleted)
        file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, flags, nullptr);
    return file;
}

bool EnumerateInterfaces(std::vector<tInterfaceEntry>& list, bool includeLoopback,
                         bool includeDown, size_t room, size_t grow)
{
    list.clear();
    raii::CSocket probe(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (!probe || room == 0)
        return false;
    std::vector<INTERFACE_INFO> info(room);
    DWORD bytes = 0;
    while (WSAIoctl(probe.Get(), SIO_GET_INTERFACE_LIST, nullptr, 0, info.data(),
                    static_cast<DWORD>(info.size() * sizeof(INTERFACE_INFO)), &bytes, nullptr,
                    nullptr) != 0) {
        if (grow == 0 || WSAGetLastError() != WSAEFAULT || info.size() >= 4096)
            return false;
        info.resize(info.size() + grow);
    }
    size_t count = std::min<size_t>(bytes / sizeof(INTERFACE_INFO), info.size());
    for (size_t i = 0; i < count; ++i) {
        u_long flags = info[i].iiFlags;
        if (!(flags & IFF_UP) && !includeDown)
            continue;
        if ((flags & IFF_LOOPBACK) && !includeLoopback)
            continue;
        tInterfaceEntry entry;
        entry.address = info[i].iiAddress.AddressIn.sin_addr.s_addr;
        entry.netmask = info[i].iiNetmask.AddressIn.sin_addr.s_addr;
        entry.broadcast = entry.address | ~entry.netmask;
        list.push_back(entry);
    }
    return true;
}

bool SendDatagram(unsigned short port, const char* text, uint32_t address)
{
    return text && SendDatagram(port, text, strlen(text) + 1, address);
}

bool SendDatagram(unsigned short port, const void* data, size_t length, uint32_t address)
{
    if (!data || length > 65507)
        return false;
    raii::CSocket datagram(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (!datagram)
        return false;
    BOOL allow = TRUE;
    setsockopt(datagram.Get(), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&allow),
               sizeof allow);
    sockaddr_in target = {};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = address;
    int sent = sendto(datagram.Get(), static_cast<const char*>(data), static_cast<int>(length), 0,
                      reinterpret_cast<const sockaddr*>(&target), sizeof target);
    return sent == static_cast<int>(length);
}

std::string GetLocalHostName()
{
    char name[1024] = "";
    if (gethostname(name, sizeof name) != 0)
        return std::string();
    name[sizeof name - 1] = '\0';
    return name;
}

bool SetBlocking(SOCKET socket, bool blocking)
{
    u_long nonBlocking = blocking ? 0 : 1;
    return ioctlsocket(socket, FIONBIO, &nonBlocking) == 0;
}

bool ConnectWithRetry(SOCKET socket, uint32_t address, unsigned short port, int attempts,
                      const tCancelFlag& cancel)
{
    sockaddr_in target = {};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = address;

    // The association also makes the socket non-blocking.
    CSocketEvent event(socket, FD_CONNECT | FD_CLOSE);
    if (!event.Ok())
        return false;
    bool connected = false;
    int used = 0;
    while (!connected && (attempts == 0 || used < attempts) && !Cancelled(cancel)) {
        if (used > 0) {
            // A refused attempt comes back at once: pause a slice so that retrying without
            // limit does not spin.
            for (DWORD waited = 0; waited < kSlice && !Cancelled(cancel); waited += 10)
                Sleep(10);
            if (Cancelled(cancel))
                break;
        }
        ++used;
        event.Reset();
        if (connect(socket, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) {
            connected = true;
            break;
        }
        int error = WSAGetLastError();
        if (error == WSAEISCONN) {
            connected = true;
            break;
        }
        if (error != WSAEWOULDBLOCK && error != WSAEALREADY && error != WSAEINPROGRESS)
            continue;
        while (!Cancelled(cancel)) {
            if (event.WaitSlice()) {
                WSANETWORKEVENTS events = {};
                if (WSAEnumNetworkEvents(socket, event.Get(), &events) != 0)
                    break;
                if (events.lNetworkEvents & FD_CONNECT) {
                    connected = events.iErrorCode[FD_CONNECT_BIT] == 0;
                    break;
                }
            }
            // Some stacks (Wine among them) report a repeated attempt on the same socket
            // without a second connect event: ask the socket itself.
            int state = ConnectState(socket);
            if (state != 0) {
                connected = state > 0;
                break;
            }
        }
    }
    return connected;
}

bool ReceiveFramedHeader(SOCKET socket, std::string& out, size_t maximum,
                         const tCancelFlag& cancel, char terminator, bool* byteSeen)
{
    out.clear();
    if (byteSeen)
        *byteSeen = false;
    CSocketWait wait(socket, FD_READ | FD_CLOSE);
    if (maximum == 0)
        return false;
    // Look at what has arrived, then take only the header: the payload behind the terminator
    // belongs to the caller. Two calls for a whole header rather than one per byte.
    std::unique_ptr<char[]> seen(new char[maximum]);
    for (;;) {
        int count = 0;
        int room = static_cast<int>(maximum - out.size());
        if (!MoveSome(socket, wait, MOVE_PEEK, seen.get(), room, cancel, count))
            return false;
        if (byteSeen)
            *byteSeen = true;
        const char* end = static_cast<const char*>(memchr(seen.get(), terminator, static_cast<size_t>(count)));
        size_t text = end ? static_cast<size_t>(end - seen.get()) : static_cast<size_t>(count);
        // The 64th byte that is no terminator fails the header.
        if (out.size() + text >= maximum)
            return false;
        int take = static_cast<int>(end ? text + 1 : text);
        if (recv(socket, seen.get(), take, 0) != take)
            return false;
        out.append(seen.get(), text);
        if (end)
            return true;
    }
}

bool ReceiveFramedString(SOCKET socket, std::string& out, const tCancelFlag& cancel)
{
    return ReceiveFramedString(socket, out, cancel, kFramedStringLimit);
}

bool ReceiveFramedString(SOCKET socket, std::string& out, const tCancelFlag& cancel, int64_t limit)
{
    out.clear();
    // Most replies are short: their first bytes come with the header.
    const size_t room = kSmallBuffer;
    std::unique_ptr<char[]> start(new char[room]);
    std::string header;
    int64_t length = 0;
    size_t got = 0;
    CSocketWait wait(socket, FD_READ | FD_CLOSE);
    if (!ReceiveHeaderAndStart(socket, wait, header, length, std::min(limit, kFramedStringLimit), start.get(), room,
                               got, cancel, nullptr))
        return false;
    std::string payload(static_cast<size_t>(length), '\0');
    if (got > 0)
        memcpy(&payload[0], start.get(), got);
    if (!ReceiveExactly(socket, wait, &payload[got], payload.size() - got, cancel))
        return false;
    out.swap(payload);
    return true;
}

namespace {

// The file part of a receive: from the start (the file is created or emptied, and deleted
// again when the receive fails) or from an offset of an existing file (the bytes before it are
// kept, and so is every byte that arrived before a failure, all of them in their place).
bool ReceiveFramedFileImpl(SOCKET socket, const char* path, int64_t offset, int jobId,
                           const tCancelFlag& cancel, CProgressListener* listener, bool* headerSeen)
{
    if (headerSeen)
        *headerSeen = false;
    // The payload's first bytes come with the header: a small file is one look and one receive.
    // The buffer grows to a whole chunk only for a file that needs it: under Wine a block that
    // large is mapped and unmapped for every file, and the faults and unmapping of a megabyte
    // cost more than a small file's whole transfer.
    size_t size = kSmallBuffer;
    std::unique_ptr<char[]> buffer(new char[size]);
    CSocketWait wait(socket, FD_READ | FD_CLOSE);
    std::string header;
    int64_t total = 0;
    size_t got = 0;
    bool gotHeader = path && offset >= 0 &&
                     ReceiveHeaderAndStart(socket, wait, header, total, INT64_MAX - offset, buffer.get(), size, got,
                                           cancel, headerSeen);
    if (!gotHeader) {
        if (listener)
            listener->Finished(jobId, false);
        return false;
    }
    if (listener)
        listener->Started(jobId);

    raii::CHandle file(offset > 0 ? CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr)
                                  : CreateNewFile(path));
    bool ok = file.IsValid();
    if (ok && offset > 0) {
        LARGE_INTEGER at;
        at.QuadPart = offset;
        ok = SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN) && SetEndOfFile(file.Get());
    }
    if (!ok) {
        if (listener)
            listener->Finished(jobId, false);
        return false;
    }

    CProgressReporter reporter(listener, jobId, offset + total, offset);
    int64_t received = 0;
    while (ok && received < total) {
        int count = static_cast<int>(got);
        got = 0;
        if (count == 0) {
            int64_t left = total - received;
            if (static_cast<int64_t>(size) < std::min<int64_t>(left, kFramedChunk)) {
                size = static_cast<size_t>(std::min<int64_t>(left, kFramedChunk));
                buffer.reset(new char[size]);
            }
            int want = static_cast<int>(std::min<int64_t>(left, static_cast<int64_t>(size)));
            if (!ReceiveSome(socket, wait, buffer.get(), want, cancel, count)) {
                ok = false;
                break;
            }
        }
        DWORD written = 0;
        if (!WriteFile(file.Get(), buffer.get(), static_cast<DWORD>(count), &written, nullptr) ||
            written != static_cast<DWORD>(count)) {
            ok = false;
            break;
        }
        received += count;
        reporter.Moved(offset + received);
    }
    if (Cancelled(cancel))
        ok = false;
    file.Close();
    if (!ok && offset == 0)
        DeleteFileA(path);
    if (listener)
        listener->Finished(jobId, ok);
    return ok;
}

} // namespace

bool ReceiveFramedFile(SOCKET socket, const char* path, int jobId, const tCancelFlag& cancel,
                       CProgressListener* listener)
{
    return ReceiveFramedFileImpl(socket, path, 0, jobId, cancel, listener, nullptr);
}

bool ReceiveFramedFileAt(SOCKET socket, const char* path, int64_t offset, int jobId,
                         const tCancelFlag& cancel, CProgressListener* listener, bool* headerSeen)
{
    return ReceiveFramedFileImpl(socket, path, offset, jobId, cancel, listener, headerSeen);
}

namespace {

bool SendFramedImpl(SOCKET socket, const void* payload, const char* fileName, int64_t length,
                    int64_t offset, int jobId, const tCancelFlag& cancel, CProgressListener* listener)
{
    if (listener)
        listener->Started(jobId);
    auto finish = [&](bool result) {
        if (listener)
            listener->Finished(jobId, result);
        return result;
    };

    raii::CHandle file;
    if (!payload) {
        if (!fileName)
            return finish(false);
        file.Attach(CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        LARGE_INTEGER size = {};
        if (!file || !GetFileSizeEx(file.Get(), &size) || offset > size.QuadPart)
            return finish(false);
        length = size.QuadPart - offset;
        LARGE_INTEGER at;
        at.QuadPart = offset;
        if (offset > 0 && !SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN))
            return finish(false);
    }
    if (length < 0)
        return finish(false);

    // The header goes out together with the first piece of the payload: a small message is one
    // send, and the payload never waits for the peer to acknowledge a lone header.
    std::string header = FormatFramedHeader(length);
    // Room for the largest piece, which for a small file is the whole file (see the receive).
    size_t first = static_cast<size_t>(std::min<int64_t>(length, kFramedChunk));
    std::unique_ptr<char[]> buffer(new char[header.size() + first]);
    memcpy(buffer.get(), header.data(), header.size());
    CProgressReporter reporter(listener, jobId, offset + length, offset);
    CSocketWait wait(socket, FD_WRITE | FD_CLOSE);
    int64_t sent = 0;
    bool withHeader = true;
    while (withHeader || sent < length) {
        size_t room = withHeader ? header.size() : 0;
        size_t piece = static_cast<size_t>(std::min<int64_t>(length - sent, kFramedChunk));
        const char* data;
        if (file) {
            DWORD read = 0;
            if (piece > 0 && !ReadFile(file.Get(), buffer.get() + room, static_cast<DWORD>(piece), &read, nullptr))
                return finish(false);
            // A file that shrank since its size was announced would leave the peer waiting
            // for bytes that never come.
            if (piece > 0 && read == 0)
                return finish(false);
            piece = read;
            data = buffer.get();
        } else if (withHeader) {
            memcpy(buffer.get() + room, payload, piece);
            data = buffer.get();
        } else {
            data = static_cast<const char*>(payload) + sent;
        }
        if (!SendAll(socket, wait, data, room + piece, cancel))
            return finish(false);
        withHeader = false;
        sent += static_cast<int64_t>(piece);
        if (piece > 0)
            reporter.Moved(offset + sent);
    }
    return finish(!Cancelled(cancel));
}

} // namespace

bool SendFramed(SOCKET socket, const void* payload, const char* fileName, int64_t length,
                int jobId, const tCancelFlag& cancel, CProgressListener* listener)
{
    return SendFramedImpl(socket, payload, fileName, length, 0, jobId, cancel, listener);
}

bool SendFramedFrom(SOCKET socket, const char* fileName, int64_t offset, int jobId,
                    const tCancelFlag& cancel, CProgressListener* listener)
{
    if (offset < 0) {
        if (listener) {
            listener->Started(jobId);
            listener->Finished(jobId, false);
        }
        return false;
    }
    return SendFramedImpl(socket, nullptr, fileName, 0, offset, jobId, cancel, listener);
}
