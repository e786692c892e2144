// The record of a powerline adapter attached to one of the PC's network adapters (a local
// adapter): its address, its kind and the image of its EEPROM block as last read. The image is
// written on the receive thread and read by the thread running a key operation.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "common/raii.h"
#include "plexaconf/key_frames.h"
#include "powerline/frames.h"
#include "powerline/network_key.h"

// The two kinds of adapter; the numbers are the results the key operations report.
enum tAdapterKind { ADAPTER_HOMEPLUG = 1, ADAPTER_ZIVUD = 2 };

const size_t kImageSize = 128;

struct tEepromImage {
    uint8_t bytes[kImageSize];
};

class CLocalPlexaAdapter {
public:
    CLocalPlexaAdapter(const tMacAddress& address, tAdapterKind kind);
    CLocalPlexaAdapter(const CLocalPlexaAdapter&) = delete;
    CLocalPlexaAdapter& operator=(const CLocalPlexaAdapter&) = delete;

    const tMacAddress& Address() const { return m_address; }
    tAdapterKind Kind() const;
    void SetKind(tAdapterKind kind);
    // "homeplug" or "zivud", as traces name the kinds.
    static const char* KindName(tAdapterKind kind);

    // A copy of the whole image (zero until the first valid read).
    tEepromImage Image() const;
    // A byte of the image; positions at or beyond its end read 0xFF.
    uint8_t ImageByte(size_t position) const;
    // A valid read response's block replaces the start of the image.
    void StoreBlock(const uint8_t block[kEepromBlock]);
    bool HasValidImage() const;
    // The key the image holds (bytes 15-22): offered for HomePlug 1.0 adapters with a valid
    // image only.
    bool ImageKey(tNetworkKey& out) const;
    // Whether the image read last matches the expected one in the bytes a read delivers.
    bool CompareEEPROM(const tEepromImage& expected) const;

private:
    mutable raii::CCriticalSection m_lock;
    tMacAddress m_address;
    tAdapterKind m_kind;
    tEepromImage m_image = {};
    bool m_valid = false;
};
