// Display modes on X11 through RandR's outputs and CRTCs (RandR 1.2 and later):
// the primary monitor's output is listed and switched; the other monitors
// keep their modes and places.
//
// Provides: makeXrandrDisplay over the host's connection (display_xrandr.h),
// and systemDisplay() over one of its own for a run with no host, for listing,
// switching and restoring modes of the primary output of the default screen.
// Limits: the primary output is the one the server names primary, else the
// first lit one. A mode is one of that output's modes, named by its RandR id
// (a listed mode is asked for by its id; several modes may share a size and
// rate); the colour depth is the screen's and cannot change while the server
// runs, so a request for another depth is refused as a bad mode. The screen
// is sized to hold every monitor after the change (never past the server's
// maximum); the other monitors stay where they are, so a larger mode may
// overlap the one beside it.
// A change lasts until it is changed back (X has no run-only change: both
// scopes are the same here): the host restores the earlier mode on every way
// out, and a request for the first mode (or resetToSystemMode) puts back the
// primary's mode, place, rotation and outputs and the screen's size from
// before the first change.
// For the ways out the host never sees (SIGKILL, a crash) a guard process,
// started before the first change while the process has no other thread (a
// run's session asks for it before its GL preparation starts), does the same
// (mode_guard_posix.h).
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

#include "display/display_xrandr.h"
#include "display/mode_guard_posix.h"
#include "display/mode_rate_xrandr.h"
#include "settings/failure_line.h"

namespace kelvara {

namespace {

struct OutputMode {
    RRMode id = None;
    int width = 0;
    int height = 0;
    double rate = 0.0; // 0 where the mode has no timings (a virtual server)
};

// What one CRTC shows, where and how.
struct CrtcSetting {
    RRCrtc crtc = None;
    int x = 0, y = 0;
    RRMode mode = None;
    Rotation rotation = RR_Rotate_0;
    std::vector<RROutput> outputs; // every output the CRTC drives (clones included)
};

// The primary output and the state of its CRTC, read afresh for every call:
// another client may change the layout between two calls.
struct Primary {
    RROutput output = None;
    CrtcSetting setting;
    std::vector<OutputMode> modes;
    int screenWidth = 0, screenHeight = 0;

    const OutputMode* current() const {
        for (const OutputMode& m : modes)
            if (m.id == setting.mode)
                return &m;
        return nullptr;
    }
};

bool sideways(Rotation r) {
    return (r & (RR_Rotate_90 | RR_Rotate_270)) != 0;
}

class XrandrDisplay final : public DisplayBackend {
  public:
    // With `borrowed` null the backend opens a connection of its own when
    // first asked.
    explicit XrandrDisplay(Display* borrowed = nullptr) : display_(borrowed) {}
    ~XrandrDisplay() override {
        if (display_ && owned_)
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
        if (!p || !p->current())
            return false;
        mode = toDisplayMode(*p->current());
        return true;
    }

    ModeChange change(const DisplayMode& mode, ModeScope) override {
        std::optional<Primary> p = readPrimary();
        if (!p)
            return ModeChange::Failed;
        if ((mode.fields & kModeDepth) != 0 && mode.bitsPerPixel != depth()) {
            complain("XRRSetCrtcConfig(%dx%dx%d): the screen's depth is %d bits", mode.width, mode.height,
                     mode.bitsPerPixel, depth());
            return ModeChange::BadMode;
        }
        std::vector<DisplayMode> listed;
        for (const OutputMode& m : p->modes)
            listed.push_back(toDisplayMode(m));
        const DisplayMode current = p->current() ? toDisplayMode(*p->current()) : DisplayMode{};
        const int32_t index = pickListedMode(listed, mode, current);
        if (index < 0) {
            complain("XRRSetCrtcConfig(%dx%d%s): the primary monitor offers no such mode",
                     (mode.fields & kModeWidth) ? mode.width : current.width,
                     (mode.fields & kModeHeight) ? mode.height : current.height,
                     (mode.fields & kModeRate) ? " at the asked rate" : "");
            return ModeChange::BadMode;
        }
        const OutputMode& target = p->modes[static_cast<std::size_t>(index)];
        // A run's session has done this already, before its threads started;
        // a switch with no session (no other thread) does it here.
        if (!start_)
            guardStart(*p);
        if (target.id == start_->setting.mode)
            return restoreStart();
        CrtcSetting to = p->setting;
        to.mode = target.id;
        return apply(to, target, std::nullopt);
    }

    ModeChange resetToSystemMode() override { return start_ ? restoreStart() : ModeChange::Done; }

    void prepareSwitch() override {
        if (start_)
            return;
        // Without the primary's state the switch fails and says why.
        if (std::optional<Primary> p = readPrimary())
            guardStart(*p);
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
        if (ready_)
            return true;
        if (failed_)
            return false;
        if (!display_) {
            display_ = XOpenDisplay(nullptr);
            owned_ = display_ != nullptr;
        }
        int eventBase = 0, errorBase = 0, major = 0, minor = 0;
        if (!display_) {
            complain("XOpenDisplay for display modes: cannot open the display");
        } else if (!XRRQueryExtension(display_, &eventBase, &errorBase) ||
                   !XRRQueryVersion(display_, &major, &minor) || major < 1 || (major == 1 && minor < 2)) {
            complain("XRRQueryVersion: the server has no RandR 1.2 outputs; the display "
                     "mode cannot change");
            if (owned_)
                XCloseDisplay(display_);
            display_ = nullptr;
        }
        current_ = major > 1 || minor >= 3;
        failed_ = display_ == nullptr;
        ready_ = !failed_;
        return ready_;
    }

    int depth() const { return DefaultDepth(display_, DefaultScreen(display_)); }
    Window root() const { return DefaultRootWindow(display_); }

    DisplayMode toDisplayMode(const OutputMode& m) const {
        DisplayMode mode;
        mode.width = m.width;
        mode.height = m.height;
        mode.bitsPerPixel = depth();
        mode.refreshHz = m.rate;
        mode.platformId = m.id;
        mode.fields = kModeAsListed | kModeDepth | kModeWidth | kModeHeight | kModeRate;
        return mode;
    }

    // The output's modes, in the order the output lists them.
    std::vector<OutputMode> modesOf(const XRRScreenResources* res, const XRROutputInfo* info) const {
        std::vector<OutputMode> modes;
        for (int k = 0; k < info->nmode; ++k)
            for (int j = 0; j < res->nmode; ++j)
                if (res->modes[j].id == info->modes[k])
                    modes.push_back({res->modes[j].id, static_cast<int>(res->modes[j].width),
                                     static_cast<int>(res->modes[j].height), modeRateHz(res->modes[j])});
        return modes;
    }

    // The named primary output when it is lit, else the first lit output.
    void findPrimaryOutput(XRRScreenResources* res, Primary& p) {
        const RROutput named = XRRGetOutputPrimary(display_, root());
        for (int pass = 0; pass < 2 && p.setting.crtc == None; ++pass) {
            for (int i = 0; i < res->noutput && p.setting.crtc == None; ++i) {
                if (pass == 0 && res->outputs[i] != named)
                    continue;
                XRROutputInfo* info = XRRGetOutputInfo(display_, res, res->outputs[i]);
                if (info && info->crtc != None) {
                    p.output = res->outputs[i];
                    p.setting.crtc = info->crtc;
                    p.modes = modesOf(res, info);
                }
                if (info)
                    XRRFreeOutputInfo(info);
            }
        }
    }

    std::optional<Primary> readPrimary() {
        if (!open())
            return std::nullopt;
        XRRScreenResources* res = resources();
        if (!res)
            return std::nullopt;
        Primary p;
        rootSize(p.screenWidth, p.screenHeight);
        findPrimaryOutput(res, p);
        if (p.setting.crtc != None) {
            if (XRRCrtcInfo* crtc = XRRGetCrtcInfo(display_, res, p.setting.crtc)) {
                p.setting.x = crtc->x;
                p.setting.y = crtc->y;
                p.setting.mode = crtc->mode;
                p.setting.rotation = crtc->rotation;
                p.setting.outputs.assign(crtc->outputs, crtc->outputs + crtc->noutput);
                XRRFreeCrtcInfo(crtc);
            }
        }
        XRRFreeScreenResources(res);
        if (p.setting.crtc == None || p.setting.mode == None) {
            complain("XRRGetOutputInfo: no monitor is lit; the display mode cannot change");
            return std::nullopt;
        }
        return p;
    }

    // How far the lit CRTCs other than `except` reach to the right and down.
    bool othersExtent(RRCrtc except, int& right, int& bottom) {
        XRRScreenResources* res = resources();
        if (!res)
            return false;
        right = bottom = 0;
        for (int i = 0; i < res->ncrtc; ++i) {
            if (res->crtcs[i] == except)
                continue;
            if (XRRCrtcInfo* crtc = XRRGetCrtcInfo(display_, res, res->crtcs[i])) {
                if (crtc->mode != None) {
                    right = std::max(right, crtc->x + static_cast<int>(crtc->width));
                    bottom = std::max(bottom, crtc->y + static_cast<int>(crtc->height));
                }
                XRRFreeCrtcInfo(crtc);
            }
        }
        XRRFreeScreenResources(res);
        return true;
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
        return current_ ? XRRGetScreenResourcesCurrent(display_, root())
                        : XRRGetScreenResources(display_, root());
    }

    bool setScreenSize(int width, int height) {
        // The pixels per millimetre the connection started with.
        const int screen = DefaultScreen(display_);
        const double mmPerPixelX =
            static_cast<double>(DisplayWidthMM(display_, screen)) / DisplayWidth(display_, screen);
        const double mmPerPixelY =
            static_cast<double>(DisplayHeightMM(display_, screen)) / DisplayHeight(display_, screen);
        XRRSetScreenSize(display_, root(), width, height,
                         std::max(1, static_cast<int>(std::lround(width * mmPerPixelX))),
                         std::max(1, static_cast<int>(std::lround(height * mmPerPixelY))));
        XSync(display_, False);
        int nowWidth = 0, nowHeight = 0;
        if (rootSize(nowWidth, nowHeight) && nowWidth == width && nowHeight == height)
            return true;
        complain("XRRSetScreenSize(%dx%d): refused", width, height);
        return false;
    }

    // Keeps `p` as the state to give back and starts the guard, which forks:
    // only while the process has no other thread.
    void guardStart(const Primary& p) {
        start_ = p;
        guard_.start([this] { restoreInGuard(); });
    }

    // The primary as it was before the first change, whole: its mode (the
    // very one), place, rotation and outputs, and the screen's size.
    ModeChange restoreStart() {
        const OutputMode* mode = start_->current();
        const ModeChange result = apply(start_->setting, mode ? *mode : OutputMode{},
                                        std::make_pair(start_->screenWidth, start_->screenHeight));
        if (result == ModeChange::Done)
            guard_.disarm();
        return result;
    }

    // In the guard's process, after the saver ended with the display switched:
    // a connection of its own (the saver's went with it), then the restore.
    void restoreInGuard() {
        display_ = nullptr; // the saver's, copied at the fork: never used here
        owned_ = false;
        ready_ = false;
        failed_ = false;
        lastComplaint_.clear();
        if (!open())
            return;
        if (restoreStart() == ModeChange::Done)
            reportFailure("the saver ended with the display switched; its earlier mode is back");
        XCloseDisplay(display_);
        display_ = nullptr;
    }

    // Sets one CRTC as `to` says (`m` is its mode); the screen grows first
    // when the CRTC reaches past it, then takes `screen` (a restore) or
    // follows the monitors.
    ModeChange apply(const CrtcSetting& to, const OutputMode& m, std::optional<std::pair<int, int>> screen) {
        int othersRight = 0, othersBottom = 0, screenWidth = 0, screenHeight = 0;
        if (!othersExtent(to.crtc, othersRight, othersBottom) || !rootSize(screenWidth, screenHeight))
            return ModeChange::Failed;
        const bool turned = sideways(to.rotation);
        const int right = std::max(othersRight, to.x + (turned ? m.height : m.width));
        const int bottom = std::max(othersBottom, to.y + (turned ? m.width : m.height));
        int minW = 0, minH = 0, maxW = 0, maxH = 0;
        const bool range = XRRGetScreenSizeRange(display_, root(), &minW, &minH, &maxW, &maxH);
        // The screen follows the monitors, as a desktop of several monitors
        // does; the restore gives it its first size back.
        const int wantWidth = screen ? screen->first : std::max(right, minW);
        const int wantHeight = screen ? screen->second : std::max(bottom, minH);
        if (range && (std::max(wantWidth, right) > maxW || std::max(wantHeight, bottom) > maxH)) {
            complain("XRRSetScreenSize(%dx%d): beyond the screen's largest size, %dx%d",
                     std::max(wantWidth, right), std::max(wantHeight, bottom), maxW, maxH);
            return ModeChange::BadMode;
        }
        guard_.arm();
        // Every CRTC must fit the screen at every step: grow, set, then shrink.
        const int growWidth = std::max({screenWidth, wantWidth, right});
        const int growHeight = std::max({screenHeight, wantHeight, bottom});
        if ((growWidth != screenWidth || growHeight != screenHeight) && !setScreenSize(growWidth, growHeight))
            return ModeChange::Failed;
        if (!setCrtc(to, m))
            return ModeChange::Failed;
        if ((wantWidth != growWidth || wantHeight != growHeight) && !setScreenSize(wantWidth, wantHeight))
            return ModeChange::Failed;
        return ModeChange::Done;
    }

    bool setCrtc(const CrtcSetting& to, const OutputMode& m) {
        XRRScreenResources* res = resources();
        if (!res)
            return false;
        std::vector<RROutput> outputs = to.outputs;
        const Status status = XRRSetCrtcConfig(display_, res, to.crtc, CurrentTime, to.x, to.y, to.mode,
                                               to.rotation, outputs.data(), static_cast<int>(outputs.size()));
        XRRFreeScreenResources(res);
        XSync(display_, False);
        if (status == RRSetConfigSuccess)
            return true;
        const char* reason = status == RRSetConfigInvalidTime         ? "the configuration changed meanwhile"
                             : status == RRSetConfigInvalidConfigTime ? "the configuration is out of date"
                                                                      : "the server refused it";
        complain("XRRSetCrtcConfig(%dx%d@%.2f): %s", m.width, m.height, m.rate, reason);
        return false;
    }

    Display* display_ = nullptr;
    bool owned_ = false; // display_ was opened here, not handed over
    bool ready_ = false; // display_ offers RandR 1.2
    std::string lastComplaint_;
    bool failed_ = false;
    bool current_ = false;         // RandR 1.3: resources without a probe
    std::optional<Primary> start_; // the primary's state before the first change
    ModeGuard guard_;              // gives start_ back if the process dies switched
};

} // namespace

std::unique_ptr<DisplayBackend> makeXrandrDisplay(Display* display) {
    return std::make_unique<XrandrDisplay>(display);
}

DisplayBackend& systemDisplay() {
    static XrandrDisplay display;
    return display;
}

} // namespace kelvara
