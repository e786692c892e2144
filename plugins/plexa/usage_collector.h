// The usage data collector: when the user allows it, one record per local/remote device pair
// and check period goes to condata.csv beside the monitor, and from time to time the records
// travel, gzip-compressed, to a collection server in an HTTP multipart POST. Addresses leave
// the PC only as MD5 digests mixed with a per-installation identifier. The collector also
// paces the discovery engine (the tick interval and the trigger of each check period).
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "common/raii.h"
#include "plugins/plexa/discovery.h"
#include "plugins/plexa/usage_format.h"

extern const char kCollectorKey[]; // under HKEY_LOCAL_MACHINE

struct tCollectorSettings {
    std::string progId;
    uint64_t checkInterval = 3600000; // ms
    tTimeStamp lastAttempt;
    std::string server;
    std::string serverPage;
    bool debugMode = false;
    uint64_t submitInterval = 2592000; // s
    uint64_t timerInterval = 1000;     // ms
};

// The check timer: fires once per period, never restarted by a wake.
class CCollectTimer {
public:
    explicit CCollectTimer(DWORD period);
    ~CCollectTimer();
    CCollectTimer(const CCollectTimer&) = delete;
    CCollectTimer& operator=(const CCollectTimer&) = delete;

    HANDLE TriggerEvent() const { return m_trigger.Get(); }
    // The monitor's cancel event: when it is set, the thread ends.
    void SetStopHandle(HANDLE stop);
    void Wake();
    bool DataWanted();
    void ClearDataWanted();

private:
    static DWORD WINAPI Thread(void* parameter);
    void Run();

    DWORD m_period;
    raii::CHandle m_trigger;
    raii::CHandle m_wake;
    raii::CHandle m_quit; // our own end, at destruction
    std::atomic<HANDLE> m_stop;
    raii::CCriticalSection m_lock;
    bool m_dataWanted = false;
    DWORD m_lastFiring = 0;
    raii::CHandle m_thread;
};

// The outcome of one upload attempt.
struct tUploadResult {
    bool sent = false;      // a status came back
    DWORD status = 0;       // HTTP status code
    DWORD milliseconds = 0; // how long the request took
};

class CUsageCollector : public IDiscoverySchedule {
public:
    CUsageCollector();
    ~CUsageCollector();

    void Start();
    void Stop();
    bool CollectingAllowed() const;
    // Whether the current GetState collects (CollectingAllowed as read at its start); the
    // trigger is offered to the discovery engine only then.
    void SetActive(bool active) { m_active = active; }
    DWORD TickInterval() override;
    HANDLE TriggerEvent() override;
    void BeforeGetState(HANDLE cancelEvent);
    void Record(const tLocalDevice& local, const tRemoteDevice& remote);

    const tCollectorSettings& Settings() const { return m_settings; }
    // Where the records go: condata.csv in the host program's folder.
    static std::string RecordFile();
    std::string CollectorId() const;
    // Compresses the record file and sends it; truncates it after a 200.
    tUploadResult Upload(const std::string& recordFile);

private:
    void ReadSettings();

    tCollectorSettings m_settings;
    CCollectTimer* m_timer = nullptr;
    bool m_active = false;
};

// MD5 of a text as 32 lower-case hex digits.
std::string Md5Hex(const std::string& text);
// The record of one pair at a given time, with this system's version, language and country.
tUsageRecord MakeUsageRecord(const tLocalDevice& local, const tRemoteDevice& remote, const std::string& progId,
                             const tTimeStamp& now);
tTimeStamp TimeStampNow();
