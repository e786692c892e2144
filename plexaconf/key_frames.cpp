#include "plexaconf/key_frames.h"

#include <string.h>

namespace {

const size_t kEntryAt = 15; // type of the first entry; its length follows, then its data

// The key entry: EKS and the eight key bytes.
void KeyEntry(uint8_t eks, const tNetworkKey& key, uint8_t out[1 + kNetworkKeyLength])
{
    out[0] = eks;
    memcpy(out + 1, key.bytes, kNetworkKeyLength);
}

} // namespace

size_t BuildSetLocalKey(tMgmtFrame& frame, const tMacAddress& destination, const tMacAddress& source,
                        const tNetworkKey& nek)
{
    uint8_t entry[1 + kNetworkKeyLength];
    KeyEntry(kEksNetwork, nek, entry);
    MgmtInit(frame, destination, source);
    MgmtAddEntry(frame, kEntrySetKey, sizeof entry, entry);
    return kSetLocalKeyFrame;
}

size_t BuildSetKey(tMgmtFrame& frame, const tMacAddress& source, uint8_t eks, const tNetworkKey& key,
                   const uint8_t* configuration)
{
    uint8_t entry[1 + kNetworkKeyLength];
    KeyEntry(eks, key, entry);
    MgmtInit(frame, MacBroadcast(), source);
    MgmtAddEntry(frame, kEntrySetKey, sizeof entry, entry);
    if (configuration)
        MgmtAddEntry(frame, kEntryConfiguration, 3, configuration);
    return kSetKeyFrame;
}

size_t BuildConfiguration(tMgmtFrame& frame, const tMacAddress& source, const uint8_t configuration[3])
{
    MgmtInit(frame, MacBroadcast(), source);
    MgmtAddEntry(frame, kEntryConfiguration, 3, configuration);
    return kConfigurationFrame;
}

size_t BuildEepromRead(tMgmtFrame& frame, const tMacAddress& destination, const tMacAddress& source,
                       uint8_t selector)
{
    uint8_t entry[15] = {selector};
    MgmtInit(frame, destination, source);
    MgmtAddEntry(frame, kEntryEeprom, sizeof entry, entry);
    return kEepromReadFrame;
}

size_t BuildVendorRequest(tMgmtFrame& frame, const tMacAddress& destination, const tMacAddress& source,
                          uint8_t subtype, const uint8_t* payload, size_t payloadLength)
{
    uint8_t entry[4 + 13] = {0x00, 0x04, 0x87, subtype};
    if (payloadLength > 13)
        payloadLength = 13; // the frame has room for no more
    if (payload && payloadLength)
        memcpy(entry + 4, payload, payloadLength);
    MgmtInit(frame, destination, source);
    MgmtAddEntry(frame, kEntryVendor, 4 + payloadLength, entry);
    return kVendorRequestFrame;
}

size_t BuildRemoteKey(tMgmtFrame& frame, const tMacAddress& destination, const tMacAddress& source,
                      const tNetworkKey& nek, const tNetworkKey* dak)
{
    MgmtInit(frame, destination, source);
    if (!dak) {
        uint8_t entry[1 + kNetworkKeyLength];
        KeyEntry(kEksNetwork, nek, entry);
        MgmtAddEntry(frame, kEntrySetKey, sizeof entry, entry);
        return kRemoteKeyFrame;
    }
    uint8_t access[2 + kNetworkKeyLength] = {0x01, 0x00};
    memcpy(access + 2, dak->bytes, kNetworkKeyLength);
    MgmtAddEntry(frame, kEntryRemoteKey, sizeof access, access);
    // What the remote device reads once the DAK has opened it: a frame of one key entry,
    // from its EtherType on.
    uint8_t* inner = frame.bytes + kEntryAt + 2 + sizeof access;
    inner[0] = 0x88;
    inner[1] = 0x7B;
    inner[2] = 0x01;
    inner[3] = kEntrySetKey;
    inner[4] = 1 + kNetworkKeyLength;
    KeyEntry(kEksNetwork, nek, inner + 5);
    return kRemoteKeyFrame;
}

bool ParseKeyResponse(const uint8_t* frame, size_t length, tKeyResponse& out)
{
    if (!frame || length < kEntryAt + 2 || frame[12] != 0x88 || frame[13] != 0x7B || (frame[14] & 0x7F) == 0)
        return false;
    tKeyResponse response;
    memset(&response, 0, sizeof response);
    response.destination = MacFromBytes(frame);
    response.source = MacFromBytes(frame + 6);
    response.type = frame[kEntryAt];
    response.entryLength = frame[kEntryAt + 1];
    response.vendorSubtype = -1;
    const uint8_t* data = frame + kEntryAt + 2;
    size_t available = length - (kEntryAt + 2);
    if (response.type == kEntryEeprom) {
        // The block follows a status byte; the entry's length says 51 although status and
        // block take 52 bytes, so the block's last byte lies just past the entry.
        if (response.entryLength == kEepromResponseLength && available >= 1 + kEepromBlock &&
            data[0] == kEepromResponseValid) {
            response.eepromValid = true;
            memcpy(response.eeprom, data + 1, kEepromBlock);
        }
    } else if (response.type == kEntryVendor) {
        size_t entry = response.entryLength < available ? response.entryLength : available;
        if (IsZivudEntry(entry, data)) {
            response.vendorSubtype = ZivudSubtype(data);
            response.describesRemote = response.vendorSubtype == kZivudDeviceDescription && entry > 4 &&
                                       ZivudDescribesRemote(data);
        }
    }
    out = response;
    return true;
}
