// One watched dial-up connection: its RAS handle and entry name, when it started and ended,
// its byte counters and duration, and the listeners told when it connects and ends.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "plugins/dialtrack/ras_conn_list.h"
#include "plugins/dialtrack/tapi_call.h"

class CRASConnection;

class CConnectionListener {
public:
    virtual ~CConnectionListener() = default;
    virtual void OnConnected(CRASConnection& connection) = 0;
    virtual void OnDisconnected(CRASConnection& connection) = 0;
};

// A connection followed through RAS; when it was found as a TAPI call it carries that call's
// handle, otherwise (RAS-only) the call handle is null.
class CRASConnection : public CTapiCall {
public:
    CRASConnection(const CRASVersion& version, HCALL call = 0);
    // A connection that has not ended is ended first, so its listeners see the end.
    ~CRASConnection() override;

    void Assign(HRASCONN handle, const std::string& entryName);
    HRASCONN GetHandle() const { return m_handle; }
    const std::string& GetEntryName() const { return m_entryName; }

    // Listeners are told in the order they were added; an ended connection tells nobody again.
    void AddListener(CConnectionListener* listener);
    void RemoveListener(CConnectionListener* listener);

    // Start: start tick and start time are now, the listeners get OnConnected, and on old RAS
    // the registry counters of this moment become the base, so the counts start at 0.
    void Connect();
    // End, at most once: end time now, the counters read one last time, then OnDisconnected.
    void End();
    bool IsEnded() const { return m_ended; }
    bool HasStartTime() const { return m_startTime != 0; }
    // FILETIME values as 64-bit numbers (100 ns since 1601); the end is 0 while running.
    uint64_t GetStartTime() const { return m_startTime; }
    uint64_t GetEndTime() const { return m_endTime; }

    // Reads the counters (nothing changes any more once the connection has ended).
    void RefreshCounters();
    uint64_t GetReceivedBytes() const;
    uint64_t GetSentBytes() const;
    // Milliseconds: RAS's own connect duration where there is one, else the wall clock from
    // start to end (or now), else the elapsed ticks.
    uint64_t GetDurationMs();
    uint64_t GetElapsedTicks() const { return m_elapsedTicks; }

    // RasHangUpA; the connection then leaves the enumeration and ends with the next snapshot.
    void HangUp();

private:
    // A 32-bit counter extended to 64 bits by counting its wraps.
    struct tCounter {
        DWORD last = 0;
        uint32_t wraps = 0;
        uint64_t base = 0;
        uint64_t Extended() const { return static_cast<uint64_t>(wraps) << 32 | last; }
    };

    uint64_t ExtendedTick();
    void ReadCounters();
    void TakeCounters(DWORD received, DWORD sent);
    uint64_t Now() const;

    CRASVersion m_version;
    HRASCONN m_handle = nullptr;
    std::string m_entryName;
    uint64_t m_startTick = 0;
    uint32_t m_tickWraps = 0;
    DWORD m_lastTick = 0;
    uint64_t m_elapsedTicks = 0;
    uint64_t m_startTime = 0;
    uint64_t m_endTime = 0;
    tCounter m_received;
    tCounter m_sent;
    uint64_t m_connectDuration = 0;
    bool m_haveConnectDuration = false;
    bool m_connected = false;
    bool m_ended = false;
    std::vector<CConnectionListener*> m_listeners;
};
