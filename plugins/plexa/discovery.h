// The discovery engine: for every network adapter, the local powerline devices attached to it,
// the remote devices each reaches over the mains with the rate of that link, and the audio
// devices that announce themselves by UDP. It sends its requests on a fixed tick, digests the
// answers, forgets devices that fall silent, and reports when the picture changed. It has no
// thread of its own: DiscoveryRun runs inside GetState on the monitor's worker thread.
#pragma once

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "powerline/frames.h"
#include "powerline/packet_port.h"
#include "powerline/receive_filter.h"

// Where the engine takes its tick interval and its extra trigger event from (the usage
// collector); without one it ticks every 1000 ms and has no trigger.
class IDiscoverySchedule {
public:
    virtual DWORD TickInterval() = 0;
    virtual HANDLE TriggerEvent() = 0; // none when there is no trigger

protected:
    ~IDiscoverySchedule() = default;
};

// A fixed tick and no trigger, for programs that run the engine without a usage collector.
class CFixedSchedule : public IDiscoverySchedule {
public:
    explicit CFixedSchedule(DWORD tick) : m_tick(tick) {}
    DWORD TickInterval() override { return m_tick; }
    HANDLE TriggerEvent() override { return nullptr; }

private:
    DWORD m_tick;
};

struct tRemoteDevice {
    int age = 0;
    int hs = 0;
    double rate = 0;
    tMacAddress address;
};

struct tLocalDevice {
    int age = 0;
    int kind = 0; // 0 HomePlug 1.0, 1 HS
    tMacAddress address;
    std::vector<tRemoteDevice> remotes; // sorted by address
};

struct tAudioDevice {
    int age = 0;
    tMacAddress address;
    uint32_t ipv4 = 0; // network order
    int stream = 0;
    uint8_t state = 0;
    std::string baseUrl;
    std::string streamUrl;
};

struct tDeviceSet {
    int cycle = 0;
    int burst = 5;
    std::vector<tLocalDevice> locals; // sorted by address
    std::vector<tAudioDevice> audios; // sorted by address
    std::set<tMacAddress> answered;
    std::set<tMacAddress> zivudRemote;
    std::set<tMacAddress> unknown;
};

// Bounds against forged answers, at what powerline networks hold: a HomePlug 1.0 network
// reports at most 15 stations besides the one answering, and an Ethernet segment has a few
// powerline adapters. The lists cannot grow past these; the temporary sets only between two
// cleanings, and devices already known are always taken in.
const size_t kMaxLocalDevices = 8;
const size_t kMaxRemoteDevices = 16;
const size_t kMaxAudioDevices = 16;
const size_t kMaxTemporaryEntries = 256;
// StatReq frames to single stations per round: silent remote devices first, then stations
// still to be asked. At the 20 ms gap they leave within half a tick, so that the broadcasts of
// the next tick are not held up behind them however many stations answer.
const int kMaxDirectedRequests = 24;
// Changes are reported at most this often; what changes meanwhile goes into the next report,
// so that a flood of answers does not make every frame a rebuild of the status tree.
const DWORD kMinChangeIntervalMs = 250;

// Ages at which silent devices are forgotten; remote devices are asked again from 15 on.
const int kLocalDeviceVanishes = 15;
const int kRemoteDeviceAsked = 14;
const int kRemoteDeviceVanishes = 30;
const int kAudioDeviceVanishes = 40;

struct tDiscovery {
    DWORD lastTick = 0;
    DWORD lastChange = 0; // when DiscoveryRun last reported a change
    bool reported = false;
    HANDLE changeEvent = nullptr;
    tPacketPort* port = nullptr;
    IDiscoverySchedule* schedule = nullptr;
    bool started = false;
};

tDiscovery* DiscoveryCreate(IDiscoverySchedule* schedule);
// Destroys the packet port with all adapters and closes the change event.
void DiscoveryDestroy(tDiscovery* discovery);
// Blocks until the picture changed or an update was forced (true) or cancel (false).
bool DiscoveryRun(tDiscovery* discovery, HANDLE refreshEvent, HANDLE cancelEvent);
DWORD DiscoveryTickInterval(const tDiscovery* discovery);

// The parts of a run, for the plug-in front and the tests.
tDeviceSet* DeviceSetOf(tPortAdapter* adapter);
void DiscoveryStart(tDiscovery* discovery);
void DiscoveryTick(tDiscovery* discovery, bool& changed);
void DiscoveryHandleFrame(tDiscovery* discovery, tPortAdapter* adapter, const uint8_t* frame,
                          size_t length, bool& changed);
