// Receives a burst of answers on one adapter through the packet port and rawport, as the
// discovery engine would, and prints how many arrived and the CPU time spent. The emulator's
// "burst" command sends the frames; discovery-bench.py drives both.
// Usage: port_burst_bench.exe EXPECTED SECONDS
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "common/trace.h"
#include "powerline/packet_port.h"
#include "tests/bench/cpu_time.h"
#include "powerline/receive_filter.h"

int main(int argc, char** argv)
{
    int expected = argc > 1 ? atoi(argv[1]) : 1000;
    int seconds = argc > 2 ? atoi(argv[2]) : 10;
    TraceInit("bench /debug:0");
    tPacketPort* port = PortCreate(nullptr, nullptr, 0, kPowerlineReceiveFilter, kPowerlineFilterBytes);
    PortScanAdapters(port);
    printf("listening on %d adapter(s)\n", PortAdapterCount(port));
    fflush(stdout);
    HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    int received = 0;
    DWORD first = 0, last = 0;
    double cpuStart = CpuSeconds();
    DWORD end = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
    while (received < expected && static_cast<LONG>(end - GetTickCount()) > 0) {
        DWORD which;
        tReceivedFrame* frame = PortWait(port, &never, 1, &which, static_cast<int>(end - GetTickCount()));
        if (!frame)
            continue;
        if (frame->length > 8 && frame->data[6] == 0x02 && frame->data[7] == 0xBB) {
            if (!received)
                first = GetTickCount();
            last = GetTickCount();
            ++received;
        }
        PortRearm(frame);
    }
    double cpu = CpuSeconds() - cpuStart;
    printf("burst: %d of %d answers received over %.3f s, %.3f s CPU (%d posted reads)\n", received,
           expected, (last - first) / 1000.0, cpu, kPortPostedReads);
    PortDestroy(port);
    CloseHandle(never);
    return received == expected ? 0 : 1;
}
