// The packet port: the thin layer over rawport. It owns every adapter rawport can open, keeps
// 32 reads posted on each, hands received frames to the one waiting thread without copying
// them, and paces outgoing frames per adapter by the gap each frame carries. It knows nothing
// of frame contents; its creator gives the receive filter program.
#pragma once

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

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

struct tQueuedFrame {
    uint32_t gap;
    uint32_t length;
    uint8_t bytes[1];
};

// A received frame, valid until the next PortWait or PortRearm.
struct tReceivedFrame {
    tPortAdapter* adapter;
    const uint8_t* data;
    size_t length;
};

struct tPendingReadList;
struct tQueuedFrameList;

struct tPortAdapter {
    char* name;
    uint8_t station[6];
    void* owner; // the owner's per-adapter data
    tReceivedFrame frame;
    int handle;
    OVERLAPPED overlapped; // sends and NDIS requests
    tPendingReadList* reads;
    DWORD lastSend;
    DWORD gapAfterLastSend;
    CRITICAL_SECTION lock;
    tQueuedFrameList* queue;
    tPacketPort* port;
    int position;
};

struct tPortAdapterList;

struct tPacketPort {
    tPortCallback callback;
    void* user;
    uint8_t promiscuous;
    uint8_t* program;
    size_t programLength;
    int postedReads;
    CRITICAL_SECTION lock;
    tPortAdapterList* adapters;
    HANDLE sender;
    HANDLE senderWake;
    volatile LONG senderStop;
};

const int kPortPostedReads = 32;

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
void PortQueueFrame(tPortAdapter* adapter, const void* frame, size_t length, DWORD gapMs);
void PortDestroy(tPacketPort* port);
