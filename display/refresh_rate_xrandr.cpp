// The display's refresh rate on X11, through RandR.
//
// Provides: refreshRateHz (declared in display_x11.h) for the frame
// pacer.
// Limits: the rate of the monitor under the window's middle, else of the
// first lit monitor; servers without RandR 1.2 monitors give their screen
// configuration's whole-hertz rate. Nothing is reported on failure: the
// pacer then assumes its fallback rate.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include "display/display_x11.h"
#include "display/mode_rate_xrandr.h"

namespace kelvara {

namespace {

// The rate of the lit monitor containing (x, y) of the root, or of the first
// lit one; 0 when none says.
double monitorRateHz(Display* display, Window root, int x, int y) {
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, root);
    if (resources == nullptr)
        return 0.0;
    double first = 0.0;
    double under = 0.0;
    for (int c = 0; c < resources->ncrtc && under == 0.0; ++c) {
        XRRCrtcInfo* crtc = XRRGetCrtcInfo(display, resources, resources->crtcs[c]);
        if (crtc == nullptr)
            continue;
        if (crtc->mode != None) {
            for (int m = 0; m < resources->nmode; ++m) {
                if (resources->modes[m].id != crtc->mode)
                    continue;
                const double rate = modeRateHz(resources->modes[m]);
                if (first == 0.0)
                    first = rate;
                if (x >= crtc->x && y >= crtc->y && x < crtc->x + static_cast<int>(crtc->width) &&
                    y < crtc->y + static_cast<int>(crtc->height))
                    under = rate;
            }
        }
        XRRFreeCrtcInfo(crtc);
    }
    XRRFreeScreenResources(resources);
    return under != 0.0 ? under : first;
}

} // namespace

double refreshRateHz(Display* display, Window window) {
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(display, &event, &error) || !XRRQueryVersion(display, &major, &minor))
        return 0.0;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes))
        return 0.0;
    const Window root = RootWindowOfScreen(attributes.screen);
    int x = 0, y = 0;
    Window child = None;
    XTranslateCoordinates(display, window, root, attributes.width / 2, attributes.height / 2, &x, &y, &child);
    double rate = 0.0;
    if (major > 1 || (major == 1 && minor >= 2))
        rate = monitorRateHz(display, root, x, y);
    if (rate == 0.0) {
        if (XRRScreenConfiguration* config = XRRGetScreenInfo(display, root)) {
            rate = XRRConfigCurrentRate(config);
            XRRFreeScreenConfigInfo(config);
        }
    }
    return rate;
}

} // namespace kelvara
