// One network adapter of the PC as the wizard works with it: the local powerline adapters
// attached to it and the stations they see (the device search's picture), the response wait,
// and the key operations. Frames arrive on the layer's receive thread (OnFrame); the key
// operations run on whichever thread the wizard gives them, one at a time per adapter, and
// wait for one answer at a time.
#pragma once

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/raii.h"
#include "plexaconf/key_frames.h"
#include "plexaconf/local_plexa_adapter.h"
#include "plexaconf/windis32_adapter.h"

// How long the key operations wait, in milliseconds, and how often they try. The defaults are
// what adapters need; tests shorten them.
struct tKeyTimings {
    DWORD localZivudConfirm = 10000; // the vendor kind's confirmation of its own key
    DWORD eepromWait = 500;          // an EEPROM read answer
    DWORD afterSetKey = 100;         // before the EEPROM is read back
    DWORD zivudCheckWait = 120;      // a device description answer
    int zivudCheckRounds = 3;
    DWORD remoteKeyWindow = 400; // a remote device's confirmation, per round
    int remoteKeyRounds = 6;
    DWORD remoteKeyPause = 200; // after a round without an answer
    DWORD statRspWait = 600;    // a remote device answering under a new key, per wait
    int statRspWaits = 12;
    int eepromChecks = 3; // EEPROM reads that may show a new key
};

// Bounds against floods and forged answers, at what powerline networks hold.
const size_t kMaxLocalAdapters = 8;
const size_t kMaxStations = 16;
const size_t kMaxResponders = 64;

// Text of an address in traces: lower-case pairs joined by ":".
std::string MacTraceText(const tMacAddress& address);

class CInternalAdapter {
public:
    CInternalAdapter(std::shared_ptr<CWinDis32Adapter> raw, const tKeyTimings& timings);
    CInternalAdapter(const CInternalAdapter&) = delete;
    CInternalAdapter& operator=(const CInternalAdapter&) = delete;

    const std::string& Name() const { return m_raw->Name(); }
    const tMacAddress& Station() const { return m_raw->Station(); }
    CWinDis32Adapter& Raw() { return *m_raw; }

    // --- receive thread --------------------------------------------------------------------
    // Every frame that arrives on the adapter: the armed wait takes the response it waits
    // for; without a wait the frame goes to the search's picture.
    void OnFrame(const uint8_t* frame, size_t length);

    // --- device search ---------------------------------------------------------------------
    void ClearSearch();
    // One round of requests to everyone: device description, network statistics, status and
    // quality. Skipped while a key operation waits for an answer.
    void SendSearchRound();
    // The local adapters found, sorted by address.
    std::vector<std::shared_ptr<CLocalPlexaAdapter>> LocalAdapters() const;
    std::shared_ptr<CLocalPlexaAdapter> FindLocal(const tMacAddress& address) const;
    // The one local adapter the key operations work on: the first one.
    std::shared_ptr<CLocalPlexaAdapter> LocalAdapter() const;
    // Stations the local adapters reach, local adapters left out, sorted.
    std::vector<tMacAddress> Stations() const;
    // Stations that answer one status request within the time: who holds the key of the
    // local adapter now.
    std::set<tMacAddress> AnsweringStations(DWORD waitMs);

    // --- key operations --------------------------------------------------------------------
    bool ReceiveEEPROMSync(const tMacAddress& adapter, DWORD timeoutMs, tKeyResponse* last = nullptr);
    bool SetLocalHP1NEK(const tNetworkKey& nek);
    bool SetLocalZivudNEK(const tNetworkKey& nek);
    // Sets a key through the broadcast set-key frame, with the configuration entry when
    // twoEntries is set; a network key is then checked in the EEPROM.
    bool SetKeyWithConfiguration(uint8_t eks, const tNetworkKey& key, uint8_t value, bool twoEntries, bool flag);
    bool CheckDeviceForZivud(const tMacAddress& address);
    // 0 none found, 1 HomePlug 1.0 adapter found, 2 vendor kind found (its address in found).
    int SetRemoteZivudNEK(const tMacAddress& destination, const tNetworkKey& nek, const tNetworkKey* dak,
                          DWORD windowMs, tMacAddress& found);
    // 0 failure, 1 HomePlug 1.0 adapter set, 2 vendor kind set (its address in found).
    int SetDevice(const tNetworkKey* dak, const tNetworkKey& nek, const tMacAddress& destination, bool first,
                  tMacAddress& found);

    const tKeyTimings& Timings() const { return m_timings; }

private:
    // Which frames of the waited-for type count: from one sender only, or from anyone but
    // some; vendor responses of one subtype only.
    struct tWaitFilter {
        bool haveSender = false;
        tMacAddress sender = {};
        std::vector<tMacAddress> exclude;
        int vendorSubtype = -1;
    };

    // The receive thread keeps the response that matched for the waiter.
    void Arm(uint8_t type, const tWaitFilter& filter);
    void Disarm();
    // True when a response came within the time.
    bool WaitResponse(DWORD timeoutMs, tKeyResponse* response);
    bool Matches(const tKeyResponse& response) const;
    // The request/answer rounds of SetRemoteZivudNEK: sends, waits a window per round,
    // resends after a silent window. True with the response when one matched.
    bool WaitInRounds(const void* frame, size_t length, uint8_t type, const tWaitFilter& filter, DWORD windowMs,
                      tKeyResponse& response);
    void Digest(const uint8_t* frame, size_t length, const tKeyResponse& response);
    void AddLocal(const tMacAddress& address, tAdapterKind kind);
    void AddStation(const tMacAddress& address);
    bool IsLocal(const tMacAddress& address) const;
    bool Send(const tMgmtFrame& frame, size_t length);
    bool StatReqBroadcast();

    std::shared_ptr<CWinDis32Adapter> m_raw;
    tKeyTimings m_timings;

    mutable raii::CCriticalSection m_lock;
    // The response wait.
    uint8_t m_waitType = 0;
    bool m_armed = false;
    tWaitFilter m_filter;
    raii::CHandle m_event;
    tKeyResponse m_response = {};
    // The search's picture.
    std::vector<std::shared_ptr<CLocalPlexaAdapter>> m_locals;
    std::set<tMacAddress> m_stations;
    std::set<tMacAddress> m_responders;
};
