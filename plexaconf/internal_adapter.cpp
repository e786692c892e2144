#include "plexaconf/internal_adapter.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "common/trace.h"

namespace {

struct tDigestContext {
    tMacAddress source;
    std::vector<std::pair<tMacAddress, tAdapterKind>> locals;
    std::vector<tMacAddress> stations;
    bool statRsp = false;
    bool fromLocal = false;
};

void DigestEntry(uint8_t type, size_t length, const uint8_t* data, void* context)
{
    tDigestContext& c = *static_cast<tDigestContext*>(context);
    if (type == kEntryStatRsp && length == kStatRspLength) {
        c.statRsp = true;
    } else if (type == kEntryNetStat && length == kNetStatLength && !(data[0] & 0x80)) {
        // Only a local adapter reports the network it sees.
        c.locals.emplace_back(c.source, ADAPTER_HOMEPLUG);
        for (int i = 0; i < kNetStatRecords; ++i) {
            tMacAddress station;
            uint16_t raw;
            if (NetStatRecord(data, i, station, raw) && !MacIsGroup(station))
                c.stations.push_back(station);
        }
    } else if (type == kEntryVendor && IsZivudEntry(length, data)) {
        int subtype = ZivudSubtype(data);
        if (subtype == kZivudDeviceDescription && length > 10) {
            if (ZivudDescribesRemote(data))
                c.stations.push_back(c.source);
            else
                c.locals.emplace_back(c.source, ADAPTER_ZIVUD);
        } else if (subtype == kZivudQuality && length > 11 && c.fromLocal) {
            for (int i = 0; i < ZivudQualityCount(length); ++i) {
                tMacAddress station;
                uint16_t raw;
                ZivudQualityRecord(data, i, station, raw);
                if (!MacIsGroup(station))
                    c.stations.push_back(station);
            }
        }
    }
}

} // namespace

std::string MacTraceText(const tMacAddress& address)
{
    char text[18];
    const uint8_t* b = address.bytes;
    snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", b[0], b[1], b[2], b[3], b[4], b[5]);
    return text;
}

CInternalAdapter::CInternalAdapter(std::shared_ptr<CWinDis32Adapter> raw, const tKeyTimings& timings)
    : m_raw(std::move(raw)), m_timings(timings), m_event(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
}

// --- the response wait ---------------------------------------------------------------------

void CInternalAdapter::Arm(uint8_t type, const tWaitFilter& filter)
{
    raii::CLock lock(m_lock);
    m_waitType = type;
    m_filter = filter;
    memset(&m_response, 0, sizeof m_response);
    ResetEvent(m_event.Get());
    m_armed = true;
}

void CInternalAdapter::Disarm()
{
    raii::CLock lock(m_lock);
    m_armed = false;
}

bool CInternalAdapter::WaitResponse(DWORD timeoutMs, tKeyResponse* response)
{
    if (WaitForSingleObject(m_event.Get(), timeoutMs) != WAIT_OBJECT_0)
        return false;
    raii::CLock lock(m_lock);
    if (response)
        *response = m_response;
    return true;
}

bool CInternalAdapter::Matches(const tKeyResponse& response) const
{
    if (response.type != m_waitType)
        return false;
    if (m_filter.haveSender && response.source != m_filter.sender)
        return false;
    for (const tMacAddress& excluded : m_filter.exclude)
        if (response.source == excluded)
            return false;
    if (m_filter.vendorSubtype >= 0 && response.vendorSubtype != m_filter.vendorSubtype)
        return false;
    if (response.type == kEntryStatRsp && response.entryLength != kStatRspLength)
        return false;
    return true;
}

void CInternalAdapter::OnFrame(const uint8_t* frame, size_t length)
{
    tKeyResponse response;
    // Management frames for this PC only: answers go to the station that asked.
    if (!ParseKeyResponse(frame, length, response) || response.destination != Station() ||
        response.source == Station())
        return;
    raii::CLock lock(m_lock);
    if (!m_armed) {
        Digest(frame, length, response);
        return;
    }
    if (!Matches(response))
        return; // the wait goes on; frames of other kinds are not wanted meanwhile
    if (response.type == kEntryEeprom && response.eepromValid)
        for (const std::shared_ptr<CLocalPlexaAdapter>& local : m_locals)
            if (local->Address() == response.source)
                local->StoreBlock(response.eeprom);
    m_response = response;
    m_armed = false;
    SetEvent(m_event.Get());
}

// --- the search's picture ------------------------------------------------------------------

void CInternalAdapter::Digest(const uint8_t* frame, size_t length, const tKeyResponse& response)
{
    tDigestContext context;
    context.source = response.source;
    context.fromLocal = IsLocal(response.source);
    MgmtParse(frame, length, DigestEntry, &context);
    for (const auto& local : context.locals)
        AddLocal(local.first, local.second);
    if (context.statRsp) {
        if (m_responders.size() < kMaxResponders)
            m_responders.insert(response.source);
        AddStation(response.source);
    }
    // Stations are reported by local adapters only; a remote device speaks for itself.
    if (IsLocal(response.source))
        for (const tMacAddress& station : context.stations)
            AddStation(station);
    else if (std::find(context.stations.begin(), context.stations.end(), response.source) != context.stations.end())
        AddStation(response.source);
}

void CInternalAdapter::AddLocal(const tMacAddress& address, tAdapterKind kind)
{
    for (const std::shared_ptr<CLocalPlexaAdapter>& local : m_locals)
        if (local->Address() == address) {
            // An adapter of the vendor kind also answers as a HomePlug 1.0 adapter; it stays
            // what its description said.
            if (kind == ADAPTER_ZIVUD)
                local->SetKind(kind);
            return;
        }
    if (m_locals.size() >= kMaxLocalAdapters || MacIsGroup(address))
        return;
    auto local = std::make_shared<CLocalPlexaAdapter>(address, kind);
    auto at = std::lower_bound(m_locals.begin(), m_locals.end(), local,
                               [](const std::shared_ptr<CLocalPlexaAdapter>& a,
                                  const std::shared_ptr<CLocalPlexaAdapter>& b) { return a->Address() < b->Address(); });
    m_locals.insert(at, local);
    m_stations.erase(address);
}

void CInternalAdapter::AddStation(const tMacAddress& address)
{
    if (m_stations.size() < kMaxStations && !MacIsGroup(address) && address != MacZero() &&
        address != Station() && !IsLocal(address))
        m_stations.insert(address);
}

bool CInternalAdapter::IsLocal(const tMacAddress& address) const
{
    for (const std::shared_ptr<CLocalPlexaAdapter>& local : m_locals)
        if (local->Address() == address)
            return true;
    return false;
}

void CInternalAdapter::ClearSearch()
{
    raii::CLock lock(m_lock);
    m_locals.clear();
    m_stations.clear();
    m_responders.clear();
}

void CInternalAdapter::SendSearchRound()
{
    {
        raii::CLock lock(m_lock);
        if (m_armed)
            return;
    }
    tMgmtFrame frame;
    Send(frame, BuildZivudDescriptionRequest(frame, Station()));
    Send(frame, BuildNetStatRequest(frame, Station()));
    Send(frame, BuildStatReq(frame, MacBroadcast(), Station()));
    Send(frame, BuildZivudQualityRequest(frame, Station()));
}

std::vector<std::shared_ptr<CLocalPlexaAdapter>> CInternalAdapter::LocalAdapters() const
{
    raii::CLock lock(m_lock);
    return m_locals;
}

std::shared_ptr<CLocalPlexaAdapter> CInternalAdapter::FindLocal(const tMacAddress& address) const
{
    raii::CLock lock(m_lock);
    for (const std::shared_ptr<CLocalPlexaAdapter>& local : m_locals)
        if (local->Address() == address)
            return local;
    return nullptr;
}

std::shared_ptr<CLocalPlexaAdapter> CInternalAdapter::LocalAdapter() const
{
    raii::CLock lock(m_lock);
    return m_locals.empty() ? nullptr : m_locals.front();
}

std::vector<tMacAddress> CInternalAdapter::Stations() const
{
    raii::CLock lock(m_lock);
    std::vector<tMacAddress> stations;
    for (const tMacAddress& station : m_stations)
        if (!IsLocal(station))
            stations.push_back(station);
    return stations;
}

std::set<tMacAddress> CInternalAdapter::AnsweringStations(DWORD waitMs)
{
    {
        raii::CLock lock(m_lock);
        m_responders.clear();
    }
    if (!StatReqBroadcast())
        return std::set<tMacAddress>();
    Sleep(waitMs);
    raii::CLock lock(m_lock);
    return m_responders;
}

// --- sending -------------------------------------------------------------------------------

bool CInternalAdapter::Send(const tMgmtFrame& frame, size_t length)
{
    return m_raw->Send(frame.bytes, length);
}

bool CInternalAdapter::StatReqBroadcast()
{
    tMgmtFrame frame;
    return Send(frame, BuildStatReq(frame, MacBroadcast(), Station()));
}

// --- key operations ------------------------------------------------------------------------

bool CInternalAdapter::ReceiveEEPROMSync(const tMacAddress& adapter, DWORD timeoutMs, tKeyResponse* last)
{
    std::shared_ptr<CLocalPlexaAdapter> local = LocalAdapter();
    // Only the local adapter's own block counts, whoever else answers.
    tWaitFilter filter;
    if (local || adapter != MacBroadcast()) {
        filter.haveSender = true;
        filter.sender = local ? local->Address() : adapter;
    }
    tKeyResponse response = {};
    bool received = false;
    const struct {
        tMacAddress destination;
        uint8_t selector;
    } requests[2] = {{MacBroadcast(), kEepromSelectorBroadcast}, {adapter, kEepromSelectorAdapter}};
    for (const auto& request : requests) {
        Arm(kEntryEeprom, filter);
        tMgmtFrame frame;
        if (!Send(frame, BuildEepromRead(frame, request.destination, Station(), request.selector)))
            continue;
        if (!WaitResponse(timeoutMs, &response))
            continue;
        // An answer of another length gets one more wait; any answer then will do.
        if (response.entryLength != kEepromResponseLength) {
            Arm(kEntryEeprom, filter);
            if (!WaitResponse(timeoutMs, &response))
                continue;
        }
        received = true;
        break;
    }
    Disarm();
    TraceHere(received ? "Receiving EEPROM succeeded\n" : "Receiving EEPROM failed\n");
    if (last)
        *last = response;
    return received;
}

bool CInternalAdapter::SetLocalHP1NEK(const tNetworkKey& nek)
{
    tMgmtFrame frame;
    if (Send(frame, BuildSetLocalKey(frame, MacBroadcast(), Station(), nek)))
        return true;
    TraceHere("SetLocalZivudNEK failed\n");
    return false;
}

bool CInternalAdapter::SetLocalZivudNEK(const tNetworkKey& nek)
{
    std::shared_ptr<CLocalPlexaAdapter> local = LocalAdapter();
    bool confirmed = false;
    if (local) {
        tWaitFilter filter;
        filter.haveSender = true;
        filter.sender = local->Address();
        Arm(kEntrySetKeyConfirm, filter);
        tMgmtFrame frame;
        confirmed = Send(frame, BuildSetLocalKey(frame, local->Address(), Station(), nek)) &&
                    WaitResponse(m_timings.localZivudConfirm, nullptr);
        Disarm();
    }
    if (!confirmed)
        TraceHere("SetLocalZivudNEK failed\n");
    return confirmed;
}

bool CInternalAdapter::SetKeyWithConfiguration(uint8_t eks, const tNetworkKey& key, uint8_t value, bool twoEntries,
                                               bool flag)
{
    std::shared_ptr<CLocalPlexaAdapter> local = LocalAdapter();
    if (!local)
        return false;
    tEepromImage expected = local->Image();
    const uint8_t configuration[3] = {
        static_cast<uint8_t>(expected.bytes[kImageConfiguration] | kConfigurationEnable),
        static_cast<uint8_t>(expected.bytes[kImageConfiguration + 1] | (flag ? kConfigurationTemporary : 0)),
        value};
    expected.bytes[kImageEks] = eks;
    memcpy(expected.bytes + kImageKey, key.bytes, kNetworkKeyLength);
    if (!flag)
        memcpy(expected.bytes + kImageConfiguration, configuration, sizeof configuration);

    tMgmtFrame frame;
    if (!Send(frame, BuildSetKey(frame, Station(), eks, key, twoEntries ? configuration : nullptr)))
        return false;
    Sleep(m_timings.afterSetKey);
    // A default key slot cannot be read back.
    if (eks == kEksDefault)
        return true;
    for (int check = 0; check < m_timings.eepromChecks; ++check) {
        tKeyResponse last;
        if (ReceiveEEPROMSync(MacBroadcast(), m_timings.eepromWait, &last) && local->CompareEEPROM(expected) &&
            last.entryLength == kEepromResponseLength && last.eepromValid)
            return true;
    }
    return false;
}

bool CInternalAdapter::CheckDeviceForZivud(const tMacAddress& address)
{
    std::shared_ptr<CLocalPlexaAdapter> local = LocalAdapter();
    bool zivud = false;
    if (!local || address != local->Address()) {
        tWaitFilter filter;
        filter.haveSender = true;
        filter.sender = address;
        filter.vendorSubtype = kZivudDeviceDescription;
        const uint8_t payload[1] = {0};
        tMgmtFrame frame;
        size_t length = BuildVendorRequest(frame, address, Station(), kZivudDeviceDescription, payload, sizeof payload);
        Arm(kEntryVendor, filter);
        for (int round = 0; round < m_timings.zivudCheckRounds && !zivud; ++round) {
            if (round > 0)
                Arm(kEntryVendor, filter);
            Send(frame, length);
            zivud = WaitResponse(m_timings.zivudCheckWait, nullptr);
        }
        Disarm();
    }
    TraceHere("Checking device %s for zivud with the result: %s\n", MacTraceText(address).c_str(),
              zivud ? "zivud" : "homeplug");
    return zivud;
}

bool CInternalAdapter::WaitInRounds(const void* frame, size_t length, uint8_t type, const tWaitFilter& filter,
                                    DWORD windowMs, tKeyResponse& response)
{
    Arm(type, filter);
    m_raw->Send(frame, length);
    for (int round = 0; round < m_timings.remoteKeyRounds; ++round) {
        if (WaitResponse(windowMs, &response))
            return true;
        TraceHere("timeout\n");
        if (round + 1 < m_timings.remoteKeyRounds) {
            Arm(type, filter);
            m_raw->Send(frame, length);
            Sleep(m_timings.remoteKeyPause);
        }
    }
    return false;
}

int CInternalAdapter::SetRemoteZivudNEK(const tMacAddress& destination, const tNetworkKey& nek, const tNetworkKey* dak,
                                        DWORD windowMs, tMacAddress& found)
{
    std::shared_ptr<CLocalPlexaAdapter> local = LocalAdapter();
    tMacAddress localAddress = local ? local->Address() : MacZero();

    // The remote device that takes the key confirms it: the one addressed, or when asking
    // everyone, anyone but the local adapter.
    tWaitFilter confirm;
    if (destination == MacBroadcast()) {
        confirm.exclude = {localAddress, Station()};
    } else {
        confirm.haveSender = true;
        confirm.sender = destination;
    }
    tMgmtFrame frame;
    size_t length = BuildRemoteKey(frame, destination, Station(), nek, dak);
    tKeyResponse response;
    int result = 0;
    if (WaitInRounds(frame.bytes, length, kEntrySetKeyConfirm, confirm, windowMs, response)) {
        TraceHere("HPSetNEKResp returned with: %s\n", MacTraceText(response.source).c_str());
        TraceHere("We found a Zivud\n");
        found = response.source;
        result = ADAPTER_ZIVUD;
    }
    Disarm();
    if (result == 0) {
        // A HomePlug 1.0 adapter does not confirm; it answers once it holds the key.
        tWaitFilter answer;
        answer.exclude = {localAddress, Station(), MacBroadcast()};
        length = BuildStatReq(frame, MacBroadcast(), Station());
        bool answered = WaitInRounds(frame.bytes, length, kEntryStatRsp, answer, windowMs, response);
        Disarm();
        if (answered) {
            TraceHere("We found a HP1 with the address:%s \n", MacTraceText(response.source).c_str());
            found = response.source;
            result = CheckDeviceForZivud(found) ? ADAPTER_ZIVUD : ADAPTER_HOMEPLUG;
        }
    }
    return result;
}

int CInternalAdapter::SetDevice(const tNetworkKey* dak, const tNetworkKey& nek, const tMacAddress& destination,
                                bool first, tMacAddress& found)
{
    std::vector<std::shared_ptr<CLocalPlexaAdapter>> locals = LocalAdapters();
    if (locals.size() != 1) {
        TraceHere("We found %d devices!\n", static_cast<int>(locals.size()));
        for (const std::shared_ptr<CLocalPlexaAdapter>& local : locals)
            Trace(" - MACAddress: %s\n", MacTraceText(local->Address()).c_str());
        return 0;
    }
    std::shared_ptr<CLocalPlexaAdapter> local = locals.front();
    if (local->Kind() == ADAPTER_ZIVUD)
        return SetRemoteZivudNEK(first ? MacBroadcast() : destination, nek, dak, m_timings.remoteKeyWindow, found);

    // A HomePlug 1.0 adapter reaches a remote device only through the default key slot,
    // which must hold that device's access key.
    if (!dak) {
        TraceHere("no device access key for %s\n", MacTraceText(destination).c_str());
        return 0;
    }
    ReceiveEEPROMSync(local->Address(), m_timings.eepromWait);
    bool ok = SetKeyWithConfiguration(kEksDefault, *dak, 0x00, true, true);
    TraceHere(ok ? "Setting local DEK succeeded\n" : "Setting local DEK failed\n");
    ok = SetKeyWithConfiguration(kEksNetwork, nek, 0x01, false, true);
    TraceHere(ok ? "Setting remote NEK succeeded\n" : "Setting remote NEK failed\n");
    const uint8_t configuration[3] = {static_cast<uint8_t>(local->ImageByte(kImageConfiguration) | kConfigurationEnable),
                                      static_cast<uint8_t>(local->ImageByte(kImageConfiguration + 1) | kConfigurationTemporary),
                                      0x01};
    tMgmtFrame frame;
    if (!Send(frame, BuildConfiguration(frame, Station(), configuration)))
        TraceHere("Setting TFC failed\n");

    tWaitFilter answer;
    answer.exclude = {local->Address(), Station(), MacBroadcast()};
    Arm(kEntryStatRsp, answer);
    tKeyResponse response;
    bool answered = StatReqBroadcast();
    if (answered) {
        answered = false;
        for (int wait = 0; wait < m_timings.statRspWaits && !answered; ++wait)
            answered = WaitResponse(m_timings.statRspWait, &response);
    }
    Disarm();
    if (!answered) {
        TraceHere("Returned unsuccesful from waiting for HPReqStatsResp\n");
        return 0;
    }
    found = response.source;
    return CheckDeviceForZivud(found) ? ADAPTER_ZIVUD : ADAPTER_HOMEPLUG;
}
