// The monitors of the Windows desktop through EnumDisplayMonitors and
// GetMonitorInfoA, in virtual-screen coordinates (a monitor left of or above
// the primary has negative ones).
//
// Provides: listMonitors, virtualScreen (display_win32.h). Limits: mirrored monitors are listed as the system
// lists them (one entry); the layout merges any that overlap.
#include <windows.h>

#include "display/display_win32.h"
#include "display/monitors.h"

namespace kelvara {

namespace {

BOOL CALLBACK addMonitor(HMONITOR handle, HDC, LPRECT, LPARAM data) {
    auto& monitors = *reinterpret_cast<std::vector<Monitor>*>(data);
    MONITORINFOEXA info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoA(handle, &info))
        return TRUE;
    Monitor m;
    m.rect = ScreenRect{info.rcMonitor.left, info.rcMonitor.top, info.rcMonitor.right - info.rcMonitor.left,
                        info.rcMonitor.bottom - info.rcMonitor.top};
    m.primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
    m.name = info.szDevice;
    monitors.push_back(m);
    return TRUE;
}

} // namespace

std::vector<Monitor> listMonitors() {
    std::vector<Monitor> monitors;
    EnumDisplayMonitors(nullptr, nullptr, addMonitor, reinterpret_cast<LPARAM>(&monitors));
    return monitors;
}

ScreenRect virtualScreen() {
    RECT box{};
    HDC screen = GetDC(nullptr);
    if (screen == nullptr)
        return ScreenRect{};
    GetClipBox(screen, &box);
    ReleaseDC(nullptr, screen);
    return ScreenRect{box.left, box.top, box.right - box.left, box.bottom - box.top};
}

} // namespace kelvara
