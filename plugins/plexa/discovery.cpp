#include "plugins/plexa/discovery.h"

#include <string.h>

#include <algorithm>

#include "common/trace.h"

namespace {

const DWORD kDefaultTickMs = 1000;
const DWORD kBroadcastGapMs = 100;
const DWORD kDirectedGapMs = 20;
// Ticks that fell behind by more than this (a long pause of the worker) are not caught up
// one by one: that would flood the adapters with a burst of rounds.
const DWORD kMaxTicksBehind = 5;

template <class T>
void Update(T& field, const T& value, bool& changed)
{
    if (!(field == value)) {
        field = value;
        changed = true;
    }
}

std::string Mac(const tMacAddress& address)
{
    return MacToText(address, "");
}

template <class Device>
Device* FindDevice(std::vector<Device>& devices, const tMacAddress& address)
{
    auto it = std::lower_bound(devices.begin(), devices.end(), address,
                               [](const Device& d, const tMacAddress& a) { return d.address < a; });
    return it != devices.end() && it->address == address ? &*it : nullptr;
}

// Finds or inserts a device in an address-sorted list; none when the list is full.
template <class Device>
Device* FindOrInsert(std::vector<Device>& devices, const tMacAddress& address, const char* typeName,
                     size_t limit, bool& changed)
{
    auto it = std::lower_bound(devices.begin(), devices.end(), address,
                               [](const Device& d, const tMacAddress& a) { return d.address < a; });
    if (it != devices.end() && it->address == address)
        return &*it;
    if (devices.size() >= limit)
        return nullptr;
    Device device;
    device.address = address;
    it = devices.insert(it, device);
    Trace("[plexa] ++ %s found: %s\n", typeName, Mac(address).c_str());
    changed = true;
    return &*it;
}

bool IsKnownDevice(const tDeviceSet& set, const tMacAddress& address)
{
    for (const tLocalDevice& local : set.locals) {
        if (local.address == address)
            return true;
        for (const tRemoteDevice& remote : local.remotes)
            if (remote.address == address)
                return true;
    }
    return false;
}

// A full set still takes the devices already known, so that forged answers cannot push the
// real devices out of it.
void AddTemporary(const tDeviceSet& devices, std::set<tMacAddress>& set, const tMacAddress& address)
{
    if (set.size() < kMaxTemporaryEntries || IsKnownDevice(devices, address))
        set.insert(address);
}

// --- sending -----------------------------------------------------------------------------------

tMacAddress Station(const tPortAdapter* adapter)
{
    return MacFromBytes(adapter->station);
}

void SendDescriptionRound(tPortAdapter* adapter)
{
    tMgmtFrame frame;
    size_t length = BuildZivudDescriptionRequest(frame, Station(adapter));
    Trace("[plexa] ## sending Zivud device description broadcast on %s\n", adapter->name.c_str());
    PortQueueFrame(adapter, frame.bytes, length, kBroadcastGapMs);
    length = BuildNetStatRequest(frame, Station(adapter));
    Trace("[plexa] ## sending NetStat broadcast on %s\n", adapter->name.c_str());
    PortQueueFrame(adapter, frame.bytes, length, kBroadcastGapMs);
}

void SendStatusRound(tPortAdapter* adapter, const tDeviceSet& set)
{
    if (set.locals.empty())
        return;
    tMgmtFrame frame;
    size_t length = BuildStatReq(frame, MacBroadcast(), Station(adapter));
    Trace("[plexa] ## sending StatReq broadcast on %s\n", adapter->name.c_str());
    PortQueueFrame(adapter, frame.bytes, length, kBroadcastGapMs);
    uint8_t whoIsThere[kWhoIsThereLength];
    length = BuildWhoIsThere(whoIsThere, Station(adapter), GetTickCount());
    Trace("[plexa] ## sending WhoIsThere broadcast on %s\n", adapter->name.c_str());
    PortQueueFrame(adapter, whoIsThere, length, kBroadcastGapMs);
    length = BuildZivudQualityRequest(frame, Station(adapter));
    Trace("[plexa] ## sending Zivud quality broadcast on %s\n", adapter->name.c_str());
    PortQueueFrame(adapter, frame.bytes, length, kBroadcastGapMs);
}

void SendDirectedRequests(tPortAdapter* adapter, tDeviceSet& set)
{
    for (const tMacAddress& address : set.answered)
        AddTemporary(set, set.unknown, address);
    for (const tMacAddress& address : set.zivudRemote)
        AddTemporary(set, set.unknown, address);
    // The silent remote devices take their places first: they are about to vanish.
    std::vector<tMacAddress> silent;
    for (const tLocalDevice& local : set.locals)
        for (const tRemoteDevice& remote : local.remotes)
            if (remote.age > kRemoteDeviceAsked && silent.size() < static_cast<size_t>(kMaxDirectedRequests))
                silent.push_back(remote.address);
    int budget = kMaxDirectedRequests - static_cast<int>(silent.size());
    tMgmtFrame frame;
    for (const tMacAddress& address : set.unknown) {
        if (budget <= 0)
            break;
        if (IsKnownDevice(set, address))
            continue;
        size_t length = BuildStatReq(frame, address, Station(adapter));
        Trace("[plexa] ## sending StatReq to unknown device: %s\n", Mac(address).c_str());
        PortQueueFrame(adapter, frame.bytes, length, kDirectedGapMs);
        --budget;
    }
    for (const tMacAddress& address : silent) {
        size_t length = BuildStatReq(frame, address, Station(adapter));
        Trace("[plexa] ## sending StatReq to remote device: %s\n", Mac(address).c_str());
        PortQueueFrame(adapter, frame.bytes, length, kDirectedGapMs);
    }
}

void Age(tDeviceSet& set, bool& changed)
{
    for (size_t i = 0; i < set.locals.size();) {
        tLocalDevice& local = set.locals[i];
        if (++local.age >= kLocalDeviceVanishes) {
            Trace("[plexa] -- local device vanished: %s\n", Mac(local.address).c_str());
            set.locals.erase(set.locals.begin() + static_cast<std::ptrdiff_t>(i));
            changed = true;
            continue;
        }
        for (size_t j = 0; j < local.remotes.size();) {
            if (++local.remotes[j].age >= kRemoteDeviceVanishes) {
                Trace("[plexa] -- remote device vanished: %s\n", Mac(local.remotes[j].address).c_str());
                local.remotes.erase(local.remotes.begin() + static_cast<std::ptrdiff_t>(j));
                changed = true;
                continue;
            }
            ++j;
        }
        ++i;
    }
    for (size_t i = 0; i < set.audios.size();) {
        if (++set.audios[i].age >= kAudioDeviceVanishes) {
            Trace("[plexa] -- audio device vanished: %s\n", Mac(set.audios[i].address).c_str());
            set.audios.erase(set.audios.begin() + static_cast<std::ptrdiff_t>(i));
            changed = true;
            continue;
        }
        ++i;
    }
}

// --- receiving ---------------------------------------------------------------------------------

struct tFrameContext {
    tPortAdapter* adapter;
    tDeviceSet* set;
    tMacAddress source;
    bool* changed;
};

tLocalDevice* AnsweringLocal(tFrameContext& c, int kind)
{
    tLocalDevice* local = FindOrInsert(c.set->locals, c.source, "tLocalDevice", kMaxLocalDevices, *c.changed);
    if (local) {
        local->age = 0;
        local->kind = kind;
    }
    if (c.set->burst > 2)
        c.set->burst = 2;
    return local;
}

void OnNetStat(tFrameContext& c, const uint8_t* data)
{
    Trace("[plexa] RX NetStat %s <", Mac(c.source).c_str());
    int shown = 0;
    for (int i = 0; i < kNetStatRecords; ++i) {
        tMacAddress address;
        uint16_t raw;
        if (NetStatRecord(data, i, address, raw))
            Trace("%s%s", shown++ ? "," : "", Mac(address).c_str());
    }
    Trace(">\n");

    tLocalDevice* local = AnsweringLocal(c, 0);
    for (int i = 0; i < kNetStatRecords; ++i) {
        tMacAddress address;
        uint16_t raw;
        if (!NetStatRecord(data, i, address, raw))
            continue;
        if (MacIsGroup(address)) {
            AddTemporary(*c.set, c.set->unknown, MacAnd(address, MacNot(MacGroupBit())));
            continue;
        }
        if (!local)
            continue;
        tRemoteDevice* remote = FindOrInsert(local->remotes, address, "tRemoteDevice", kMaxRemoteDevices, *c.changed);
        if (!remote)
            continue;
        remote->age = 0;
        if (c.set->zivudRemote.count(address))
            Update(remote->hs, 1, *c.changed);
        Update(remote->rate, NetStatRate(raw), *c.changed);
    }
}

void OnZivudDescription(tFrameContext& c, size_t length, const uint8_t* data)
{
    if (length <= 10)
        return;
    if (ZivudDescribesRemote(data)) {
        Trace("[plexa] RX ZivudDevDsc (remote) %s\n", Mac(c.source).c_str());
        for (tLocalDevice& local : c.set->locals)
            if (tRemoteDevice* remote = FindDevice(local.remotes, c.source)) {
                Update(remote->hs, 1, *c.changed);
                break;
            }
        AddTemporary(*c.set, c.set->zivudRemote, c.source);
    } else {
        Trace("[plexa] RX ZivudDevDsc (local) %s\n", Mac(c.source).c_str());
        AnsweringLocal(c, 1);
    }
}

void OnZivudQuality(tFrameContext& c, size_t length, const uint8_t* data)
{
    if (length <= 11)
        return;
    tLocalDevice* local = FindDevice(c.set->locals, c.source);
    int count = ZivudQualityCount(length);
    Trace("[plexa] RX ZivudQuality (%s) %s <", local ? "local" : "unknown", Mac(c.source).c_str());
    for (int i = 0; i < count; ++i) {
        tMacAddress address;
        uint16_t raw;
        ZivudQualityRecord(data, i, address, raw);
        Trace("%s%s", i ? "," : "", Mac(address).c_str());
    }
    Trace(">\n");
    if (!local)
        return;
    for (int i = 0; i < count; ++i) {
        tMacAddress address;
        uint16_t raw;
        ZivudQualityRecord(data, i, address, raw);
        if (MacIsGroup(address))
            continue; // names no station
        bool zivud = c.set->zivudRemote.count(address) > 0;
        if (!zivud && !c.set->answered.count(address)) {
            AddTemporary(*c.set, c.set->unknown, address);
            continue;
        }
        tRemoteDevice* remote = FindOrInsert(local->remotes, address, "tRemoteDevice", kMaxRemoteDevices, *c.changed);
        if (!remote)
            continue;
        remote->age = 0;
        if (zivud)
            Update(remote->hs, 1, *c.changed);
        Update(remote->rate, ZivudQualityRate(raw), *c.changed);
    }
}

void OnEntry(uint8_t type, size_t length, const uint8_t* data, void* context)
{
    tFrameContext& c = *static_cast<tFrameContext*>(context);
    if (type == kEntryStatRsp && length == kStatRspLength) {
        Trace("[plexa] RX StatRsp %s\n", Mac(c.source).c_str());
        AddTemporary(*c.set, c.set->answered, c.source);
    } else if (type == kEntryNetStat && length == kNetStatLength && !(data[0] & 0x80)) {
        OnNetStat(c, data);
    } else if (type == kEntryVendor && IsZivudEntry(length, data)) {
        if (ZivudSubtype(data) == kZivudDeviceDescription)
            OnZivudDescription(c, length, data);
        else if (ZivudSubtype(data) == kZivudQuality)
            OnZivudQuality(c, length, data);
    }
}

void OnHello(tFrameContext& c, const tHello& hello, uint32_t sourceIp)
{
    Trace("[plexa] RX Hello %s\n", Mac(c.source).c_str());
    if (hello.station != c.source)
        return;
    tAudioDevice* audio = FindOrInsert(c.set->audios, c.source, "tAudioDevice", kMaxAudioDevices, *c.changed);
    if (!audio)
        return;
    audio->age = 0;
    Update(audio->ipv4, sourceIp, *c.changed);
    Update(audio->state, hello.state, *c.changed);
    std::string dotted = Ipv4ToText(sourceIp);
    Update(audio->baseUrl, "http://" + dotted + "/", *c.changed);
    bool stream = hello.stream;
    if (stream && !IsSafeStreamPath(hello.path)) {
        // The path goes into an address and a player's command line: none at all rather
        // than one that could change either.
        Trace("[plexa] warning: stream path of %s refused\n", Mac(c.source).c_str());
        stream = false;
    }
    if (stream) {
        std::string url = "http://" + dotted;
        if (hello.httpPort != 80)
            url += ":" + std::to_string(hello.httpPort);
        url += hello.path;
        Update(audio->streamUrl, url, *c.changed);
        Update(audio->stream, 1, *c.changed);
        if (hello.address != sourceIp) {
            Trace("[plexa] warning: source address is %s, ", dotted.c_str());
            Trace("but address in Hello frame is %s!\n", Ipv4ToText(hello.address).c_str());
        }
    } else {
        Update(audio->stream, 0, *c.changed);
        Update(audio->streamUrl, std::string(), *c.changed);
    }
}

void OnAdapterEvent(int event, tPortAdapter* adapter, void* user)
{
    tDiscovery* discovery = static_cast<tDiscovery*>(user);
    if (event == PORT_ADAPTER_ADDED) {
        Trace("[plexa] ## adapter added: %s\n", adapter->name.c_str());
        delete static_cast<tDeviceSet*>(adapter->owner);
        adapter->owner = new tDeviceSet;
    } else {
        Trace("[plexa] ## adapter removed: %s\n", adapter->name.c_str());
        delete static_cast<tDeviceSet*>(adapter->owner);
        adapter->owner = nullptr;
        SetEvent(discovery->changeEvent);
    }
}

} // namespace

tDiscovery* DiscoveryCreate(IDiscoverySchedule* schedule)
{
    tDiscovery* discovery = new tDiscovery;
    discovery->changeEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    discovery->schedule = schedule;
    return discovery;
}

void DiscoveryDestroy(tDiscovery* discovery)
{
    if (!discovery)
        return;
    PortDestroy(discovery->port);
    if (discovery->changeEvent)
        CloseHandle(discovery->changeEvent);
    delete discovery;
}

DWORD DiscoveryTickInterval(const tDiscovery* discovery)
{
    DWORD interval = discovery->schedule ? discovery->schedule->TickInterval() : kDefaultTickMs;
    return interval ? interval : kDefaultTickMs;
}

tDeviceSet* DeviceSetOf(tPortAdapter* adapter)
{
    return adapter ? static_cast<tDeviceSet*>(adapter->owner) : nullptr;
}

void DiscoveryStart(tDiscovery* discovery)
{
    discovery->lastTick = GetTickCount() - DiscoveryTickInterval(discovery);
    discovery->port = PortCreate(OnAdapterEvent, discovery, 0, kPowerlineReceiveFilter, kPowerlineFilterBytes);
    PortScanAdapters(discovery->port);
    discovery->started = true;
}

void DiscoveryTick(tDiscovery* discovery, bool& changed)
{
    for (tPortAdapter* adapter = PortFirstAdapter(discovery->port); adapter; adapter = PortNextAdapter(adapter)) {
        tDeviceSet* set = DeviceSetOf(adapter);
        if (!set)
            continue;
        Age(*set, changed);
        ++set->cycle;
        if (set->burst > 0) {
            SendDescriptionRound(adapter);
            SendStatusRound(adapter, *set);
            SendDirectedRequests(adapter, *set);
            set->cycle = 0;
            --set->burst;
            continue;
        }
        if (set->cycle == 3) {
            SendDirectedRequests(adapter, *set);
            Trace("[plexa] !! cleaning temporary lists on %s\n", adapter->name.c_str());
            set->answered.clear();
            set->zivudRemote.clear();
            set->unknown.clear();
        } else if (set->cycle == 4) {
            SendDescriptionRound(adapter);
        } else if (set->cycle >= 5) {
            SendStatusRound(adapter, *set);
            set->cycle = 0;
        }
    }
}

void DiscoveryHandleFrame(tDiscovery*, tPortAdapter* adapter, const uint8_t* frame, size_t length,
                          bool& changed)
{
    tDeviceSet* set = DeviceSetOf(adapter);
    if (!set || !frame || length < kEthernetHeader)
        return;
    tFrameContext context = {adapter, set, MacFromBytes(frame + 6), &changed};
    // A group address names no device: whatever claims to come from one is forged or broken.
    if (MacIsGroup(context.source))
        return;
    if ((frame[12] << 8 | frame[13]) == kEtherTypeIPv4) {
        tUdpPayload udp;
        tHello hello;
        if (CheckUdpFrame(frame, length, udp) && ParseHello(udp.data, udp.length, hello))
            OnHello(context, hello, udp.sourceAddress);
        return;
    }
    if (memcmp(frame, adapter->station, 6) != 0)
        return;
    MgmtParse(frame, length, OnEntry, &context);
}

bool DiscoveryRun(tDiscovery* discovery, HANDLE refreshEvent, HANDLE cancelEvent)
{
    if (!discovery->started)
        DiscoveryStart(discovery);
    bool changed = false;
    for (;;) {
        DWORD sinceReport = GetTickCount() - discovery->lastChange;
        if (changed && (!discovery->reported || sinceReport >= kMinChangeIntervalMs))
            break;
        DWORD interval = DiscoveryTickInterval(discovery);
        DWORD since = GetTickCount() - discovery->lastTick;
        if (since >= interval) {
            discovery->lastTick = since > kMaxTicksBehind * interval ? GetTickCount()
                                                                    : discovery->lastTick + interval;
            DiscoveryTick(discovery, changed);
            continue;
        }
        DWORD wait = interval - since;
        if (changed && kMinChangeIntervalMs - sinceReport < wait)
            wait = kMinChangeIntervalMs - sinceReport;
        HANDLE trigger = discovery->schedule ? discovery->schedule->TriggerEvent() : nullptr;
        HANDLE handles[4] = {cancelEvent, refreshEvent, discovery->changeEvent, trigger};
        int count = trigger ? 4 : 3;
        DWORD which = WAIT_TIMEOUT;
        tReceivedFrame* frame = PortWait(discovery->port, handles, count, &which, static_cast<int>(wait));
        if (frame) {
            DiscoveryHandleFrame(discovery, frame->adapter, frame->data, frame->length, changed);
            PortRearm(frame);
            continue;
        }
        switch (which) {
        case WAIT_OBJECT_0:
            Trace("[plexa] cancel event signaled!\n");
            return false;
        case WAIT_OBJECT_0 + 1:
            Trace("[plexa] refresh event signaled!\n");
            PortScanAdapters(discovery->port);
            break;
        case WAIT_OBJECT_0 + 2:
            Trace("[plexa] force update signaled!\n");
            changed = true;
            break;
        case WAIT_OBJECT_0 + 3:
            Trace("[plexa] trigger event!\n");
            changed = true;
            break;
        case WAIT_TIMEOUT:
            break;
        default:
            Sleep(10); // a failed wait must not spin
            break;
        }
    }
    discovery->lastChange = GetTickCount();
    discovery->reported = true;
    return true;
}
