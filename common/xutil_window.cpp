#include "common/xutil.h"

#include <stdio.h>

#include <string>

#include "common/parseini.h"
#include "common/raii.h"

namespace {

struct tPlacement {
    RECT rect = {};
    int minimized = 0;
    int maximized = 0;
    int topmost = 0;
    int hidden = 0;
};

const DWORD kStateFlags = XUTIL_PLACEMENT_MINIMIZED | XUTIL_PLACEMENT_MAXIMIZED |
                          XUTIL_PLACEMENT_HIDDEN | XUTIL_PLACEMENT_TOPMOST;

// The normal rectangle in screen coordinates. The placement record holds it in work-area
// coordinates, which differ from the screen's when a task bar sits at the top or left.
bool ReadPlacement(HWND window, tPlacement& out)
{
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    if (!GetWindowPlacement(window, &placement))
        return false;
    out.rect = placement.rcNormalPosition;
    if (!(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW)) {
        HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
        MONITORINFO info = {};
        info.cbSize = sizeof info;
        if (monitor && GetMonitorInfoA(monitor, &info))
            OffsetRect(&out.rect, info.rcWork.left - info.rcMonitor.left,
                       info.rcWork.top - info.rcMonitor.top);
    }
    out.minimized = IsIconic(window) ? 1 : 0;
    out.maximized = IsZoomed(window) ? 1 : 0;
    out.hidden = IsWindowVisible(window) ? 0 : 1;
    out.topmost = (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) ? 1 : 0;
    return true;
}

void WriteStateKey(const utilcpp::CParseini& ini, const char* section, const char* key,
                   bool selected, int value)
{
    if (selected)
        ini.WriteInt(section, key, value);
    else
        ini.DeleteKey(section, key);
}

} // namespace

bool xUtilSaveWindowPlacement(HWND window, const char* iniPath, const char* section,
                              const char* key, DWORD flags)
{
    tPlacement p;
    if (!iniPath || !section || !ReadPlacement(window, p))
        return false;
    utilcpp::CParseini ini(iniPath);
    int width = p.rect.right - p.rect.left;
    int height = p.rect.bottom - p.rect.top;
    if (key) {
        char text[128];
        if (flags & kStateFlags)
            snprintf(text, sizeof text, "%d,%d,%d,%d,%d,%d,%d,%d", static_cast<int>(p.rect.left),
                     static_cast<int>(p.rect.top), width, height, p.minimized, p.maximized,
                     p.topmost, p.hidden);
        else
            snprintf(text, sizeof text, "%d,%d,%d,%d", static_cast<int>(p.rect.left),
                     static_cast<int>(p.rect.top), width, height);
        ini.WriteString(section, key, text);
        return true;
    }
    ini.WriteInt(section, "XPos", p.rect.left);
    ini.WriteInt(section, "YPos", p.rect.top);
    ini.WriteInt(section, "XSize", width);
    ini.WriteInt(section, "YSize", height);
    WriteStateKey(ini, section, "IsMinimized", flags & XUTIL_PLACEMENT_MINIMIZED, p.minimized);
    WriteStateKey(ini, section, "IsMaximized", flags & XUTIL_PLACEMENT_MAXIMIZED, p.maximized);
    WriteStateKey(ini, section, "IsHidden", flags & XUTIL_PLACEMENT_HIDDEN, p.hidden);
    WriteStateKey(ini, section, "IsTopMost", flags & XUTIL_PLACEMENT_TOPMOST, p.topmost);
    return true;
}

bool xUtilRestoreWindowPlacement(HWND window, const char* iniPath, const char* section,
                                 const char* key, DWORD flags)
{
    if (!iniPath || !section)
        return false;
    utilcpp::CParseini ini(iniPath);
    int x = 0, y = 0, width = 0, height = 0;
    tPlacement p;
    if (key) {
        std::string text;
        ini.GetString(section, key, text, std::string());
        if (text.size() > 64)
            text.resize(64);
        int fields[8] = {};
        int count = sscanf(text.c_str(), "%d,%d,%d,%d,%d,%d,%d,%d", &fields[0], &fields[1],
                           &fields[2], &fields[3], &fields[4], &fields[5], &fields[6], &fields[7]);
        if (count < 4)
            return false;
        x = fields[0];
        y = fields[1];
        width = fields[2];
        height = fields[3];
        if (count == 8) {
            p.minimized = (flags & XUTIL_PLACEMENT_MINIMIZED) ? fields[4] : 0;
            p.maximized = (flags & XUTIL_PLACEMENT_MAXIMIZED) ? fields[5] : 0;
            p.topmost = (flags & XUTIL_PLACEMENT_TOPMOST) ? fields[6] : 0;
            p.hidden = (flags & XUTIL_PLACEMENT_HIDDEN) ? fields[7] : 0;
        }
    } else {
        ini.GetInt(section, "XPos", x, 0);
        ini.GetInt(section, "YPos", y, 0);
        ini.GetInt(section, "XSize", width, 0);
        ini.GetInt(section, "YSize", height, 0);
        if (flags & XUTIL_PLACEMENT_MINIMIZED)
            ini.GetInt(section, "IsMinimized", p.minimized, 0);
        if (flags & XUTIL_PLACEMENT_MAXIMIZED)
            ini.GetInt(section, "IsMaximized", p.maximized, 0);
        if (flags & XUTIL_PLACEMENT_TOPMOST)
            ini.GetInt(section, "IsTopMost", p.topmost, 0);
        if (flags & XUTIL_PLACEMENT_HIDDEN)
            ini.GetInt(section, "IsHidden", p.hidden, 0);
    }
    // A zero or negative size is no placement; the caller falls back to its default.
    if (width <= 0 || height <= 0)
        return false;

    MoveWindow(window, x, y, width, height, FALSE);
    if (!p.hidden) {
        if (p.maximized)
            ShowWindow(window, SW_SHOWMAXIMIZED);
        else if (p.minimized)
            ShowWindow(window, SW_SHOWMINIMIZED);
        else if (flags & XUTIL_PLACEMENT_SHOW)
            ShowWindow(window, SW_SHOW);
        else
            ShowWindow(window, SW_SHOWNOACTIVATE);
    }
    if (p.topmost)
        SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
    return true;
}

void xUtilGetWorkArea(HWND window, RECT* out)
{
    if (!out)
        return;
    // Looked up at run time: systems before 98 and 2000 have no display-monitor functions.
    typedef HMONITOR(WINAPI * tMonitorFromWindow)(HWND, DWORD);
    typedef BOOL(WINAPI * tGetMonitorInfo)(HMONITOR, LPMONITORINFO);
    HMODULE user32 = GetModuleHandleA("user32.dll");
    auto monitorFromWindow = user32 ? reinterpret_cast<tMonitorFromWindow>(
                                          GetProcAddress(user32, "MonitorFromWindow"))
                                    : nullptr;
    auto getMonitorInfo = user32 ? reinterpret_cast<tGetMonitorInfo>(
                                       GetProcAddress(user32, "GetMonitorInfoA"))
                                 : nullptr;
    if (monitorFromWindow && getMonitorInfo) {
        HMONITOR monitor = monitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
        MONITORINFO info = {};
        info.cbSize = sizeof info;
        if (monitor && getMonitorInfo(monitor, &info)) {
            *out = info.rcWork;
            return;
        }
    }
    SystemParametersInfoA(SPI_GETWORKAREA, 0, out, 0);
}

void xUtilCenterWindow(HWND window, HWND other)
{
    RECT rect;
    if (!GetWindowRect(window, &rect))
        return;
    RECT work;
    xUtilGetWorkArea(window, &work);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;

    RECT around = work;
    if (other)
        GetWindowRect(other, &around);
    int x = around.left + ((around.right - around.left) - width) / 2;
    int y = around.top + ((around.bottom - around.top) - height) / 2;
    if (other) {
        // Keep a small-icon margin inside the other window, so the two never look detached.
        int marginX = GetSystemMetrics(SM_CXSMICON);
        int marginY = GetSystemMetrics(SM_CYSMICON);
        if (x < around.left + marginX)
            x = around.left + marginX;
        if (y < around.top + marginY)
            y = around.top + marginY;
    }
    // Inside the work area; when it does not fit, the left and top edges win.
    if (x + width > work.right)
        x = work.right - width;
    if (y + height > work.bottom)
        y = work.bottom - height;
    if (x < work.left)
        x = work.left;
    if (y < work.top)
        y = work.top;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOACTIVATE | SWP_NOSIZE | SWP_NOZORDER);
}
