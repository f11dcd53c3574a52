#include "display/monitors.h"

#include <algorithm>

namespace kelvara {

ScreenRect intersect(const ScreenRect& a, const ScreenRect& b) {
    // 64-bit edges: a rectangle near the int32 limits must not wrap.
    const int64_t left = std::max<int64_t>(a.x, b.x);
    const int64_t top = std::max<int64_t>(a.y, b.y);
    const int64_t right = std::min<int64_t>(int64_t{a.x} + a.width, int64_t{b.x} + b.width);
    const int64_t bottom = std::min<int64_t>(int64_t{a.y} + a.height, int64_t{b.y} + b.height);
    if (a.empty() || b.empty() || right <= left || bottom <= top)
        return ScreenRect{};
    return ScreenRect{static_cast<int32_t>(left), static_cast<int32_t>(top),
                      static_cast<int32_t>(right - left), static_cast<int32_t>(bottom - top)};
}

ScreenRect unite(const ScreenRect& a, const ScreenRect& b) {
    if (a.empty())
        return b;
    if (b.empty())
        return a;
    const int64_t left = std::min<int64_t>(a.x, b.x);
    const int64_t top = std::min<int64_t>(a.y, b.y);
    const int64_t right = std::max<int64_t>(int64_t{a.x} + a.width, int64_t{b.x} + b.width);
    const int64_t bottom = std::max<int64_t>(int64_t{a.y} + a.height, int64_t{b.y} + b.height);
    return ScreenRect{static_cast<int32_t>(left), static_cast<int32_t>(top),
                      static_cast<int32_t>(right - left), static_cast<int32_t>(bottom - top)};
}

ScreenRect virtualDesktop(const std::vector<Monitor>& monitors) {
    ScreenRect all;
    for (const Monitor& m : monitors)
        all = unite(all, m.rect);
    return all;
}

namespace {

// Merges overlapping monitors until none overlap: a merged rectangle can reach
// a monitor neither part touched, so the pass repeats until nothing changes.
std::vector<Monitor> mergeOverlapping(std::vector<Monitor> monitors) {
    bool merged = true;
    while (merged) {
        merged = false;
        for (std::size_t i = 0; i < monitors.size() && !merged; ++i) {
            for (std::size_t j = i + 1; j < monitors.size() && !merged; ++j) {
                if (intersect(monitors[i].rect, monitors[j].rect).empty())
                    continue;
                monitors[i].rect = unite(monitors[i].rect, monitors[j].rect);
                if (monitors[j].primary && !monitors[i].primary) {
                    monitors[i].primary = true;
                    monitors[i].name = monitors[j].name;
                }
                monitors.erase(monitors.begin() + static_cast<std::ptrdiff_t>(j));
                merged = true;
            }
        }
    }
    return monitors;
}

} // namespace

std::vector<MonitorView> layoutMonitors(const std::vector<Monitor>& monitors, const ScreenRect& window) {
    std::vector<Monitor> inside;
    for (const Monitor& m : monitors) {
        Monitor clipped = m;
        clipped.rect = intersect(m.rect, window);
        if (!clipped.rect.empty())
            inside.push_back(clipped);
    }
    inside = mergeOverlapping(std::move(inside));
    if (inside.empty())
        inside.push_back(Monitor{window, true, {}});

    // The system's primary, or failing that the one it listed first.
    auto primary = std::find_if(inside.begin(), inside.end(), [](const Monitor& m) { return m.primary; });
    if (primary == inside.end())
        primary = inside.begin();
    std::rotate(inside.begin(), primary, std::next(primary));
    for (std::size_t i = 0; i < inside.size(); ++i)
        inside[i].primary = i == 0;
    std::stable_sort(inside.begin() + 1, inside.end(), [](const Monitor& a, const Monitor& b) {
        return a.rect.x != b.rect.x ? a.rect.x < b.rect.x : a.rect.y < b.rect.y;
    });

    std::vector<MonitorView> views;
    views.reserve(inside.size());
    for (const Monitor& m : inside) {
        MonitorView v;
        v.desktop = m.rect;
        v.viewport.x = m.rect.x - window.x;
        // GL counts rows from the window's bottom edge.
        v.viewport.y = (window.y + window.height) - (m.rect.y + m.rect.height);
        v.viewport.width = m.rect.width;
        v.viewport.height = m.rect.height;
        v.primary = m.primary;
        v.name = m.name;
        views.push_back(std::move(v));
    }
    return views;
}

} // namespace kelvara
