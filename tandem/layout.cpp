#include "tandem/layout.h"

namespace {

const int kMinimumPanel = 20;
const int kReserved = 150;

tPane Pane(int x, int y, int width, int height)
{
    tPane pane;
    pane.x = x;
    pane.y = y;
    pane.width = width < 0 ? 0 : width;
    pane.height = height < 0 ? 0 : height;
    return pane;
}

} // namespace

tMainLayout ComputeLayout(int W, int H, int L, int B)
{
    tMainLayout layout;
    layout.tree = Pane(7, 36, L, H - B - 48);
    layout.list = Pane(L + 12, 36, W - L - 19, H - B - 48);
    layout.horizontalSplitter = Pane(7, H - B - 12, W - 14, 5);
    layout.verticalSplitter = Pane(L + 7, 43, 5, H - 50);
    layout.chat = Pane(7, H - B - 7, L, B);
    layout.transferGroup = Pane(L + 12, H - B - 7, W - L - 19, B);
    layout.transferView = Pane(7, 14, W - L - 33, B - 21);
    return layout;
}

void ClampPanels(int W, int H, int& L, int& B)
{
    if (B > H - kReserved)
        B = H - kReserved;
    if (L > W - kReserved)
        L = W - kReserved;
    if (B < kMinimumPanel)
        B = kMinimumPanel;
    if (L < kMinimumPanel)
        L = kMinimumPanel;
}
