#include "plugins/dialtrack/providers.h"

#include "plugins/dialtrack/dial_api.h"
#include "plugins/dialtrack/formats.h"

namespace {

struct tModelIcon {
    const char* text;
    int32_t icon;
};

// Searched in this order: "Brindle 56k Pebble USB s" is found by the row before it.
const tModelIcon kModelIconTable[] = {
    {"Brindle 56k Pebble II", 9},
    {"Brindle 56k Pebble USB", 8},
    {"Brindle 56k Pebble USB s", 8},
    {"Brindle 56k PCI", 7},
    {"Brindle ADSL Pebble USB", 11},
};

} // namespace

int32_t ModelIcon(const std::string& deviceName)
{
    for (const tModelIcon& row : kModelIconTable)
        if (deviceName.find(row.text) != std::string::npos)
            return row.icon;
    return 1;
}

CConnectionWatcher::CConnectionWatcher(CRASConnection* connection) : m_connection(connection)
{
    if (m_connection)
        m_connection->AddListener(this);
}

CConnectionWatcher::~CConnectionWatcher()
{
    if (m_connection)
        m_connection->RemoveListener(this);
}

void CConnectionWatcher::OnDisconnected(CRASConnection&)
{
    m_connection = nullptr;
}

CDialtrack::CDialtrack(const std::string& key, CRASConnection* connection)
    : CConnectionWatcher(connection), m_key(key), m_entryName(connection ? connection->GetEntryName() : std::string())
{
}

CDialtrackDevice::CDialtrackDevice(const std::string& deviceName, const std::string& deviceType,
                                   CRASConnection* connection, const CTapiLine* line)
    : CConnectionWatcher(connection), m_deviceName(deviceName), m_deviceType(deviceType), m_line(line)
{
}

CRASConnDurationInfo::CRASConnDurationInfo(HINSTANCE instance, CRASConnection* connection)
    : CConnectionWatcher(connection), m_instance(instance)
{
}

void CRASConnDurationInfo::Notify(tNotification notification, bool afterChildren, CItem& item)
{
    if (notification != NOTIFY_TIMEOUT || afterChildren)
        return;
    uint64_t ms = m_connection ? m_connection->GetDurationMs() : m_frozenMs;
    item.SetValue(ConnectionDurationText(m_instance, ms));
}

void CRASConnDurationInfo::OnDisconnected(CRASConnection& connection)
{
    m_frozenMs = connection.GetDurationMs();
    CConnectionWatcher::OnDisconnected(connection);
}

CTrafficInfo::CTrafficInfo(HINSTANCE instance, CRASConnection* connection)
    : CConnectionWatcher(connection), m_instance(instance)
{
}

void CTrafficInfo::Notify(tNotification notification, bool afterChildren, CItem& item)
{
    if (afterChildren || (notification != NOTIFY_BEFORE_WAIT && notification != NOTIFY_TIMEOUT))
        return;
    TimeStamp();
    item.SetValue(GetDataRateString());
}

void CTrafficInfo::OnDisconnected(CRASConnection& connection)
{
    m_pushed = Count(connection);
    CConnectionWatcher::OnDisconnected(connection);
}

void CTrafficInfo::TimeStamp()
{
    uint32_t now = DialApi().GetTickCount();
    uint64_t count = m_pushed;
    if (m_connection) {
        m_connection->RefreshCounters();
        count = Count(*m_connection);
    }
    m_ring.TimeStamp(now, static_cast<uint32_t>(count));
}

std::string CTrafficInfo::GetDataRateString() const
{
    return DataRateText(m_instance, GetBytesRate());
}
