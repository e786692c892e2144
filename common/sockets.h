// Socket transport of the utility library: local IPv4 interfaces, broadcast datagrams,
// connecting with retries, and FramedMessages on TCP streams, to and from memory or files.
// The framed calls take non-blocking sockets (ConnectWithRetry and SetBlocking make them so, as
// does an event association) and, when a socket would block, wait on a Winsock event for
// 100 ms at a time, so that every loop notices the caller's cancel flag within about 100 ms.
// Nothing here keeps state between calls; failures are reported only by results and the
// listener's Finished.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <stdint.h>

#include <atomic>
#include <string>
#include <vector>

#include "common/framing.h"

// Set by the caller (program shutdown, a transfer's cancel button); non-zero means stop.
typedef std::atomic<bool> tCancelFlag;

struct tInterfaceEntry {
    uint32_t address;   // network byte order
    uint32_t netmask;   // network byte order
    uint32_t broadcast; // address | ~netmask, network byte order
};

// Receives the course of one transfer: Started, any number of Progress, Finished.
class CProgressListener {
public:
    virtual ~CProgressListener() = default;
    virtual void Started(int jobId) = 0;
    // percent 0..100; rate in KB/s averaged over the last ten reports
    virtual void Progress(int jobId, int64_t percent, double rate) = 0;
    virtual void Finished(int jobId, bool success) = 0;
};

// Room for 20 interfaces; with grow set, the room grows by that many entries for as long as
// the system reports it too small.
bool EnumerateInterfaces(std::vector<tInterfaceEntry>& list, bool includeLoopback,
                         bool includeDown, size_t room = 20, size_t grow = 0);
// Sends the text and its terminating zero to address (network byte order):port.
bool SendDatagram(unsigned short port, const char* text, uint32_t address);
// Sends bytes that may hold zero bytes of their own.
bool SendDatagram(unsigned short port, const void* data, size_t length, uint32_t address);
std::string GetLocalHostName();
bool SetBlocking(SOCKET socket, bool blocking);
// Attempts 0 means: until connected or cancelled. Address in network byte order. The socket is
// made non-blocking.
bool ConnectWithRetry(SOCKET socket, uint32_t address, unsigned short port, int attempts,
                      const tCancelFlag& cancel);

// Sends one FramedMessage: from memory when payload is given, else from the named file
// (whose size is then the length).
bool SendFramed(SOCKET socket, const void* payload, const char* fileName, int64_t length,
                int jobId, const tCancelFlag& cancel, CProgressListener* listener);
// byteSeen (may be null) tells whether the peer sent anything at all: a peer that closes
// without a byte did not take the request.
bool ReceiveFramedHeader(SOCKET socket, std::string& out, size_t maximum,
                         const tCancelFlag& cancel, char terminator = ':', bool* byteSeen = nullptr);
// Lengths above kFramedStringLimit (or the given limit) are refused before anything is
// allocated.
bool ReceiveFramedString(SOCKET socket, std::string& out, const tCancelFlag& cancel);
bool ReceiveFramedString(SOCKET socket, std::string& out, const tCancelFlag& cancel, int64_t limit);
// The file is made anew (an existing one is deleted first, or replaced where it cannot be).
// A failed or cancelled receive deletes the partly written file.
bool ReceiveFramedFile(SOCKET socket, const char* path, int jobId, const tCancelFlag& cancel,
                       CProgressListener* listener);
// Opens the path for sequential writing as a new file, as ReceiveFramedFile does; the handle
// belongs to the caller (INVALID_HANDLE_VALUE on failure).
HANDLE CreateNewFile(const char* path);

// Resuming transfers. The sender sends a file's bytes from an offset on as one FramedMessage;
// the receiver writes the payload into an existing file from that offset on (the file is cut
// there first) and keeps what arrived when the transfer fails, so it can resume again.
// Progress counts the whole file. headerSeen (may be null) as for ReceiveFramedHeader.
bool SendFramedFrom(SOCKET socket, const char* fileName, int64_t offset, int jobId,
                    const tCancelFlag& cancel, CProgressListener* listener);
bool ReceiveFramedFileAt(SOCKET socket, const char* path, int64_t offset, int jobId,
                         const tCancelFlag& cancel, CProgressListener* listener, bool* headerSeen);
