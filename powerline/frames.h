// Frames exchanged with powerline devices, byte by byte, as the PC side builds and reads them:
// HomePlug 1.0 management frames (EtherType 0x887B) with their entries, and the UDP broadcasts
// of powerline audio devices on port 15472. Also the station address type and the raw rate
// conversions. The answers devices send are built only by the emulator (tools/plcsim), from
// its own encoders. No windows.h here: this code is also built natively for fuzzing.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

// --- station addresses ---------------------------------------------------------------------

struct tMacAddress {
    uint8_t bytes[6];
};

bool operator==(const tMacAddress& a, const tMacAddress& b);
bool operator!=(const tMacAddress& a, const tMacAddress& b);
bool operator<(const tMacAddress& a, const tMacAddress& b); // byte-wise, the device list order
tMacAddress MacZero();
tMacAddress MacBroadcast();
tMacAddress MacGroupBit(); // 01:00:00:00:00:00
tMacAddress MacAnd(const tMacAddress& a, const tMacAddress& b);
tMacAddress MacNot(const tMacAddress& a);
tMacAddress MacFromBytes(const uint8_t* bytes);
// Group (multicast and broadcast) addresses name no single station: bit 0 of the first byte.
bool MacIsGroup(const tMacAddress& address);
// Two upper-case hex digits per byte, joined by the separator: "" or ":".
std::string MacToText(const tMacAddress& address, const char* separator);
// Parses "02:12:34:56:9A:BC" (any case, ":" or "-" or nothing between bytes).
bool MacFromText(const std::string& text, tMacAddress& out);

// --- management frames ---------------------------------------------------------------------

const size_t kEthernetHeader = 14;
const size_t kMaxFrame = 1514;
const uint16_t kEtherTypeHomePlug = 0x887B;
const uint16_t kEtherTypeIPv4 = 0x0800;
const int kMaxEntries = 127;

// Entry types and sizes used by the suite.
const uint8_t kEntryStatReq = 0x07;
const uint8_t kEntryStatRsp = 0x08;
const uint8_t kEntryNetStat = 0x1A;
const uint8_t kEntryVendor = 0x02;
const size_t kStatRspLength = 22;
const size_t kNetStatLength = 187;
const int kNetStatRecords = 15;
const uint8_t kZivudDeviceDescription = 0x10;
const uint8_t kZivudQuality = 0x18;

struct tMgmtFrame {
    uint8_t bytes[kMaxFrame];
};

void MgmtInit(tMgmtFrame& frame, const tMacAddress& destination, const tMacAddress& source);
bool MgmtAddEntry(tMgmtFrame& frame, uint8_t type, size_t length, const uint8_t* data);
size_t MgmtLength(const tMgmtFrame& frame);
int MgmtEntryCount(const tMgmtFrame& frame);

typedef void (*tMgmtHandler)(uint8_t type, size_t length, const uint8_t* data, void* context);
// Delivers every complete entry; true when all counted entries were delivered.
bool MgmtParse(const uint8_t* frame, size_t length, tMgmtHandler handler, void* context);

// The requests the suite sends; each returns the frame length.
size_t BuildStatReq(tMgmtFrame& frame, const tMacAddress& destination, const tMacAddress& source);
size_t BuildNetStatRequest(tMgmtFrame& frame, const tMacAddress& source);
size_t BuildZivudDescriptionRequest(tMgmtFrame& frame, const tMacAddress& source);
size_t BuildZivudQualityRequest(tMgmtFrame& frame, const tMacAddress& source);

// Vendor entries start 00 04 87; the subtype is the low 7 bits of byte 3.
bool IsZivudEntry(size_t length, const uint8_t* data);
int ZivudSubtype(const uint8_t* data);
// A device description (more than 10 bytes) whose sender says it is reached over the mains:
// bit 0 of byte 4. Clear: a local device of the HS kind.
bool ZivudDescribesRemote(const uint8_t* data);

struct tStationRecord {
    tMacAddress address;
    double rate; // Mbit/s
};

// A NetStat response record: empty records (all zero once the group bit is cleared) give false.
bool NetStatRecord(const uint8_t* data, int index, tMacAddress& address, uint16_t& rawRate);
// Records of a Zivud quality response: (L − 4) / 8 of them.
int ZivudQualityCount(size_t length);
void ZivudQualityRecord(const uint8_t* data, int index, tMacAddress& address, uint16_t& rawRate);

// --- rates ---------------------------------------------------------------------------------

double NetStatRate(uint16_t raw);
double ZivudQualityRate(uint16_t raw);

// --- IPv4 / UDP ------------------------------------------------------------------------------

const uint16_t kAudioPort = 15472;
const size_t kWhoIsThereLength = 47;
const uint8_t kHelloMagic[3] = {0x8B, 0x30, 0xB6};

// Ones'-complement sum of 16-bit words as they lie in memory, folded to 16 bits; the caller
// stores its complement. initial chains a pseudo-header sum into a payload sum.
uint16_t InetChecksum(const uint8_t* bytes, size_t length, uint32_t initial);

// The WhoIsThere broadcast; tick is the millisecond tick count (its low 16 bits identify it).
size_t BuildWhoIsThere(uint8_t* frame, const tMacAddress& source, uint32_t tick);

// A datagram that passed the IPv4/UDP checks.
struct tUdpPayload {
    const uint8_t* data;
    size_t length;
    uint32_t sourceAddress; // network order
    uint16_t sourcePort;
};
// The checks on a received IPv4/UDP frame; false drops the frame.
bool CheckUdpFrame(const uint8_t* frame, size_t length, tUdpPayload& out);

struct tHello {
    bool stream;
    uint8_t state;
    uint32_t address; // network order, from the Hello itself
    uint16_t httpPort;
    tMacAddress station;
    std::string path;
};
bool ParseHello(const uint8_t* payload, size_t length, tHello& out);

// A stream path that may go into an address and a command line: empty, or starting with "/"
// (so that it cannot change the host of the address) and printable ASCII without quotes.
bool IsSafeStreamPath(const std::string& path);

// Dotted text of an address in network order.
std::string Ipv4ToText(uint32_t address);
