// The monitors of the Windows desktop through EnumDisplayMonitors and
// GetMonitorInfoA, in virtual-screen coordinates (a monitor left of or above
// the primary has negative ones).
//
// Provides: listMonitors. Limits: mirrored monitors are listed as the system
// lists them (one entry); the layout merges any that overlap.
#include <windows.h>

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

} // namespace kelvara
