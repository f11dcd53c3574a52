// The monitors of an X screen: RandR 1.5's monitor list, which also knows the
// monitors a user defined with `xrandr --setmonitor`; on older servers the
// Xinerama screens; else nothing (the caller then treats its window as one
// monitor).
//
// Provides: listMonitorsOn, over the connection of the thread that asks.
// Limits: the default screen only; Xinerama has no primary, so its first
// screen counts as the primary.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>

#include <cstdio>

#include "display/monitors_xrandr.h"

namespace kelvara {

namespace {

bool randrMonitors(Display* display, std::vector<Monitor>& out) {
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(display, &eventBase, &errorBase) || !XRRQueryVersion(display, &major, &minor) ||
        major < 1 || (major == 1 && minor < 5))
        return false;
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(display, DefaultRootWindow(display), True, &count);
    if (!monitors)
        return false;
    for (int i = 0; i < count; ++i) {
        Monitor m;
        m.rect = ScreenRect{monitors[i].x, monitors[i].y, monitors[i].width, monitors[i].height};
        m.primary = monitors[i].primary != 0;
        if (char* name = XGetAtomName(display, monitors[i].name)) {
            m.name = name;
            XFree(name);
        }
        out.push_back(m);
    }
    XRRFreeMonitors(monitors);
    return !out.empty();
}

bool xineramaScreens(Display* display, std::vector<Monitor>& out) {
    int eventBase = 0, errorBase = 0;
    if (!XineramaQueryExtension(display, &eventBase, &errorBase) || !XineramaIsActive(display))
        return false;
    int count = 0;
    XineramaScreenInfo* screens = XineramaQueryScreens(display, &count);
    if (!screens)
        return false;
    for (int i = 0; i < count; ++i) {
        Monitor m;
        m.rect = ScreenRect{screens[i].x_org, screens[i].y_org, screens[i].width, screens[i].height};
        m.primary = i == 0;
        m.name = "xinerama-" + std::to_string(screens[i].screen_number);
        out.push_back(m);
    }
    XFree(screens);
    return !out.empty();
}

} // namespace

std::vector<Monitor> listMonitorsOn(Display* display) {
    std::vector<Monitor> monitors;
    if (!randrMonitors(display, monitors)) {
        monitors.clear();
        xineramaScreens(display, monitors);
    }
    return monitors;
}

} // namespace kelvara
