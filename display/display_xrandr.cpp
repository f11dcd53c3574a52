// Display modes on X11 through RandR's outputs and CRTCs (RandR 1.2 and later):
// the primary monitor's output is listed and switched; the other monitors
// keep their modes and places.
//
// Provides: systemDisplay(), the one backend of the process, for listing,
// switching and restoring modes of the primary output of the default screen.
// Limits: the primary output is the one the server names primary, else the
// first lit one. A mode is one of that output's modes at its refresh rate; the
// colour depth is the screen's and cannot change while the server runs, so a
// request for another depth is refused as a bad mode. The screen is sized to
// hold every monitor after the change (never past the server's maximum); the
// other monitors stay where they are, so a larger mode may overlap the one
// beside it.
// A change lasts until it is changed back (there is no run-only change): the
// host restores the earlier mode on every way out, and resetToRegistryMode
// goes back to the mode, place and screen size from before the first change.
// A server without RandR 1.2 cannot switch: one line says so. Failures print
// one line on stderr naming the call and the reason; nothing else is shown.
// Main thread only.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "display/display_modes.h"
#include "settings/failure_line.h"

namespace kelvara {

namespace {

struct OutputMode {
    RRMode id = None;
    int width = 0;
    int height = 0;
    short rate = 0; // hertz; 0 where the mode has no timings (a virtual server)
};

// The primary output and the state of its CRTC, read afresh for every call:
// another client may change the layout between two calls.
struct Primary {
    RROutput output = None;
    RRCrtc crtc = None;
    int x = 0, y = 0;
    RRMode mode = None;
    Rotation rotation = RR_Rotate_0;
    std::vector<RROutput> outputs; // every output the CRTC drives (clones included)
    std::vector<OutputMode> modes;
    int screenWidth = 0, screenHeight = 0; // the screen's size, and how far the other CRTCs reach
    int othersRight = 0, othersBottom = 0;
};

short refreshOf(const XRRModeInfo& m) {
    double lines = m.vTotal;
    if (m.modeFlags & RR_DoubleScan)
        lines *= 2;
    if (m.modeFlags & RR_Interlace)
        lines /= 2;
    if (m.dotClock == 0 || m.hTotal == 0 || lines == 0)
        return 0;
    return static_cast<short>(std::lround(static_cast<double>(m.dotClock) / (m.hTotal * lines)));
}

bool sideways(Rotation r) {
    return (r & (RR_Rotate_90 | RR_Rotate_270)) != 0;
}

class XrandrDisplay final : public DisplayBackend {
  public:
    ~XrandrDisplay() override {
        if (display_)
            XCloseDisplay(display_);
    }

    bool enumerate(int32_t index, DisplayMode& mode) override {
        std::optional<Primary> p = readPrimary();
        if (!p || index < 0 || static_cast<std::size_t>(index) >= p->modes.size())
            return false;
        mode = toDisplayMode(p->modes[static_cast<std::size_t>(index)]);
        return true;
    }

    bool currentMode(DisplayMode& mode) override {
        std::optional<Primary> p = readPrimary();
        if (!p)
            return false;
        for (const OutputMode& m : p->modes)
            if (m.id == p->mode) {
                mode = toDisplayMode(m);
                return true;
            }
        return false;
    }

    int32_t change(const DisplayMode& mode, uint32_t) override {
        std::optional<Primary> p = readPrimary();
        if (!p)
            return kDispChangeFailed;
        if ((mode.fields & kDmBitsPerPel) != 0 && mode.bitsPerPixel != depth()) {
            complain("XRRSetCrtcConfig(%dx%dx%d): the screen's depth is %d bits", mode.width, mode.height,
                     mode.bitsPerPixel, depth());
            return kDispChangeBadMode;
        }
        if (!start_)
            start_ = p;
        const OutputMode* current = nullptr;
        for (const OutputMode& m : p->modes)
            if (m.id == p->mode)
                current = &m;
        const bool sizeAsked = (mode.fields & (kDmPelsWidth | kDmPelsHeight)) != 0;
        const int width = (mode.fields & kDmPelsWidth) ? mode.width : current ? current->width : 0;
        const int height = (mode.fields & kDmPelsHeight) ? mode.height : current ? current->height : 0;
        const bool rateAsked = (mode.fields & kDmDisplayFrequency) != 0 && mode.refreshHz > 0;
        // The first listed rate of the size unless one was asked for; the
        // current rate when the size stays.
        const OutputMode* target = nullptr;
        for (const OutputMode& m : p->modes) {
            if (m.width != width || m.height != height)
                continue;
            if (rateAsked ? m.rate == mode.refreshHz
                          : (!target || (!sizeAsked && current && m.rate == current->rate)))
                target = &m;
        }
        if (!target) {
            complain("XRRSetCrtcConfig(%dx%d%s): the primary monitor offers no such mode", width, height,
                     rateAsked ? " at the asked rate" : "");
            return kDispChangeBadMode;
        }
        return apply(*p, target->id, *target);
    }

    int32_t resetToRegistryMode() override {
        if (!start_)
            return kDispChangeSuccessful;
        std::optional<Primary> p = readPrimary();
        if (!p)
            return kDispChangeFailed;
        OutputMode startMode;
        for (const OutputMode& m : start_->modes)
            if (m.id == start_->mode)
                startMode = m;
        return apply(*p, start_->mode, startMode);
    }

    void showError(const std::string& text, const char* caption) override {
        std::string line = text;
        while (!line.empty() && line.back() == '\n')
            line.pop_back();
        reportFailure("%s: %s", caption, line.c_str());
    }

  private:
    // The mode switch tries a size in several forms; each refusal would say
    // the same thing again. One line per distinct reason.
    template <typename... Args> void complain(const char* format, Args... args) {
        char line[256];
        std::snprintf(line, sizeof line, format, args...);
        if (lastComplaint_ == line)
            return;
        lastComplaint_ = line;
        reportFailure("%s", line);
    }

    bool open() {
        if (display_)
            return true;
        if (failed_)
            return false;
        display_ = XOpenDisplay(nullptr);
        int eventBase = 0, errorBase = 0, major = 0, minor = 0;
        if (!display_) {
            complain("XOpenDisplay for display modes: cannot open the display");
        } else if (!XRRQueryExtension(display_, &eventBase, &errorBase) ||
                   !XRRQueryVersion(display_, &major, &minor) || major < 1 || (major == 1 && minor < 2)) {
            complain("XRRQueryVersion: the server has no RandR 1.2 outputs; the display "
                     "mode cannot change");
            XCloseDisplay(display_);
            display_ = nullptr;
        }
        current_ = major > 1 || minor >= 3;
        failed_ = display_ == nullptr;
        return display_ != nullptr;
    }

    int depth() const { return DefaultDepth(display_, DefaultScreen(display_)); }
    Window root() const { return DefaultRootWindow(display_); }

    DisplayMode toDisplayMode(const OutputMode& m) const {
        DisplayMode mode;
        mode.width = m.width;
        mode.height = m.height;
        mode.bitsPerPixel = depth();
        mode.refreshHz = m.rate;
        mode.fields = kDmBitsPerPel | kDmPelsWidth | kDmPelsHeight | kDmDisplayFrequency;
        return mode;
    }

    std::optional<Primary> readPrimary() {
        if (!open())
            return std::nullopt;
        XRRScreenResources* res = resources();
        if (!res)
            return std::nullopt;
        Primary p;
        rootSize(p.screenWidth, p.screenHeight);
        const RROutput named = XRRGetOutputPrimary(display_, root());
        // The named primary when it is lit, else the first lit output.
        for (int pass = 0; pass < 2 && p.crtc == None; ++pass) {
            for (int i = 0; i < res->noutput && p.crtc == None; ++i) {
                if (pass == 0 && res->outputs[i] != named)
                    continue;
                XRROutputInfo* info = XRRGetOutputInfo(display_, res, res->outputs[i]);
                if (info && info->crtc != None) {
                    p.output = res->outputs[i];
                    p.crtc = info->crtc;
                    for (int k = 0; k < info->nmode; ++k)
                        for (int j = 0; j < res->nmode; ++j)
                            if (res->modes[j].id == info->modes[k])
                                p.modes.push_back({res->modes[j].id, static_cast<int>(res->modes[j].width),
                                                   static_cast<int>(res->modes[j].height), refreshOf(res->modes[j])});
                }
                if (info)
                    XRRFreeOutputInfo(info);
            }
        }
        for (int i = 0; i < res->ncrtc; ++i) {
            XRRCrtcInfo* crtc = XRRGetCrtcInfo(display_, res, res->crtcs[i]);
            if (!crtc)
                continue;
            if (res->crtcs[i] == p.crtc) {
                p.x = crtc->x;
                p.y = crtc->y;
                p.mode = crtc->mode;
                p.rotation = crtc->rotation;
                p.outputs.assign(crtc->outputs, crtc->outputs + crtc->noutput);
            } else if (crtc->mode != None) {
                p.othersRight = std::max(p.othersRight, crtc->x + static_cast<int>(crtc->width));
                p.othersBottom = std::max(p.othersBottom, crtc->y + static_cast<int>(crtc->height));
            }
            XRRFreeCrtcInfo(crtc);
        }
        XRRFreeScreenResources(res);
        if (p.crtc == None || p.mode == None) {
            complain("XRRGetOutputInfo: no monitor is lit; the display mode cannot change");
            return std::nullopt;
        }
        return p;
    }

    // The root's size now (Xlib's own copy only follows events this
    // connection does not ask for).
    bool rootSize(int& width, int& height) {
        XWindowAttributes a;
        if (!XGetWindowAttributes(display_, root(), &a))
            return false;
        width = a.width;
        height = a.height;
        return true;
    }

    // Resources without asking the server to probe its outputs, where it can.
    XRRScreenResources* resources() {
        return current_ ? XRRGetScreenResourcesCurrent(display_, root()) : XRRGetScreenResources(display_, root());
    }

    bool setScreenSize(int width, int height) {
        // The pixels per millimetre the connection started with.
        const int screen = DefaultScreen(display_);
        const double mmPerPixelX = static_cast<double>(DisplayWidthMM(display_, screen)) / DisplayWidth(display_, screen);
        const double mmPerPixelY = static_cast<double>(DisplayHeightMM(display_, screen)) / DisplayHeight(display_, screen);
        XRRSetScreenSize(display_, root(), width, height, std::max(1, static_cast<int>(std::lround(width * mmPerPixelX))),
                         std::max(1, static_cast<int>(std::lround(height * mmPerPixelY))));
        XSync(display_, False);
        int nowWidth = 0, nowHeight = 0;
        if (rootSize(nowWidth, nowHeight) && nowWidth == width && nowHeight == height)
            return true;
        complain("XRRSetScreenSize(%dx%d): refused", width, height);
        return false;
    }

    // Sets the primary CRTC to `id`, in place; the screen grows first when the
    // new mode reaches past it, and is given its first size back when the
    // first mode comes back.
    int32_t apply(const Primary& p, RRMode id, const OutputMode& m) {
        const bool turned = sideways(p.rotation);
        const int right = std::max(p.othersRight, p.x + (turned ? m.height : m.width));
        const int bottom = std::max(p.othersBottom, p.y + (turned ? m.width : m.height));
        const bool restoring = start_ && id == start_->mode;
        int minW = 0, minH = 0, maxW = 0, maxH = 0;
        const bool range = XRRGetScreenSizeRange(display_, root(), &minW, &minH, &maxW, &maxH);
        // The screen follows the monitors, as a desktop of several monitors
        // does; the restore gives it its first size back.
        const int wantWidth = restoring ? start_->screenWidth : std::max(right, minW);
        const int wantHeight = restoring ? start_->screenHeight : std::max(bottom, minH);
        if (range && (std::max(wantWidth, right) > maxW || std::max(wantHeight, bottom) > maxH)) {
            complain("XRRSetScreenSize(%dx%d): beyond the screen's largest size, %dx%d",
                     std::max(wantWidth, right), std::max(wantHeight, bottom), maxW, maxH);
            return kDispChangeBadMode;
        }
        // Every CRTC must fit the screen at every step: grow, set, then shrink.
        const int growWidth = std::max({p.screenWidth, wantWidth, right});
        const int growHeight = std::max({p.screenHeight, wantHeight, bottom});
        if ((growWidth != p.screenWidth || growHeight != p.screenHeight) && !setScreenSize(growWidth, growHeight))
            return kDispChangeFailed;

        XRRScreenResources* res = resources();
        if (!res)
            return kDispChangeFailed;
        std::vector<RROutput> outputs = p.outputs;
        const Status status = XRRSetCrtcConfig(display_, res, p.crtc, CurrentTime, p.x, p.y, id, p.rotation,
                                               outputs.data(), static_cast<int>(outputs.size()));
        XRRFreeScreenResources(res);
        XSync(display_, False);
        if (status != RRSetConfigSuccess) {
            const char* reason = status == RRSetConfigInvalidTime ? "the configuration changed meanwhile"
                                 : status == RRSetConfigInvalidConfigTime ? "the configuration is out of date"
                                                                          : "the server refused it";
            complain("XRRSetCrtcConfig(%dx%d@%d): %s", m.width, m.height, m.rate, reason);
            return kDispChangeFailed;
        }
        if ((wantWidth != growWidth || wantHeight != growHeight) && !setScreenSize(wantWidth, wantHeight))
            return kDispChangeFailed;
        return kDispChangeSuccessful;
    }

    Display* display_ = nullptr;
    std::string lastComplaint_;
    bool failed_ = false;
    bool current_ = false; // RandR 1.3: resources without a probe
    std::optional<Primary> start_; // the primary's state before the first change
};

} // namespace

DisplayBackend& systemDisplay() {
    static XrandrDisplay display;
    return display;
}

} // namespace kelvara
