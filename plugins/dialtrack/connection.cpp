#include "plugins/dialtrack/connection.h"

#include <algorithm>

#include "common/trace.h"

CRASConnection::CRASConnection(const CRASVersion& version, HCALL call) : CTapiCall(call), m_version(version)
{
    m_lastTick = DialApi().GetTickCount();
}

CRASConnection::~CRASConnection()
{
    End();
}

void CRASConnection::Assign(HRASCONN handle, const std::string& entryName)
{
    m_handle = handle;
    m_entryName = entryName;
}

void CRASConnection::AddListener(CConnectionListener* listener)
{
    if (listener && std::find(m_listeners.begin(), m_listeners.end(), listener) == m_listeners.end())
        m_listeners.push_back(listener);
}

void CRASConnection::RemoveListener(CConnectionListener* listener)
{
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener), m_listeners.end());
}

uint64_t CRASConnection::Now() const
{
    FILETIME now = {};
    DialApi().GetSystemTimeAsFileTime(&now);
    return static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
}

uint64_t CRASConnection::ExtendedTick()
{
    DWORD tick = DialApi().GetTickCount();
    if (tick < m_lastTick)
        ++m_tickWraps;
    m_lastTick = tick;
    return static_cast<uint64_t>(m_tickWraps) << 32 | tick;
}

void CRASConnection::Connect()
{
    if (m_connected || m_ended)
        return;
    m_connected = true;
    m_startTick = ExtendedTick(); // minus the age already known, which is 0 for a new connection
    m_startTime = Now();
    std::vector<CConnectionListener*> listeners = m_listeners;
    for (CConnectionListener* listener : listeners)
        listener->OnConnected(*this);
    if (m_call && GetOrigin() > LINECALLORIGIN_OUTBOUND)
        return; // only calls this machine made (or did not say) get counters of their own
    if (m_version.IsOldRas()) {
        DWORD received = 0, sent = 0;
        if (DialApi().ReadOldRasCounters(&received, &sent)) {
            m_received = tCounter{received, 0, received};
            m_sent = tCounter{sent, 0, sent};
        }
    }
}

void CRASConnection::End()
{
    if (m_ended)
        return;
    m_endTime = Now();
    ReadCounters();
    m_ended = true;
    std::vector<CConnectionListener*> listeners;
    listeners.swap(m_listeners); // nobody hears of this connection again
    for (CConnectionListener* listener : listeners)
        listener->OnDisconnected(*this);
}

void CRASConnection::RefreshCounters()
{
    // After the end the handle may already belong to another connection: keep what was read.
    if (!m_ended)
        ReadCounters();
}

void CRASConnection::ReadCounters()
{
    m_elapsedTicks = ExtendedTick() - m_startTick;
    if (!m_handle)
        return;
    // Old RAS has no statistics call; its counters are in the registry.
    DWORD result = static_cast<DWORD>(E_NOTIMPL);
    if (!m_version.IsOldRas()) {
        RAS_STATS statistics = {};
        statistics.dwSize = 60;
        result = DialApi().RasGetConnectionStatistics(m_handle, &statistics);
        if (result == 0) {
            TakeCounters(statistics.dwBytesRcved, statistics.dwBytesXmited);
            m_connectDuration = statistics.dwConnectDuration;
            m_haveConnectDuration = true;
            return;
        }
    }
    if (result == static_cast<DWORD>(E_NOTIMPL)) {
        DWORD received = 0, sent = 0;
        if (DialApi().ReadOldRasCounters(&received, &sent))
            TakeCounters(received, sent);
    }
}

void CRASConnection::TakeCounters(DWORD received, DWORD sent)
{
    if (received == 0 && sent == 0)
        return; // a reading of nothing at all is no reading
    if (received < m_received.last)
        ++m_received.wraps;
    if (sent < m_sent.last)
        ++m_sent.wraps;
    m_received.last = received;
    m_sent.last = sent;
}

uint64_t CRASConnection::GetReceivedBytes() const
{
    uint64_t value = m_received.Extended();
    return value > m_received.base ? value - m_received.base : 0;
}

uint64_t CRASConnection::GetSentBytes() const
{
    uint64_t value = m_sent.Extended();
    return value > m_sent.base ? value - m_sent.base : 0;
}

uint64_t CRASConnection::GetDurationMs()
{
    RefreshCounters();
    if (!m_version.IsOldRas() && m_handle && m_haveConnectDuration)
        return m_connectDuration;
    if (m_startTime != 0) {
        uint64_t end = m_ended ? m_endTime : Now();
        return end > m_startTime ? (end - m_startTime) / 10000 : 0;
    }
    return m_elapsedTicks;
}

void CRASConnection::HangUp()
{
    if (m_handle && !m_ended) {
        DWORD result = DialApi().RasHangUpA(m_handle);
        TraceVerbose("RasHangUp returned %lu\n", result);
        (void)result;
    }
}
