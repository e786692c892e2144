#include "powerline/frames.h"

#include <stdio.h>
#include <string.h>

namespace {

uint16_t Get16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

void Put16(uint8_t* p, uint16_t value)
{
    p[0] = static_cast<uint8_t>(value >> 8);
    p[1] = static_cast<uint8_t>(value);
}

// Stores a checksum as it lies in memory, the way InetChecksum loaded the words.
void StoreChecksum(uint8_t* p, uint16_t sum)
{
    memcpy(p, &sum, 2);
}

const double kNetStatScale = 1.1434511434511434;
const double kNetStatKnee = 12.357142857142858;
const double kQualityTop = 66.95238095238095;

// The pseudo-header sum of an IPv4/UDP datagram (addresses as they lie in the packet).
uint32_t PseudoHeaderSum(const uint8_t* sourceIp, const uint8_t* destinationIp, uint16_t udpLength)
{
    uint8_t pseudo[12];
    memcpy(pseudo, sourceIp, 4);
    memcpy(pseudo + 4, destinationIp, 4);
    pseudo[8] = 0;
    pseudo[9] = 17;
    Put16(pseudo + 10, udpLength);
    return InetChecksum(pseudo, sizeof pseudo, 0);
}

// Writes Ethernet, IPv4 and UDP headers around a payload already placed at offset 42.
size_t WrapUdp(uint8_t* frame, const tMacAddress& destination, const tMacAddress& source,
               uint32_t sourceIp, uint32_t destinationIp, uint16_t identification,
               uint16_t flags, uint8_t ttl, size_t payloadLength)
{
    memcpy(frame, destination.bytes, 6);
    memcpy(frame + 6, source.bytes, 6);
    Put16(frame + 12, kEtherTypeIPv4);
    uint8_t* ip = frame + kEthernetHeader;
    ip[0] = 0x45;
    ip[1] = 0;
    Put16(ip + 2, static_cast<uint16_t>(20 + 8 + payloadLength));
    memcpy(ip + 4, &identification, 2);
    Put16(ip + 6, flags);
    ip[8] = ttl;
    ip[9] = 17;
    ip[10] = ip[11] = 0;
    memcpy(ip + 12, &sourceIp, 4);
    memcpy(ip + 16, &destinationIp, 4);
    StoreChecksum(ip + 10, static_cast<uint16_t>(~InetChecksum(ip, 20, 0)));

    uint8_t* udp = ip + 20;
    uint16_t udpLength = static_cast<uint16_t>(8 + payloadLength);
    Put16(udp, kAudioPort);
    Put16(udp + 2, kAudioPort);
    Put16(udp + 4, udpLength);
    udp[6] = udp[7] = 0;
    uint16_t sum = static_cast<uint16_t>(
        ~InetChecksum(udp, udpLength, PseudoHeaderSum(ip + 12, ip + 16, udpLength)));
    StoreChecksum(udp + 6, sum == 0 ? 0xFFFF : sum);
    return kEthernetHeader + 20 + udpLength;
}

} // namespace

// --- station addresses ---------------------------------------------------------------------

bool operator==(const tMacAddress& a, const tMacAddress& b)
{
    return memcmp(a.bytes, b.bytes, 6) == 0;
}

bool operator!=(const tMacAddress& a, const tMacAddress& b)
{
    return !(a == b);
}

bool operator<(const tMacAddress& a, const tMacAddress& b)
{
    return memcmp(a.bytes, b.bytes, 6) < 0;
}

tMacAddress MacZero()
{
    return tMacAddress{{0, 0, 0, 0, 0, 0}};
}

tMacAddress MacBroadcast()
{
    return tMacAddress{{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
}

tMacAddress MacGroupBit()
{
    return tMacAddress{{0x01, 0, 0, 0, 0, 0}};
}

tMacAddress MacAnd(const tMacAddress& a, const tMacAddress& b)
{
    tMacAddress r;
    for (int i = 0; i < 6; ++i)
        r.bytes[i] = a.bytes[i] & b.bytes[i];
    return r;
}

tMacAddress MacNot(const tMacAddress& a)
{
    tMacAddress r;
    for (int i = 0; i < 6; ++i)
        r.bytes[i] = static_cast<uint8_t>(~a.bytes[i]);
    return r;
}

tMacAddress MacFromBytes(const uint8_t* bytes)
{
    tMacAddress r;
    memcpy(r.bytes, bytes, 6);
    return r;
}

bool MacIsGroup(const tMacAddress& address)
{
    return (address.bytes[0] & 0x01) != 0;
}

std::string MacToText(const tMacAddress& address, const char* separator)
{
    std::string text;
    char hex[3];
    for (int i = 0; i < 6; ++i) {
        if (i > 0 && separator)
            text += separator;
        snprintf(hex, sizeof hex, "%02X", address.bytes[i]);
        text += hex;
    }
    return text;
}

bool MacFromText(const std::string& text, tMacAddress& out)
{
    tMacAddress result;
    size_t position = 0;
    for (int i = 0; i < 6; ++i) {
        if (i > 0 && position < text.size() && (text[position] == ':' || text[position] == '-'))
            ++position;
        int value = 0;
        for (int digit = 0; digit < 2; ++digit, ++position) {
            if (position >= text.size())
                return false;
            char c = text[position];
            int nibble = c >= '0' && c <= '9'   ? c - '0'
                         : c >= 'a' && c <= 'f' ? c - 'a' + 10
                         : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                : -1;
            if (nibble < 0)
                return false;
            value = value * 16 + nibble;
        }
        result.bytes[i] = static_cast<uint8_t>(value);
    }
    if (position != text.size())
        return false;
    out = result;
    return true;
}

// --- management frames ---------------------------------------------------------------------

void MgmtInit(tMgmtFrame& frame, const tMacAddress& destination, const tMacAddress& source)
{
    memset(frame.bytes, 0, sizeof frame.bytes);
    memcpy(frame.bytes, destination.bytes, 6);
    memcpy(frame.bytes + 6, source.bytes, 6);
    Put16(frame.bytes + 12, kEtherTypeHomePlug);
    frame.bytes[14] = 0;
}

int MgmtEntryCount(const tMgmtFrame& frame)
{
    return frame.bytes[14] & 0x7F;
}

size_t MgmtLength(const tMgmtFrame& frame)
{
    size_t length = 15;
    int count = MgmtEntryCount(frame);
    for (int i = 0; i < count && length + 2 <= kMaxFrame; ++i)
        length += 2 + frame.bytes[length + 1];
    return length;
}

bool MgmtAddEntry(tMgmtFrame& frame, uint8_t type, size_t length, const uint8_t* data)
{
    int count = MgmtEntryCount(frame);
    size_t end = MgmtLength(frame);
    if (count >= kMaxEntries || length > 255 || end + 2 + length > kMaxFrame || (length > 0 && !data))
        return false;
    frame.bytes[end] = type;
    frame.bytes[end + 1] = static_cast<uint8_t>(length);
    if (length > 0)
        memcpy(frame.bytes + end + 2, data, length);
    frame.bytes[14] = static_cast<uint8_t>((frame.bytes[14] & 0x80) | (count + 1));
    return true;
}

bool MgmtParse(const uint8_t* frame, size_t length, tMgmtHandler handler, void* context)
{
    if (!frame || length <= kEthernetHeader || Get16(frame + 12) != kEtherTypeHomePlug)
        return false;
    int count = frame[14] & 0x7F;
    if (count == 0)
        return false;
    size_t position = 15;
    int delivered = 0;
    while (delivered < count && length - position > 1 && position < length) {
        uint8_t type = frame[position];
        size_t entryLength = frame[position + 1];
        if (position + 2 + entryLength > length)
            break;
        if (handler)
            handler(type, entryLength, frame + position + 2, context);
        position += 2 + entryLength;
        ++delivered;
    }
    return delivered == count;
}

size_t BuildStatReq(tMgmtFrame& frame, const tMacAddress& destination, const tMacAddress& source)
{
    MgmtInit(frame, destination, source);
    MgmtAddEntry(frame, kEntryStatReq, 0, nullptr);
    return MgmtLength(frame);
}

size_t BuildNetStatRequest(tMgmtFrame& frame, const tMacAddress& source)
{
    uint8_t data[kNetStatLength] = {0x80};
    MgmtInit(frame, MacBroadcast(), source);
    MgmtAddEntry(frame, kEntryNetStat, sizeof data, data);
    return MgmtLength(frame);
}

size_t BuildZivudDescriptionRequest(tMgmtFrame& frame, const tMacAddress& source)
{
    const uint8_t data[4] = {0x00, 0x04, 0x87, kZivudDeviceDescription};
    MgmtInit(frame, MacBroadcast(), source);
    MgmtAddEntry(frame, kEntryVendor, sizeof data, data);
    return MgmtLength(frame);
}

size_t BuildZivudQualityRequest(tMgmtFrame& frame, const tMacAddress& source)
{
    const uint8_t data[5] = {0x00, 0x04, 0x87, kZivudQuality, 0x01};
    MgmtInit(frame, MacBroadcast(), source);
    MgmtAddEntry(frame, kEntryVendor, sizeof data, data);
    return MgmtLength(frame);
}

bool IsZivudEntry(size_t length, const uint8_t* data)
{
    return length > 3 && data[0] == 0x00 && data[1] == 0x04 && data[2] == 0x87;
}

int ZivudSubtype(const uint8_t* data)
{
    return data[3] & 0x7F;
}

bool ZivudDescribesRemote(const uint8_t* data)
{
    return (data[4] & 0x01) != 0;
}

bool NetStatRecord(const uint8_t* data, int index, tMacAddress& address, uint16_t& rawRate)
{
    const uint8_t* record = data + 7 + 12 * index;
    address = MacFromBytes(record);
    if (MacAnd(address, MacNot(MacGroupBit())) == MacZero())
        return false;
    rawRate = static_cast<uint16_t>(record[6] | record[7] << 8);
    return true;
}

int ZivudQualityCount(size_t length)
{
    return length < 4 ? 0 : static_cast<int>((length - 4) / 8);
}

void ZivudQualityRecord(const uint8_t* data, int index, tMacAddress& address, uint16_t& rawRate)
{
    const uint8_t* record = data + 4 + 8 * index;
    address = MacFromBytes(record);
    rawRate = Get16(record + 6);
}

// --- rates ---------------------------------------------------------------------------------

double NetStatRate(uint16_t raw)
{
    static const double c = 14 - kNetStatKnee * kNetStatScale;
    return raw / 42.0 * kNetStatScale + c;
}

double ZivudQualityRate(uint16_t raw)
{
    double d = raw * 8.0 / 336.0;
    if (d <= 6)
        return d;
    if (d <= kNetStatKnee)
        return 6 + 8 * (d - 6) / (kNetStatKnee - 6);
    return 14 + 71 * (d - kNetStatKnee) / (kQualityTop - kNetStatKnee);
}

// --- IPv4 / UDP ------------------------------------------------------------------------------

uint16_t InetChecksum(const uint8_t* bytes, size_t length, uint32_t initial)
{
    uint32_t sum = initial;
    size_t i = 0;
    for (; i + 1 < length; i += 2) {
        uint16_t word;
        memcpy(&word, bytes + i, 2);
        sum += word;
    }
    if (i < length)
        sum += bytes[i];
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(sum);
}

size_t BuildWhoIsThere(uint8_t* frame, const tMacAddress& source, uint32_t tick)
{
    memset(frame, 0, kWhoIsThereLength);
    static const uint8_t kPayload[5] = {0x8B, 0x30, 0xB6, 0x01, 0x01};
    memcpy(frame + 42, kPayload, sizeof kPayload);
    uint16_t identification = static_cast<uint16_t>(tick); // low byte first, as it lies in memory
    return WrapUdp(frame, MacBroadcast(), source, 0, 0xFFFFFFFFu, identification, 0x4000, 255,
                   sizeof kPayload);
}

bool CheckUdpFrame(const uint8_t* frame, size_t length, tUdpPayload& out)
{
    if (!frame || length < kEthernetHeader + 20 || Get16(frame + 12) != kEtherTypeIPv4)
        return false;
    const uint8_t* ip = frame + kEthernetHeader;
    size_t received = length - kEthernetHeader;
    if ((ip[0] >> 4) != 4)
        return false;
    size_t headerLength = static_cast<size_t>(ip[0] & 0x0F) * 4;
    size_t total = Get16(ip + 2);
    if (headerLength < 20 || total < headerLength || total > received)
        return false;
    if (Get16(ip + 6) >= 0x4000)
        return false;
    if (InetChecksum(ip, headerLength, 0) != 0xFFFF)
        return false;
    if (ip[9] != 17)
        return false;
    const uint8_t* udp = ip + headerLength;
    size_t ipPayload = total - headerLength;
    if (ipPayload < 8)
        return false;
    size_t udpLength = Get16(udp + 4);
    if (udpLength < 8 || udpLength > ipPayload)
        return false;
    uint16_t checksum;
    memcpy(&checksum, udp + 6, 2);
    if (checksum != 0 &&
        InetChecksum(udp, udpLength, PseudoHeaderSum(ip + 12, ip + 16, static_cast<uint16_t>(udpLength))) != 0xFFFF)
        return false;
    if (Get16(udp + 2) != kAudioPort)
        return false;
    out.data = udp + 8;
    out.length = udpLength - 8;
    memcpy(&out.sourceAddress, ip + 12, 4);
    out.sourcePort = Get16(udp);
    return true;
}

bool ParseHello(const uint8_t* payload, size_t length, tHello& out)
{
    if (!payload || length <= 24 || memcmp(payload, kHelloMagic, 3) != 0 || payload[3] != 0x01 ||
        payload[4] != 0x00)
        return false;
    size_t pathLength = Get16(payload + 23);
    if (length < 25 + pathLength)
        return false;
    out.stream = payload[5] != 0;
    out.state = payload[6];
    memcpy(&out.address, payload + 11, 4);
    out.httpPort = Get16(payload + 15);
    out.station = MacFromBytes(payload + 17);
    out.path.assign(reinterpret_cast<const char*>(payload + 25), pathLength);
    return true;
}

std::string Ipv4ToText(uint32_t address)
{
    const uint8_t* b = reinterpret_cast<const uint8_t*>(&address);
    char text[16];
    snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    return text;
}

bool IsSafeStreamPath(const std::string& path)
{
    if (path.empty())
        return true;
    if (path[0] != '/')
        return false;
    for (char c : path) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7E || c == '"')
            return false;
    }
    return true;
}
