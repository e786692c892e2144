// Merge cost of the monitor window: a plug-in tree of 2,000 rows in which one value changes
// per update. Prints the time per merge and the tree-view rows touched, side by side
// with a full rebuild of the same view (delete all rows, insert all) as the reference.
#include <windows.h>
#include <commctrl.h>

#include <stdio.h>

#include <algorithm>
#include <vector>

#include "monitor/merge.h"

namespace {

double Milliseconds()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// 200 devices of ten rows each: the top row and nine children.
void BuildTree(CState& tree)
{
    for (int device = 0; device < 200; ++device) {
        int block = 1000 * (device + 1);
        CItem* top = new CItem("Device " + std::to_string(device), 13, "", block);
        for (int child = 1; child <= 9; ++child)
            top->GetChildren().AddItem(new CItem("Value " + std::to_string(child), 1,
                                                 std::to_string(child * device), block + child));
        tree.AddItem(top);
    }
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main()
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    HWND window = CreateWindowExA(0, "STATIC", "bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                  500, 700, nullptr, nullptr, nullptr, nullptr);
    HWND tree = CreateWindowExA(0, WC_TREEVIEWA, "", WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS |
                                TVS_HASLINES | TVS_LINESATROOT, 0, 0, 500, 700, window, nullptr,
                                nullptr, nullptr);
    if (!tree) {
        fprintf(stderr, "no window: run under an X display\n");
        return 1;
    }
    CState state;
    BuildTree(state);
    CTreeRows rows(tree);
    tMergeStats first;
    double start = Milliseconds();
    rows.Merge(&state, "plexa.dll", nullptr, &first);
    double firstMs = Milliseconds() - start;

    const int updates = 200;
    std::vector<double> times;
    int maxTouched = 0, totalTouched = 0;
    for (int i = 0; i < updates; ++i) {
        int device = (i * 37) % 200;
        CItem* item = state.FindItem(1000 * (device + 1) + 1 + i % 9);
        item->SetValue("changed " + std::to_string(i));
        tMergeStats stats;
        start = Milliseconds();
        rows.Merge(&state, "plexa.dll", nullptr, &stats);
        UpdateWindow(tree); // the repaint belongs to the cost of an update
        times.push_back(Milliseconds() - start);
        maxTouched = std::max(maxTouched, stats.Touched());
        totalTouched += stats.Touched();
    }

    std::vector<double> unchanged;
    for (int i = 0; i < 50; ++i) {
        start = Milliseconds();
        rows.Merge(&state, "plexa.dll", nullptr);
        unchanged.push_back(Milliseconds() - start);
    }

    std::vector<double> rebuilds;
    for (int i = 0; i < 10; ++i) {
        start = Milliseconds();
        rows.Clear();
        rows.Merge(&state, "plexa.dll", nullptr);
        rebuilds.push_back(Milliseconds() - start);
    }

    printf("monitor merge, %d rows, one value changed per update (%d updates)\n", first.inserted, updates);
    printf("  first merge (all rows inserted)   : %8.2f ms\n", firstMs);
    printf("  merge per update, median         : %8.3f ms (max %.3f ms)\n", Median(times),
           *std::max_element(times.begin(), times.end()));
    printf("  rows touched per update           : %8.2f average, %d at most\n",
           static_cast<double>(totalTouched) / updates, maxTouched);
    printf("  merge of an unchanged tree, median: %8.3f ms\n", Median(unchanged));
    printf("  reference: full rebuild, median   : %8.2f ms\n", Median(rebuilds));
    rows.Clear();
    DestroyWindow(window);
    return 0;
}
