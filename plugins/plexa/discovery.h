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

#include "plugins/plexa/frames.h"
#include "plugins/plexa/packet_port.h"

// Where the engine takes its tick interval and its extra trigger event from (the usage
// collector); without one it ticks every 1000 ms and has no trigger.
class IDiscoverySchedule {
public:
    virtual DWORD TickInterval() = 0;
    virtual HANDLE TriggerEvent() = 0; // none when there is no trigger

protected:
    ~IDiscoverySchedule() = default;
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

// Bounds against forged answers: the lists cannot grow past these between two cleanings.
const size_t kMaxLocalDevices = 64;
const size_t kMaxRemoteDevices = 256;
const size_t kMaxAudioDevices = 64;
const size_t kMaxTemporaryEntries = 1024;

// Ages at which silent devices are forgotten; remote devices are asked again from 15 on.
const int kLocalDeviceVanishes = 15;
const int kRemoteDeviceAsked = 14;
const int kRemoteDeviceVanishes = 30;
const int kAudioDeviceVanishes = 40;

struct tDiscovery {
    DWORD lastTick = 0;
    HANDLE changeEvent = nullptr;
    tPacketPort* port = nullptr;
    IDiscoverySchedule* schedule = nullptr;
    bool started = false;
};

// One classic BPF instruction, as the filter program is handed to rawport.
struct tBpfInstruction {
    uint16_t code;
    uint8_t jt;
    uint8_t jf;
    uint32_t k;
};
static_assert(sizeof(tBpfInstruction) == 8, "classic BPF instruction");

// The receive filter: HomePlug management frames and UDP to port 15472 (10 instructions).
extern const tBpfInstruction kDiscoveryFilter[10];

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
