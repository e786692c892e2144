// The management frames by which the wizard changes keys and reads an adapter's EEPROM, and
// the responses it waits for. Each builder writes one complete Ethernet frame of the length
// these frames are sent with (bytes no field covers stay zero) and returns that length. The
// layout of a management frame (addresses, EtherType 0x887B, entry count, entries of type,
// length and data) is powerline/frames.h's. No windows.h here: this code is also built
// natively for fuzzing.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "powerline/frames.h"
#include "powerline/network_key.h"

// Entry types of the key frames and of the responses to them.
const uint8_t kEntrySetKey = 0x04;        // EKS, key
const uint8_t kEntrySetKeyConfirm = 0x06; // "HPSetNEKResp"
const uint8_t kEntryRemoteKey = 0x14;     // the vendor's key for a remote device, with its DAK
const uint8_t kEntryEeprom = 0x19;        // EEPROM read request and response
const uint8_t kEntryConfiguration = 0x1F; // three configuration bytes

// Encryption key select: the default key slot that holds a DAK (DEK), or the network key.
const uint8_t kEksDefault = 0x00;
const uint8_t kEksNetwork = 0x01;

// EEPROM read selectors: the first request goes to everyone, the second to the adapter.
const uint8_t kEepromSelectorBroadcast = 0x00;
const uint8_t kEepromSelectorAdapter = 0x10;

// The EEPROM block of a local adapter as a read response carries it, and the positions of the
// wizard's business in it.
const size_t kEepromBlock = 51;
const uint8_t kEepromResponseLength = 0x33;
const uint8_t kEepromResponseValid = 0x01;
const size_t kImageEks = 14;
const size_t kImageKey = 15;
const size_t kImageConfiguration = 0x17; // three bytes: 0x17, 0x18 and the value at 25
const uint8_t kConfigurationEnable = 0x40;   // OR-ed into the first configuration byte
const uint8_t kConfigurationTemporary = 0x01; // OR-ed into the second: not kept in the EEPROM

// Lengths the frames are sent with.
const size_t kSetLocalKeyFrame = 272;
const size_t kSetKeyFrame = 31;
const size_t kConfigurationFrame = 20;
const size_t kEepromReadFrame = 32;
const size_t kVendorRequestFrame = 35;
const size_t kRemoteKeyFrame = 54;

// Set local key: EKS 0x01 and the NEK, to the adapter itself (vendor kind) or broadcast.
size_t BuildSetLocalKey(tMgmtFrame& frame, const tMacAddress& destination, const tMacAddress& source,
                        const tNetworkKey& nek);
// Set key (broadcast): EKS and key; with configuration bytes (three of them) a second entry
// carries them.
size_t BuildSetKey(tMgmtFrame& frame, const tMacAddress& source, uint8_t eks, const tNetworkKey& key,
                   const uint8_t* configuration);
// Configuration (broadcast): the three bytes alone.
size_t BuildConfiguration(tMgmtFrame& frame, const tMacAddress& source, const uint8_t configuration[3]);
// EEPROM read with a selector.
size_t BuildEepromRead(tMgmtFrame& frame, const tMacAddress& destination, const tMacAddress& source,
                       uint8_t selector);
// Vendor request: 00 04 87, the subtype, then the payload (at most 13 bytes).
size_t BuildVendorRequest(tMgmtFrame& frame, const tMacAddress& destination, const tMacAddress& source,
                          uint8_t subtype, const uint8_t* payload, size_t payloadLength);
// The vendor's key for a remote device: with its DAK, an entry naming the DAK followed by the
// key entry as the remote device is to read it; without a DAK, the key entry alone.
size_t BuildRemoteKey(tMgmtFrame& frame, const tMacAddress& destination, const tMacAddress& source,
                      const tNetworkKey& nek, const tNetworkKey* dak);

// A received frame as the response wait sees it. Every field is taken only from bytes that
// are there; a frame that is no management frame of at least one entry header gives false.
struct tKeyResponse {
    tMacAddress destination;
    tMacAddress source;
    uint8_t type;        // byte 15, the first entry's type
    uint8_t entryLength; // byte 16
    // EEPROM read response: the entry says 0x33, the first data byte says 0x01 and the whole
    // block is there; then the block.
    bool eepromValid;
    uint8_t eeprom[kEepromBlock];
    // Vendor response: subtype (low 7 bits, -1 for none) and, for a device description,
    // whether the sender says it is reached over the mains.
    int vendorSubtype;
    bool describesRemote;
};
bool ParseKeyResponse(const uint8_t* frame, size_t length, tKeyResponse& out);
