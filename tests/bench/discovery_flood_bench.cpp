// The discovery engine's five-tick cycle under floods of forged answers, against the same
// engine on a quiet network in the same run. An in-memory network (the test rawport) holds one
// local device and one remote device that answer what the engine asks; a flood thread adds
//   - "StatRsp flood": status answers from 1,024 invented stations, about 1,000 a second;
//   - "NetStat flood": network statistics from 16 invented local devices with ever new rates,
//     about 500 a second.
// Printed per run: the spacing of the engine's NetStat broadcasts (one per five ticks), the
// longest the send queue grew, the most StatReq frames to single stations in one round,
// devices that vanished, how often DiscoveryRun reported a change, and the CPU time used.
//
// Usage: discovery_flood_bench.exe [SECONDS per run, default 30] [TICK_MS, default 1000]
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "common/trace.h"
#include "plugins/plexa/discovery.h"
#include "powerline/tests/fake_rawport.h"
#include "powerline/tests/test_stations.h"
#include "tests/bench/cpu_time.h"
#include "tools/plcsim/answers.h"

using namespace fakerawport;
using namespace teststations;

namespace {

const char kAdapter[] = "\\Device\\NPF_{BENCH}";

enum tFlood { FLOOD_NONE, FLOOD_STATRSP, FLOOD_NETSTAT };

bool IsStatReq(const std::vector<uint8_t>& b)
{
    return b.size() > 16 && b[12] == 0x88 && b[13] == 0x7B && b[15] == kEntryStatReq;
}

bool IsNetStatRequest(const std::vector<uint8_t>& b)
{
    return b.size() > 17 && b[12] == 0x88 && b[13] == 0x7B && b[15] == kEntryNetStat;
}

// The real network: the local device answers NetStat and status requests, the remote device
// status requests, each a few milliseconds after the request left.
void PlayNetwork(std::atomic<bool>& stop, size_t& seen)
{
    while (!stop) {
        std::vector<tSentFrame> sent = Sent();
        for (; seen < sent.size(); ++seen) {
            const std::vector<uint8_t>& b = sent[seen].bytes;
            if (IsNetStatRequest(b))
                Deliver(kAdapter, AnswerNetStat(kPc, kLocal, {{kRemote, 519}}));
            if (IsStatReq(b)) {
                tMacAddress to = MacFromBytes(b.data());
                if (to == MacBroadcast() || to == kLocal)
                    Deliver(kAdapter, AnswerStatRsp(kPc, kLocal));
                if (to == MacBroadcast() || to == kRemote)
                    Deliver(kAdapter, AnswerStatRsp(kPc, kRemote));
            }
        }
        Sleep(3);
    }
}

void Flood(std::atomic<bool>& stop, tFlood kind, std::atomic<long>& delivered, std::atomic<long>& lost)
{
    unsigned i = 0;
    DWORD next = GetTickCount();
    const DWORD burst = 10; // frames every 10 ms (or 5): about 1,000 (or 500) a second
    while (!stop) {
        for (DWORD n = 0; n < burst; ++n, ++i) {
            std::vector<uint8_t> frame;
            if (kind == FLOOD_STATRSP) {
                tMacAddress forged = {{0x02, 0xBB, 0, 0, static_cast<uint8_t>((i % 1024) >> 8), static_cast<uint8_t>(i)}};
                frame = AnswerStatRsp(kPc, forged);
            } else {
                // Invented local devices, each reporting 15 stations at rates that keep changing.
                tMacAddress forged = {{0x02, 0x66, 0, 0, 0, static_cast<uint8_t>(i % 16)}};
                std::vector<tStationRate> stations;
                for (unsigned s = 0; s < 15; ++s)
                    stations.push_back({tMacAddress{{0x02, 0x77, 0, static_cast<uint8_t>(i % 16), static_cast<uint8_t>(s), 0}},
                                        static_cast<uint16_t>(400 + (i + s) % 200)});
                frame = AnswerNetStat(kPc, forged, stations);
            }
            if (Deliver(kAdapter, frame))
                ++delivered;
            else
                ++lost; // no read posted: the engine is behind, as a real adapter would drop
        }
        next += kind == FLOOD_STATRSP ? 10 : 20;
        LONG wait = static_cast<LONG>(next - GetTickCount());
        if (wait > 0)
            Sleep(static_cast<DWORD>(wait));
    }
}

struct tResult {
    std::string name;
    std::vector<DWORD> netStatGaps;
    size_t maxQueue = 0;
    int maxDirected = 0;
    int vanished = 0;
    int reports = 0;
    double seconds = 0;
    double cpu = 0;
    long delivered = 0;
    long lost = 0;
    size_t locals = 0, remotes = 0;
};

int CountInFile(const std::string& path, const char* text)
{
    FILE* in = fopen(path.c_str(), "rb");
    if (!in)
        return 0;
    std::string content;
    char piece[65536];
    size_t n;
    while ((n = fread(piece, 1, sizeof piece, in)) > 0)
        content.append(piece, n);
    fclose(in);
    int count = 0;
    for (size_t at = content.find(text); at != std::string::npos; at = content.find(text, at + 1))
        ++count;
    return count;
}

tResult RunOnce(const char* name, tFlood flood, DWORD seconds, DWORD tick, const std::string& trace)
{
    tResult result;
    result.name = name;
    TraceCloseAll();
    DeleteFileA(trace.c_str());
    TraceInit(("bench /debug:" + trace).c_str());
    tFakeAdapter adapter;
    adapter.name = kAdapter;
    memcpy(adapter.station, kPc.bytes, 6);
    Install({adapter});
    SetSendsPending(false);

    CFixedSchedule schedule(tick);
    tDiscovery* discovery = DiscoveryCreate(&schedule);
    HANDLE cancel = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE refresh = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::atomic<bool> stop(false);
    std::atomic<long> delivered(0), lost(0);
    std::atomic<size_t> maxQueue(0);
    size_t seen = 0;

    DiscoveryStart(discovery); // the port exists before anyone looks at it
    DWORD start = GetTickCount();
    double cpuStart = CpuSeconds();
    std::thread engine([&] {
        while (DiscoveryRun(discovery, refresh, cancel)) {
            ++result.reports;
            size_t queued = PortQueuedFrames(PortFirstAdapter(discovery->port));
            if (queued > maxQueue)
                maxQueue = queued;
        }
    });
    std::thread network([&] { PlayNetwork(stop, seen); });
    std::thread flooder;
    // The flood starts once the engine is in its steady cycle.
    Sleep(8 * tick);
    if (flood != FLOOD_NONE)
        flooder = std::thread([&] { Flood(stop, flood, delivered, lost); });
    DWORD end = start + seconds * 1000;
    while (static_cast<LONG>(end - GetTickCount()) > 0) {
        Sleep(20);
        // The sender's queue as the engine leaves it between two waits; read without the
        // engine's lock, so only as a figure.
        tPortAdapter* first = PortFirstAdapter(discovery->port);
        size_t queued = first ? PortQueuedFrames(first) : 0;
        if (queued > maxQueue)
            maxQueue = queued;
    }
    stop = true;
    if (flooder.joinable())
        flooder.join();
    SetEvent(cancel);
    engine.join();
    network.join();
    result.seconds = (GetTickCount() - start) / 1000.0;
    result.cpu = CpuSeconds() - cpuStart;
    result.delivered = delivered;
    result.lost = lost;
    result.maxQueue = maxQueue;

    tDeviceSet* set = DeviceSetOf(PortFirstAdapter(discovery->port));
    if (set) {
        result.locals = set->locals.size();
        for (const tLocalDevice& l : set->locals)
            result.remotes += l.remotes.size();
    }
    // NetStat broadcasts after the start-up schedule, and directed requests per round.
    std::vector<tSentFrame> sent = Sent();
    DWORD steadyFrom = start + 8 * tick;
    DWORD last = 0;
    int directed = 0;
    for (const tSentFrame& frame : sent) {
        if (static_cast<LONG>(frame.tick - steadyFrom) < 0)
            continue;
        if (IsNetStatRequest(frame.bytes)) {
            if (last)
                result.netStatGaps.push_back(frame.tick - last);
            last = frame.tick;
            result.maxDirected = std::max(result.maxDirected, directed);
            directed = 0;
        } else if (IsStatReq(frame.bytes) && !(MacFromBytes(frame.bytes.data()) == MacBroadcast())) {
            ++directed;
        }
    }
    result.maxDirected = std::max(result.maxDirected, directed);
    DiscoveryDestroy(discovery);
    Uninstall();
    CloseHandle(cancel);
    CloseHandle(refresh);
    TraceCloseAll();
    // Only the real devices count: forged ones fall silent by design.
    result.vanished = CountInFile(trace, "vanished: 020000000001") + CountInFile(trace, "vanished: 020000000002");
    return result;
}

void Print(const tResult& r, DWORD tick)
{
    DWORD minGap = 0, maxGap = 0;
    double mean = 0;
    if (!r.netStatGaps.empty()) {
        minGap = *std::min_element(r.netStatGaps.begin(), r.netStatGaps.end());
        maxGap = *std::max_element(r.netStatGaps.begin(), r.netStatGaps.end());
        for (DWORD g : r.netStatGaps)
            mean += g;
        mean /= static_cast<double>(r.netStatGaps.size());
    }
    printf("%-14s %5.0f %5lu %5lu   %5zu %7d %8d %7.1f %6.1f%% %8ld %6ld   %zu/%zu\n", r.name.c_str(), mean,
           static_cast<unsigned long>(minGap), static_cast<unsigned long>(maxGap), r.maxQueue, r.maxDirected,
           r.vanished, r.reports / r.seconds, 100.0 * r.cpu / r.seconds, r.delivered, r.lost, r.locals, r.remotes);
    (void)tick;
}

} // namespace

int main(int argc, char** argv)
{
    DWORD seconds = argc > 1 ? static_cast<DWORD>(atoi(argv[1])) : 30;
    DWORD tick = argc > 2 ? static_cast<DWORD>(atoi(argv[2])) : 1000;
    if (seconds < 10 || tick < 50) {
        fprintf(stderr, "usage: discovery_flood_bench.exe [SECONDS >= 10] [TICK_MS >= 50]\n");
        return 2;
    }
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string trace = std::string(temp) + "discovery_flood_bench.log";

    printf("discovery under floods of forged answers, tick %lu ms, %lu s per run (steady from tick 8)\n",
           static_cast<unsigned long>(tick), static_cast<unsigned long>(seconds));
    printf("targets: NetStat broadcasts every %lu ms (five ticks), bounded queue (%zu) and round (%d), "
           "no device vanishes, at most %.0f reports/s\n",
           static_cast<unsigned long>(5 * tick), kPortQueueLimit, kMaxDirectedRequests, 1000.0 / kMinChangeIntervalMs);
    printf("%-14s %5s %5s %5s   %5s %7s %8s %7s %7s %8s %6s   %s\n", "run", "mean", "min", "max", "queue", "round",
           "vanished", "rep/s", "CPU", "flood", "lost", "locals/remotes");
    printf("%-14s %17s\n", "", "NetStat gap (ms)");
    tResult quiet = RunOnce("quiet", FLOOD_NONE, seconds, tick, trace);
    Print(quiet, tick);
    tResult statRsp = RunOnce("StatRsp flood", FLOOD_STATRSP, seconds, tick, trace);
    Print(statRsp, tick);
    tResult netStat = RunOnce("NetStat flood", FLOOD_NETSTAT, seconds, tick, trace);
    Print(netStat, tick);
    DeleteFileA(trace.c_str());
    return 0;
}
