// The monitor window under a flood of status updates: a plug-in whose device picture changes
// with every frame of a flood (500 frames a second, each a new or changed device, numbered by
// position as the powerline plug-in numbers them, so every new device renumbers the rows
// after it), while another thread sends the window WM_NULL every 10 ms and times the answer.
// Prints the answer times with the window's pacing of updates (at most one shown update per
// plug-in every 250 ms) and, as the reference, with every update shown as it comes.
//
// Usage: flood_bench [seconds per run, default 10] [device cap, default 1024]
#include <windows.h>
#include <commctrl.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "common/parseini.h"
#include "common/thread.h"
#include "monitor/monitor_dialog.h"
#include "monitor/plugin.h"

namespace {

class CQuietMonitor : public IMonitor, public IPluginControl {
public:
    bool SharedOptionsEnabled() override { return false; }
    void SignalChange() override {}
    void KickstartBroadcast() override {}
    bool DisablePlugin(const std::string&) override { return false; }
    bool EnablePlugin(const std::string&) override { return false; }
};

double Milliseconds()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// What the powerline plug-in builds from its device list: a top row and three children per
// device, ids by position (1000, 2000, ...).
void Rebuild(CState& tree, const std::vector<unsigned>& devices, unsigned frame)
{
    tree.RemoveAll();
    int32_t block = 1000;
    for (unsigned address : devices) {
        CItem* top = new CItem("Brindle Plexa (via the power supply grid)", 13, "", block);
        char mac[32];
        snprintf(mac, sizeof mac, "02:00:%02X:%02X:%02X:%02X", (address >> 24) & 0xFF, (address >> 16) & 0xFF,
                 (address >> 8) & 0xFF, address & 0xFF);
        top->GetChildren().AddItem(new CItem("MAC address", 1, mac, block + 2));
        top->GetChildren().AddItem(new CItem("Connection rate", 4, std::to_string(10 + (address + frame) % 90) + " MBit/s", block + 1));
        top->GetChildren().AddItem(new CItem("Device", 1, "Brindle Plexa", block + 4));
        tree.AddItem(top);
        block += 1000;
    }
}

struct tRun {
    int updatesSent = 0;
    std::vector<double> answers; // WM_NULL answer times, ms
    size_t rowsAtEnd = 0;
};

tRun Flood(CMonitorDialog& window, CPlugin& plugin, double seconds, size_t cap)
{
    tRun run;
    HWND hwnd = window.GetHandle();

    // The plug-in's worker: a frame every 2 ms, each handed over synchronously as GetState
    // results are.
    CThread worker, prober;
    worker.Start([&](CThread& self) {
        CState tree;
        std::vector<unsigned> devices;
        unsigned seed = 12345;
        double next = Milliseconds();
        for (unsigned frame = 0; !self.StopRequested(); ++frame) {
            seed = seed * 1103515245u + 12345u;
            if (devices.size() < cap) {
                unsigned address = seed >> 8;
                devices.insert(std::lower_bound(devices.begin(), devices.end(), address), address);
            }
            Rebuild(tree, devices, frame);
            tStatusUpdate update = {&tree, &plugin, nullptr};
            DWORD_PTR answer = 0;
            SendMessageTimeoutA(hwnd, WM_STATUSUPDATE, reinterpret_cast<WPARAM>(&update), 0, SMTO_NORMAL, 60000, &answer);
            ++run.updatesSent;
            next += 2.0;
            double now = Milliseconds();
            if (next > now)
                Sleep(static_cast<DWORD>(next - now));
            else
                next = now; // behind (the window held the update): no catching up in a burst
        }
    });
    // The prober: a sent WM_NULL every 10 ms.
    prober.Start([&](CThread& self) {
        while (!self.StopRequested()) {
            double start = Milliseconds();
            DWORD_PTR answer = 0;
            SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &answer);
            run.answers.push_back(Milliseconds() - start);
            Sleep(10);
        }
    });

    double end = Milliseconds() + seconds * 1000.0;
    MSG msg;
    while (Milliseconds() < end) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    // The threads wait for the window: it keeps answering until they are gone.
    worker.StopAnsweringSentMessages();
    prober.StopAnsweringSentMessages();
    run.rowsAtEnd = TreeView_GetCount(window.GetTree());
    tStatusUpdate none = {nullptr, &plugin, nullptr};
    SendMessageA(hwnd, WM_STATUSUPDATE, reinterpret_cast<WPARAM>(&none), 0);
    return run;
}

double Percentile(std::vector<double> values, double share)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t index = static_cast<size_t>(share * static_cast<double>(values.size() - 1));
    return values[index];
}

void Print(const char* label, const tRun& run, double seconds)
{
    size_t late = 0;
    for (double answer : run.answers)
        late += answer > 100.0;
    printf("  %-34s: %6.0f updates/s handed over, WM_NULL answered in %7.2f ms median, %8.2f ms p99, "
           "%8.2f ms max, %zu of %zu over 100 ms; %zu rows shown at the end\n",
           label, run.updatesSent / seconds, Percentile(run.answers, 0.5), Percentile(run.answers, 0.99),
           Percentile(run.answers, 1.0), late, run.answers.size(), run.rowsAtEnd);
}

} // namespace

int main(int argc, char** argv)
{
    double seconds = argc > 1 ? atof(argv[1]) : 10.0;
    size_t cap = argc > 2 ? static_cast<size_t>(atoi(argv[2])) : 1024;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    utilcpp::CParseini settings(std::string(temp) + "flood_bench.ini");
    CQuietMonitor monitor;
    CMonitorDialog window(&monitor, &monitor, GetModuleHandleA(nullptr), settings);
    if (!window.GetHandle()) {
        fprintf(stderr, "no window: run under an X display\n");
        return 1;
    }
    window.PrepareAndShow();
    CPlugin plugin("plexa.dll", window.GetHandle());

    printf("monitor window under a flood of 500 status updates/s, up to %zu devices (4 rows each), %.0f s per run\n",
           cap, seconds);
    window.SetUpdateInterval(CMonitorDialog::kUpdateIntervalMs);
    tRun paced = Flood(window, plugin, seconds, cap);
    Print("paced (one shown per 250 ms)", paced, seconds);
    window.SetUpdateInterval(0);
    tRun every = Flood(window, plugin, seconds, cap);
    Print("reference: every update shown", every, seconds);
    DeleteFileA(settings.GetFileName().c_str());
    return 0;
}
