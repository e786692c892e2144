// Cost of one GetState cycle of the dial-up plug-in over a fake dial-up world: the wait itself
// takes no time here (time-out 0), so what is measured is the plug-in's work per wake-up (the
// connection snapshot, counters, rates, duration texts). Printed for 8 connections with traffic,
// side by side with the same cycle without connections and with one.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/raii.h"
#include "common/tests/test_support.h"
#include "plugins/dialtrack/dialtrack_plugin.h"
#include "plugins/dialtrack/tests/fake_dialup.h"

namespace {

double Microseconds()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

double Percentile(std::vector<double> values, double share)
{
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(share * static_cast<double>(values.size() - 1))];
}

void Measure(int connections, int cycles)
{
    testsupport::CTempDir dir;
    CFakeDialup world;
    for (int i = 0; i < connections; ++i) {
        tFakeConnection& c = world.Dial(0x100 + i, "Connection " + std::to_string(i), "Brindle 56k PCI #" + std::to_string(i));
        c.receiveRate = 4000 + 100 * i;
        c.sendRate = 500 + 10 * i;
    }
    DialtrackSetFolder(dir.Path());
    DialtrackSetTimeout(0);
    raii::CHandle cancel(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    raii::CHandle refresh(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    DialtrackGetState(cancel.Get(), refresh.Get()); // creation is not a cycle
    std::vector<double> times;
    for (int i = 0; i < cycles; ++i) {
        world.Advance(1000);
        double start = Microseconds();
        CState* tree = DialtrackGetState(cancel.Get(), refresh.Get());
        times.push_back(Microseconds() - start);
        if (!tree || tree->GetCount() != (connections ? connections + 1 : 0)) {
            fprintf(stderr, "unexpected tree after cycle %d\n", i);
            exit(1);
        }
    }
    DialtrackCleanup();
    printf("  %d connection(s): median %8.1f us, 90th percentile %8.1f us per GetState (%d cycles)\n", connections,
           Percentile(times, 0.5), Percentile(times, 0.9), cycles);
}

} // namespace

int main(int argc, char** argv)
{
    int cycles = argc > 1 ? atoi(argv[1]) : 2000;
    DialtrackAttach(GetModuleHandleA(nullptr));
    printf("dialtrack GetState cost over a fake dial-up world (wait time-out 0)\n");
    Measure(0, cycles);
    Measure(1, cycles);
    Measure(8, cycles);
    DialtrackDetach(false);
    return 0;
}
