#include "plexaconf/local_plexa_adapter.h"

#include <string.h>

#include "common/trace.h"

CLocalPlexaAdapter::CLocalPlexaAdapter(const tMacAddress& address, tAdapterKind kind)
    : m_address(address), m_kind(kind)
{
}

tAdapterKind CLocalPlexaAdapter::Kind() const
{
    raii::CLock lock(m_lock);
    return m_kind;
}

void CLocalPlexaAdapter::SetKind(tAdapterKind kind)
{
    raii::CLock lock(m_lock);
    m_kind = kind;
}

const char* CLocalPlexaAdapter::KindName(tAdapterKind kind)
{
    return kind == ADAPTER_ZIVUD ? "zivud" : "homeplug";
}

tEepromImage CLocalPlexaAdapter::Image() const
{
    raii::CLock lock(m_lock);
    return m_image;
}

uint8_t CLocalPlexaAdapter::ImageByte(size_t position) const
{
    raii::CLock lock(m_lock);
    return position < kImageSize ? m_image.bytes[position] : 0xFF;
}

void CLocalPlexaAdapter::StoreBlock(const uint8_t block[kEepromBlock])
{
    raii::CLock lock(m_lock);
    memcpy(m_image.bytes, block, kEepromBlock);
    m_valid = true;
}

bool CLocalPlexaAdapter::HasValidImage() const
{
    raii::CLock lock(m_lock);
    return m_valid;
}

bool CLocalPlexaAdapter::ImageKey(tNetworkKey& out) const
{
    raii::CLock lock(m_lock);
    if (!m_valid || m_kind != ADAPTER_HOMEPLUG)
        return false;
    memcpy(out.bytes, m_image.bytes + kImageKey, kNetworkKeyLength);
    return true;
}

bool CLocalPlexaAdapter::CompareEEPROM(const tEepromImage& expected) const
{
    raii::CLock lock(m_lock);
    if (memcmp(expected.bytes, m_image.bytes, kEepromBlock) == 0)
        return true;
    TraceHere("CompareEEPROM failed.\n");
    return false;
}
