#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelvara {

// A rectangle in pixels. In desktop coordinates the origin is the primary
// monitor's top left corner and y grows downwards (a monitor left of the
// primary has a negative x); in GL window coordinates (viewports) the origin is
// the window's bottom left corner and y grows upwards.
struct ScreenRect {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;

    bool empty() const { return width <= 0 || height <= 0; }
    int64_t area() const { return empty() ? 0 : static_cast<int64_t>(width) * height; }
    friend bool operator==(const ScreenRect&, const ScreenRect&) = default;
};

// The overlap of two rectangles; empty (zero size) when they do not meet.
ScreenRect intersect(const ScreenRect& a, const ScreenRect& b);

// The smallest rectangle holding both; an empty one adds nothing.
ScreenRect unite(const ScreenRect& a, const ScreenRect& b);

// One monitor as the window system lists it, in desktop coordinates.
struct Monitor {
    ScreenRect rect;
    bool primary = false;
    std::string name; // the system's name for it (an output, a device), for matching after a mode switch
};

// The monitors of the desktop, as the platform lists them (unordered, possibly
// overlapping or mirrored). Empty when the platform cannot say; callers then
// treat their window as one monitor. Provided by monitors_win32.cpp
// (EnumDisplayMonitors); X11 lists them over the host's connection with
// listMonitorsOn (monitors_xrandr.h: RandR 1.5 monitors, else Xinerama
// screens). Main thread.
std::vector<Monitor> listMonitors();

// One monitor's share of a window: where it is drawn and which part of the
// desktop it shows.
struct MonitorView {
    ScreenRect viewport; // in the window, GL window coordinates (origin bottom left)
    ScreenRect desktop;  // the part of the desktop under it, desktop coordinates
    bool primary = false;
    std::string name;
};

// Turns listed monitors into the views of a window that lies at `window`
// (desktop coordinates): each monitor clipped to the window; monitors that
// overlap (mirrors, a clone inside a larger one, panning areas) merged into
// the rectangle that holds them, so no pixel is drawn twice; the primary first,
// then the rest left to right, top to bottom. Exactly one view is primary (the
// first). With no monitor inside the window the result is one view of the
// whole window, as on a single-monitor desktop.
std::vector<MonitorView> layoutMonitors(const std::vector<Monitor>& monitors, const ScreenRect& window);

// The rectangle every monitor fits in: what a window covering all of them
// spans. Empty for no monitors.
ScreenRect virtualDesktop(const std::vector<Monitor>& monitors);

} // namespace kelvara
