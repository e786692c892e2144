// Merge cost of the monitor window: a plug-in tree of 2,000 rows (200 devices of ten rows) in
// a window that shows the first few dozen. Prints the cost of an update that changes one
// value, for a row off screen and for a row on screen, side by side with references measured
// in the same run:
// - "before": the same change made the former way, the text set in the tree view
//   (TVM_SETITEM), on a second tree view with the same rows;
// - the repaint of the changed row alone (its rectangle invalidated and drawn);
// - a full rebuild of the view.
#include <windows.h>
#include <commctrl.h>

#include <stdio.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "monitor/merge.h"

namespace {

const int kDevices = 200;
const int kRowsPerDevice = 10;
const int kUpdates = 200;

double Milliseconds()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// The top row and nine children per device.
void BuildTree(CState& tree)
{
    for (int device = 0; device < kDevices; ++device) {
        int block = 1000 * (device + 1);
        CItem* top = new CItem("Device " + std::to_string(device), 13, "", block);
        for (int child = 1; child < kRowsPerDevice; ++child)
            top->GetChildren().AddItem(new CItem("Value " + std::to_string(child), 1,
                                                 std::to_string(5000 + child * device), block + child));
        tree.AddItem(top);
    }
}

// The window that owns a tree view answers for the row texts, as the monitor window does.
LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NOTIFY && CTreeRows::AnswerDispInfo(reinterpret_cast<const NMHDR*>(lParam)))
        return 0;
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeTree(int left)
{
    HWND host = CreateWindowExA(0, "VelmoraMergeBenchHost", "bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, left, 0,
                                500, 700, nullptr, nullptr, nullptr, nullptr);
    RECT client;
    GetClientRect(host, &client);
    return CreateWindowExA(0, WC_TREEVIEWA, "", WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT,
                           0, 0, client.right, client.bottom, host, nullptr, nullptr, nullptr);
}

// The reference view: the same rows with their texts stored in the tree view.
std::vector<HTREEITEM> FillStored(HWND tree, const CState& state)
{
    std::vector<HTREEITEM> rows; // by device * kRowsPerDevice + child
    state.ForEach([&](const CItem& top) {
        std::string text = RowText(top.GetName(), top.GetValue());
        TVINSERTSTRUCTA insert = {};
        insert.hParent = TVI_ROOT;
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT | TVIF_STATE;
        insert.item.pszText = const_cast<char*>(text.c_str());
        insert.item.state = insert.item.stateMask = TVIS_EXPANDED;
        HTREEITEM parent = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
        rows.push_back(parent);
        top.GetChildren().ForEach([&](const CItem& child) {
            std::string childText = RowText(child.GetName(), child.GetValue());
            insert.hParent = parent;
            insert.item.pszText = const_cast<char*>(childText.c_str());
            rows.push_back(reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert))));
        });
    });
    return rows;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Max(const std::vector<double>& values)
{
    return *std::max_element(values.begin(), values.end());
}

struct tFigures {
    std::vector<double> times;
    int repainted = 0;
    int remeasured = 0;
};

// `kUpdates` updates, each changing the value of one child row of a device that `pick` chooses.
tFigures MeasureMerges(CTreeRows& rows, CState& state, const std::function<int(int)>& pick)
{
    tFigures figures;
    for (int i = 0; i < kUpdates; ++i) {
        int device = pick(i);
        CItem* item = state.FindItem(1000 * (device + 1) + 1 + i % (kRowsPerDevice - 1));
        item->SetValue(std::to_string(1000 + i)); // same width in digits
        tMergeStats stats;
        double start = Milliseconds();
        rows.Merge(&state, "plexa.dll", nullptr, &stats);
        UpdateWindow(rows.Tree()); // the repaint belongs to the cost of an update
        figures.times.push_back(Milliseconds() - start);
        figures.repainted += stats.repainted;
        figures.remeasured += stats.remeasured;
    }
    return figures;
}

std::vector<double> MeasureStored(HWND tree, const std::vector<HTREEITEM>& rows, const std::function<int(int)>& pick)
{
    std::vector<double> times;
    for (int i = 0; i < kUpdates; ++i) {
        int device = pick(i);
        int child = 1 + i % (kRowsPerDevice - 1);
        std::string text = "Value " + std::to_string(child) + ": " + std::to_string(1000 + i);
        TVITEMA tvi = {};
        tvi.mask = TVIF_HANDLE | TVIF_TEXT;
        tvi.hItem = rows[static_cast<size_t>(device * kRowsPerDevice + child)];
        tvi.pszText = const_cast<char*>(text.c_str());
        double start = Milliseconds();
        SendMessageA(tree, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&tvi));
        UpdateWindow(tree);
        times.push_back(Milliseconds() - start);
    }
    return times;
}

void Drain()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

} // namespace

int main()
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSA hostClass = {};
    hostClass.lpfnWndProc = HostProc;
    hostClass.lpszClassName = "VelmoraMergeBenchHost";
    hostClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassA(&hostClass);
    HWND tree = MakeTree(0);
    HWND stored = MakeTree(520);
    if (!tree || !stored) {
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
    std::vector<HTREEITEM> storedRows = FillStored(stored, state);
    UpdateWindow(tree);
    UpdateWindow(stored);
    Drain();

    int shownRows = TreeView_GetVisibleCount(tree);
    // Devices 100 and up lie far below the bottom edge; devices 0 to 2 are on screen.
    auto offScreen = [](int i) { return 100 + (i * 37) % 100; };
    auto onScreen = [](int i) { return i % 3; };
    tFigures off = MeasureMerges(rows, state, offScreen);
    tFigures on = MeasureMerges(rows, state, onScreen);
    std::vector<double> storedOff = MeasureStored(stored, storedRows, offScreen);
    std::vector<double> storedOn = MeasureStored(stored, storedRows, onScreen);
    Drain();

    // The repaint of one row on screen, by itself.
    std::vector<double> repaint;
    for (int i = 0; i < kUpdates; ++i) {
        HTREEITEM item = TreeView_GetChild(tree, TreeView_GetRoot(tree));
        RECT rect;
        TreeView_GetItemRect(tree, item, &rect, FALSE);
        start = Milliseconds();
        InvalidateRect(tree, &rect, TRUE);
        UpdateWindow(tree);
        repaint.push_back(Milliseconds() - start);
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
        UpdateWindow(tree);
        rebuilds.push_back(Milliseconds() - start);
    }

    printf("monitor merge, %d rows (%d on screen), one value changed per update, %d updates each\n",
           first.inserted, shownRows, kUpdates);
    printf("  first merge (all rows inserted)          : %8.2f ms\n", firstMs);
    printf("  row off screen: merge and repaint, median: %8.3f ms (max %.3f ms), %d repainted\n",
           Median(off.times), Max(off.times), off.repainted);
    printf("     before (text set in the view), median : %8.3f ms (max %.3f ms)\n", Median(storedOff), Max(storedOff));
    printf("  row on screen: merge and repaint, median : %8.3f ms (max %.3f ms), %d repainted\n",
           Median(on.times), Max(on.times), on.repainted);
    printf("     before (text set in the view), median : %8.3f ms (max %.3f ms)\n", Median(storedOn), Max(storedOn));
    printf("     repaint of that row alone, median     : %8.3f ms (max %.3f ms)\n", Median(repaint), Max(repaint));
    printf("  rows handed to the view again (wider)    : %8d\n", off.remeasured + on.remeasured);
    printf("  merge of an unchanged tree, median       : %8.3f ms\n", Median(unchanged));
    printf("  reference: full rebuild, median          : %8.2f ms\n", Median(rebuilds));
    rows.Clear();
    DestroyWindow(GetParent(tree));
    DestroyWindow(GetParent(stored));
    return 0;
}
