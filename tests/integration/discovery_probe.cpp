// Runs the real discovery engine through rawport.dll and prints the device picture every time
// DiscoveryRun reports a change, for the integration tests and the discovery benchmark:
//
//   PICTURE <ms since start>
//   ADAPTER <name> <station>
//   LOCAL <address> <kind>
//   REMOTE <local> <address> <hs> <rate>
//   AUDIO <address> <ip> <stream> <state> <base url> <stream url or ->
//   END
//
// Usage: discovery_probe.exe TICK_MS SECONDS
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "common/trace.h"
#include "plugins/plexa/discovery.h"

namespace {

void Print(tDiscovery* discovery, DWORD start)
{
    printf("PICTURE %lu\n", GetTickCount() - start);
    for (tPortAdapter* adapter = PortFirstAdapter(discovery->port); adapter; adapter = PortNextAdapter(adapter)) {
        printf("ADAPTER %s %s\n", adapter->name.c_str(), MacToText(MacFromBytes(adapter->station), ":").c_str());
        tDeviceSet* set = DeviceSetOf(adapter);
        if (!set)
            continue;
        for (const tLocalDevice& local : set->locals) {
            std::string l = MacToText(local.address, ":");
            printf("LOCAL %s %d\n", l.c_str(), local.kind);
            for (const tRemoteDevice& remote : local.remotes)
                printf("REMOTE %s %s %d %.3f\n", l.c_str(), MacToText(remote.address, ":").c_str(), remote.hs, remote.rate);
        }
        for (const tAudioDevice& audio : set->audios)
            printf("AUDIO %s %s %d %d %s %s\n", MacToText(audio.address, ":").c_str(), Ipv4ToText(audio.ipv4).c_str(),
                   audio.stream, audio.state, audio.baseUrl.c_str(), audio.streamUrl.empty() ? "-" : audio.streamUrl.c_str());
    }
    printf("END\n");
    fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    DWORD tick = argc > 1 ? static_cast<DWORD>(atoi(argv[1])) : 1000;
    DWORD seconds = argc > 2 ? static_cast<DWORD>(atoi(argv[2])) : 60;
    // Standard output carries the picture only: the engine's own trace is silenced.
    TraceInit("probe /debug:0");
    CFixedSchedule schedule(tick);
    tDiscovery* discovery = DiscoveryCreate(&schedule);
    HANDLE refresh = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    DWORD start = GetTickCount();
    HANDLE timer = CreateWaitableTimerA(nullptr, TRUE, nullptr);
    LARGE_INTEGER due;
    due.QuadPart = -static_cast<LONGLONG>(seconds) * 10000000;
    SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE);
    // The cancel event is the timer: the run ends when the time is up.
    while (DiscoveryRun(discovery, refresh, timer))
        Print(discovery, start);
    DiscoveryDestroy(discovery);
    CloseHandle(refresh);
    CloseHandle(timer);
    return 0;
}
