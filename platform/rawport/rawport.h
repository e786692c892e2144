// rawport.dll: raw Ethernet frames on the PC's network adapters, the W32N_ interface that the
// powerline programs use. Ours works over the pcap API of wpcap.dll (Npcap on Windows, Wine's
// bridge to libpcap under Wine). Ethernet adapters only; loopback and adapters that are down
// are left out, and the environment variable RAWPORT_ADAPTERS (names or descriptions,
// comma-separated) may narrow the set further.
//
// The records below are filled by rawport and read by its callers; their field order and the
// offsets inside the packet buffer are fixed. Pointer-sized fields have their natural 64-bit
// size and alignment.
#pragma once

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#include <type_traits>

#include "platform/rawport/rawport_constants.h"

// The longest Ethernet frame rawport sends or receives, without its checksum.
const unsigned kRawMaxFrame = 1514;

// The packet buffer of one posted read. rawport sets status (non-zero: the read failed, for
// example because the adapter is gone), the received length and the frame bytes.
struct tRawPacketBuffer {
    uint8_t reserved0[24];
    uint32_t status;
    uint8_t reserved1[20];
    uint32_t length;
    uint32_t capacity; // set by the caller before the read is posted
    uint8_t frame[kRawMaxFrame];
};
static_assert(offsetof(tRawPacketBuffer, status) == 24, "packet buffer layout");
static_assert(offsetof(tRawPacketBuffer, length) == 48, "packet buffer layout");
static_assert(offsetof(tRawPacketBuffer, capacity) == 52, "packet buffer layout");
static_assert(offsetof(tRawPacketBuffer, frame) == 56, "packet buffer layout");

// An NDIS query or set, answered synchronously.
struct tNdisRequest {
    uint8_t reserved0[20];
    uint32_t kind; // 0 query, 1 set
    uint32_t oid;
    void* buffer;
    uint32_t length;
    uint32_t written; // bytes written or read
    uint32_t needed;
    uint8_t reserved1[556 - 52];
};
static_assert(sizeof(tNdisRequest) >= 556, "NDIS request record");

const uint32_t kNdisQuery = 0;
const uint32_t kNdisSet = 1;
const uint32_t OID_802_3_CURRENT_ADDRESS_ = 0x01010102;
const uint32_t OID_GEN_CURRENT_PACKET_FILTER_ = 0x0001010E;
// Status of a read whose adapter went away or was closed.
const uint32_t kRawStatusAdapterGone = 0xC000009A;
const DWORD kRawIoPending = 997;

// Ordinals of the adapter list functions, which are exported by ordinal only.
enum {
    RAWPORT_ORD_OPEN_LIST = 50,
    RAWPORT_ORD_CLOSE_LIST = 51,
    RAWPORT_ORD_FIRST_ENTRY = 52,
    RAWPORT_ORD_NEXT_ENTRY = 53,
    RAWPORT_ORD_RELEASE_ENTRY = 54,
    RAWPORT_ORD_ENTRY_NAME = 57,
};

extern "C" {
typedef int(WINAPI* tW32NOpenAdapterA)(const char* name);
typedef void(WINAPI* tW32NCloseAdapter)(int handle);
typedef int(WINAPI* tW32NMakeNdisRequest)(int handle, tNdisRequest* request, OVERLAPPED* overlapped,
                                         int synchronous);
typedef int(WINAPI* tW32NSetBPFProgram)(int handle, const void* program, unsigned length);
typedef int(WINAPI* tW32NPacketRead)(int handle, tRawPacketBuffer* buffer, uint32_t word,
                                    OVERLAPPED* overlapped, int flags);
typedef void(WINAPI* tW32NCancelPacketRead)(int handle, tRawPacketBuffer* buffer);
typedef int(WINAPI* tW32NPacketSend)(int handle, const void* frame, unsigned length,
                                    unsigned long* bytesOut, OVERLAPPED* overlapped);
typedef unsigned long(WINAPI* tW32NGetLastError)(void);
typedef int(WINAPI* tRawOpenList)(void);
typedef void(WINAPI* tRawCloseList)(int list);
typedef int(WINAPI* tRawFirstEntry)(int list);
typedef int(WINAPI* tRawNextEntry)(int list, int entry);
typedef void(WINAPI* tRawReleaseEntry)(int entry);
typedef int(WINAPI* tRawEntryName)(int entry, char* buffer, unsigned long* size);
}

// The exports as rawport.dll defines them. Callers bind them at run time through the types
// above (the adapter list by ordinal only); the declarations keep both in step.
extern "C" {
int WINAPI W32N_OpenAdapterA(const char* name);
void WINAPI W32N_CloseAdapter(int handle);
int WINAPI W32N_MakeNdisRequest(int handle, tNdisRequest* request, OVERLAPPED* overlapped, int synchronous);
int WINAPI W32N_SetBPFProgram(int handle, const void* program, unsigned length);
int WINAPI W32N_PacketRead(int handle, tRawPacketBuffer* buffer, uint32_t word, OVERLAPPED* overlapped, int flags);
void WINAPI W32N_CancelPacketRead(int handle, tRawPacketBuffer* buffer);
int WINAPI W32N_PacketSend(int handle, const void* frame, unsigned length, unsigned long* bytesOut,
                           OVERLAPPED* overlapped);
unsigned long WINAPI W32N_GetLastError(void);
int WINAPI RawportOpenAdapterList(void);
void WINAPI RawportCloseAdapterList(int list);
int WINAPI RawportFirstAdapter(int list);
int WINAPI RawportNextAdapter(int list, int entry);
void WINAPI RawportReleaseAdapter(int entry);
int WINAPI RawportAdapterName(int entry, char* buffer, unsigned long* size);
}
static_assert(std::is_same<decltype(&W32N_OpenAdapterA), tW32NOpenAdapterA>::value, "W32N_OpenAdapterA");
static_assert(std::is_same<decltype(&W32N_PacketRead), tW32NPacketRead>::value, "W32N_PacketRead");
static_assert(std::is_same<decltype(&W32N_PacketSend), tW32NPacketSend>::value, "W32N_PacketSend");
static_assert(std::is_same<decltype(&W32N_MakeNdisRequest), tW32NMakeNdisRequest>::value, "W32N_MakeNdisRequest");
static_assert(std::is_same<decltype(&RawportAdapterName), tRawEntryName>::value, "RawportAdapterName");
