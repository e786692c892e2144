#include "plexaconf/windis32_adapter.h"

CWinDis32Adapter::CWinDis32Adapter(tPortAdapter* adapter)
    : m_adapter(adapter), m_name(adapter->name), m_station(MacFromBytes(adapter->station))
{
}

bool CWinDis32Adapter::Send(const void* frame, size_t length)
{
    raii::CLock lock(m_lock);
    return m_adapter && PortSendNow(m_adapter, frame, length);
}

void CWinDis32Adapter::Detach()
{
    raii::CLock lock(m_lock);
    m_adapter = nullptr;
}

bool CWinDis32Adapter::IsAttached()
{
    raii::CLock lock(m_lock);
    return m_adapter != nullptr;
}
