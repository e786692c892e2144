// The packet port: the thin layer over rawport. It owns every adapter rawport can open, keeps
// 32 reads posted on each, hands received frames to the one waiting thread without copying
// them, and paces outgoing frames per adapter by the gap each frame carries. It knows nothing
// of frame contents; its creator gives the receive filter program (powerline/receive_filter.h).
//
// Two ways to send:
// - PortQueueFrame paces: a frame leaves when the gap of the frame before it has passed. The
//   queue of each adapter is bounded, and a frame identical to one still waiting is not queued
//   twice, so that a flood of work cannot delay the frames behind it without limit.
// - PortSendNow sends at once, for callers that wait for one answer at a time (the key
//   wizard). It waits a bounded time for a send that rawport completes late.
//
// Threads: adapters are added and removed only by the thread that calls PortScanAdapters,
// PortWait and PortDestroy (the port's owner thread); an adapter pointer stays valid until that
// thread removes it, which it announces first through the callback. PortQueueFrame and
// PortSendNow may be called from other threads as well: such a caller holds a lock of its own
// around its sends and takes it in the removal callback, after which it sends no more to that
// adapter.
//
// A client that awaits one answer at a time (the key wizard) creates a port with the receive
// filter, keeps its per-adapter state in the owner slot, runs PortWait on a receive thread with
// its stop event among the handles, and sends its requests with PortSendNow.
#pragma once

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "common/raii.h"
#include "common/thread.h"
#include "platform/rawport/rawport.h"

struct tPacketPort;
struct tPortAdapter;

enum { PORT_ADAPTER_ADDED = 0, PORT_ADAPTER_REMOVED = 1 };
typedef void (*tPortCallback)(int event, tPortAdapter* adapter, void* user);

// One read handed to rawport; rawport fills the packet buffer and signals the event.
struct tPendingRead {
    OVERLAPPED overlapped;
    uint32_t word;
    tRawPacketBuffer packet;
};

// A read with the event its overlapped record signals.
struct tPostedRead {
    tPendingRead read;
    raii::CHandle event;
};

struct tQueuedFrame {
    DWORD gap;
    std::vector<uint8_t> bytes;
};

// A received frame, valid until the next PortWait or PortRearm.
struct tReceivedFrame {
    tPortAdapter* adapter;
    const uint8_t* data;
    size_t length;
};

struct tPortAdapter {
    std::string name;
    uint8_t station[6] = {};
    void* owner = nullptr; // the owner's per-adapter data
    tReceivedFrame frame = {};
    int handle = -1;
    OVERLAPPED overlapped = {}; // sends and NDIS requests
    raii::CHandle overlappedEvent;
    std::deque<std::unique_ptr<tPostedRead>> reads; // oldest first
    DWORD lastSend = 0;
    DWORD gapAfterLastSend = 0;
    raii::CCriticalSection lock; // the send queue and the pacing state
    std::deque<tQueuedFrame> queue;
    raii::CCriticalSection sendLock; // one send at a time on the overlapped record
    tPacketPort* port = nullptr;
    int position = 0;
};

struct tPacketPort {
    tPortCallback callback = nullptr;
    void* user = nullptr;
    uint8_t promiscuous = 0;
    std::vector<uint8_t> program;
    int postedReads = 0;
    size_t queueLimit = 0;
    raii::CCriticalSection lock; // the adapter list
    std::vector<tPortAdapter*> adapters;
    raii::CHandle senderWake;
    CThread sender;
};

const int kPortPostedReads = 32;
// Frames waiting per adapter; at the 20 ms gap of directed requests about 1.3 s of sending.
const size_t kPortQueueLimit = 64;
// Adapters per port: the waiting thread waits on one handle per adapter and on up to four of
// its own, within the system's limit of 64 handles per wait.
const int kPortMaxAdapters = 60;
// How long a send that rawport completes late is waited for.
const DWORD kPortSendCompletionMs = 2000;

// What became of a frame handed to PortQueueFrame.
enum tPortQueueResult {
    PORT_FRAME_SENT,           // left at once
    PORT_FRAME_QUEUED,         // waits for its turn
    PORT_FRAME_ALREADY_QUEUED, // the same frame is still waiting: not queued twice
    PORT_FRAME_DROPPED,        // the queue is full, or the frame is empty
};

tPacketPort* PortCreate(tPortCallback callback, void* user, uint8_t promiscuous,
                        const void* program, size_t programLength);
bool PortScanAdapters(tPacketPort* port);
void PortAddAdapter(tPacketPort* port, const char* name);
void PortRemoveAdapter(tPacketPort* port, tPortAdapter* adapter);
tPortAdapter* PortFirstAdapter(tPacketPort* port);
tPortAdapter* PortNextAdapter(tPortAdapter* adapter);
int PortAdapterCount(tPacketPort* port);
// Waits for the caller's handles and a frame on any adapter. timeoutMs -1: no limit.
tReceivedFrame* PortWait(tPacketPort* port, const HANDLE* handles, int handleCount, DWORD* which,
                         int timeoutMs);
void PortRearm(tReceivedFrame* frame);
tPortQueueResult PortQueueFrame(tPortAdapter* adapter, const void* frame, size_t length, DWORD gapMs);
// Sends at once, outside the pacing; true when rawport took the frame and completed the send.
bool PortSendNow(tPortAdapter* adapter, const void* frame, size_t length);
// Frames waiting in an adapter's queue.
size_t PortQueuedFrames(tPortAdapter* adapter);
// Changes the bound of every adapter's queue (kPortQueueLimit by default).
void PortSetQueueLimit(tPacketPort* port, size_t frames);
void PortDestroy(tPacketPort* port);
