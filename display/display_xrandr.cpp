// Display modes on X11 through the RandR extension's screen configurations.
//
// Provides: systemDisplay(), the one backend of the process, for listing,
// switching and restoring modes of the default screen.
// Limits: a mode is a screen size at one of its refresh rates; the colour
// depth is the screen's and cannot change while the server runs, so a request
// for another depth is refused as a bad mode. A change lasts until it is
// changed back (there is no run-only change): the host restores the earlier
// mode on every way out, and resetToRegistryMode goes back to the mode the
// screen had when this backend first looked. Failures print one line on stderr
// naming the call and the reason; nothing else is shown. Main thread only.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <cstdio>
#include <optional>
#include <vector>

#include "display/display_modes.h"

namespace kelvara {

namespace {

struct RandrMode {
    int sizeIndex = 0;
    int width = 0;
    int height = 0;
    short rate = 0; // hertz; 0 where the server lists no rates
};

class XrandrDisplay final : public DisplayBackend {
  public:
    ~XrandrDisplay() override {
        if (display_)
            XCloseDisplay(display_);
    }

    bool enumerate(int32_t index, DisplayMode& mode) override {
        const std::vector<RandrMode> modes = listModes();
        if (index < 0 || static_cast<std::size_t>(index) >= modes.size())
            return false;
        mode = toDisplayMode(modes[static_cast<std::size_t>(index)]);
        return true;
    }

    bool currentMode(DisplayMode& mode) override {
        RandrMode current;
        if (!readCurrent(current))
            return false;
        mode = toDisplayMode(current);
        return true;
    }

    int32_t change(const DisplayMode& mode, uint32_t) override {
        if (!open())
            return kDispChangeFailed;
        if ((mode.fields & kDmBitsPerPel) != 0 && mode.bitsPerPixel != depth()) {
            std::fprintf(stderr, "kelvara: XRRSetScreenConfig(%dx%dx%d): the screen's depth is %d bits\n",
                         mode.width, mode.height, mode.bitsPerPixel, depth());
            return kDispChangeBadMode;
        }
        RandrMode current;
        if (!readCurrent(current))
            return kDispChangeFailed;
        rememberStart(current);
        const bool sizeAsked = (mode.fields & (kDmPelsWidth | kDmPelsHeight)) != 0;
        const int width = (mode.fields & kDmPelsWidth) ? mode.width : current.width;
        const int height = (mode.fields & kDmPelsHeight) ? mode.height : current.height;
        const bool rateAsked = (mode.fields & kDmDisplayFrequency) != 0 && mode.refreshHz > 0;
        // The first listed rate of the size unless one was asked for; the
        // current rate when the size stays.
        std::optional<RandrMode> target;
        for (const RandrMode& m : listModes()) {
            if (m.width != width || m.height != height)
                continue;
            if (rateAsked ? m.rate == mode.refreshHz : (!target || (!sizeAsked && m.rate == current.rate)))
                target = m;
        }
        if (!target) {
            std::fprintf(stderr, "kelvara: XRRSetScreenConfig(%dx%d%s): the screen offers no such mode\n",
                         width, height, rateAsked ? " at the asked rate" : "");
            return kDispChangeBadMode;
        }
        return apply(*target);
    }

    int32_t resetToRegistryMode() override {
        if (!start_)
            return kDispChangeSuccessful;
        return apply(*start_);
    }

    void showError(const std::string& text, const char* caption) override {
        std::string line = text;
        while (!line.empty() && line.back() == '\n')
            line.pop_back();
        std::fprintf(stderr, "kelvara: %s: %s\n", caption, line.c_str());
    }

  private:
    bool open() {
        if (display_)
            return true;
        if (failed_)
            return false;
        display_ = XOpenDisplay(nullptr);
        int eventBase = 0, errorBase = 0;
        if (!display_) {
            std::fprintf(stderr, "kelvara: XOpenDisplay for display modes: cannot open the display\n");
        } else if (!XRRQueryExtension(display_, &eventBase, &errorBase)) {
            std::fprintf(stderr, "kelvara: XRRQueryExtension: the server has no RandR extension\n");
            XCloseDisplay(display_);
            display_ = nullptr;
        }
        failed_ = display_ == nullptr;
        return display_ != nullptr;
    }

    int depth() const { return DefaultDepth(display_, DefaultScreen(display_)); }
    Window root() const { return DefaultRootWindow(display_); }

    DisplayMode toDisplayMode(const RandrMode& m) const {
        DisplayMode mode;
        mode.width = m.width;
        mode.height = m.height;
        mode.bitsPerPixel = depth();
        mode.refreshHz = m.rate;
        mode.fields = kDmBitsPerPel | kDmPelsWidth | kDmPelsHeight | kDmDisplayFrequency;
        return mode;
    }

    std::vector<RandrMode> listModes() {
        std::vector<RandrMode> modes;
        if (!open())
            return modes;
        XRRScreenConfiguration* config = XRRGetScreenInfo(display_, root());
        if (!config)
            return modes;
        int sizeCount = 0;
        XRRScreenSize* sizes = XRRConfigSizes(config, &sizeCount);
        for (int i = 0; i < sizeCount; ++i) {
            int rateCount = 0;
            short* rates = XRRConfigRates(config, i, &rateCount);
            if (rateCount == 0)
                modes.push_back({i, sizes[i].width, sizes[i].height, 0});
            for (int r = 0; r < rateCount; ++r)
                modes.push_back({i, sizes[i].width, sizes[i].height, rates[r]});
        }
        XRRFreeScreenConfigInfo(config);
        return modes;
    }

    bool readCurrent(RandrMode& current) {
        if (!open())
            return false;
        XRRScreenConfiguration* config = XRRGetScreenInfo(display_, root());
        if (!config)
            return false;
        Rotation rotation = 0;
        int sizeCount = 0;
        XRRScreenSize* sizes = XRRConfigSizes(config, &sizeCount);
        const int index = XRRConfigCurrentConfiguration(config, &rotation);
        const bool ok = index >= 0 && index < sizeCount;
        if (ok)
            current = {index, sizes[index].width, sizes[index].height, XRRConfigCurrentRate(config)};
        XRRFreeScreenConfigInfo(config);
        return ok;
    }

    void rememberStart(const RandrMode& current) {
        if (!start_)
            start_ = current;
    }

    int32_t apply(const RandrMode& m) {
        if (!open())
            return kDispChangeFailed;
        XRRScreenConfiguration* config = XRRGetScreenInfo(display_, root());
        if (!config)
            return kDispChangeFailed;
        Rotation rotation = 0;
        XRRConfigCurrentConfiguration(config, &rotation);
        const Status status =
            m.rate > 0 ? XRRSetScreenConfigAndRate(display_, config, root(), m.sizeIndex, rotation, m.rate,
                                                   CurrentTime)
                       : XRRSetScreenConfig(display_, config, root(), m.sizeIndex, rotation, CurrentTime);
        XRRFreeScreenConfigInfo(config);
        XSync(display_, False);
        if (status != RRSetConfigSuccess) {
            const char* reason = status == RRSetConfigInvalidTime ? "the configuration changed meanwhile"
                                 : status == RRSetConfigInvalidConfigTime ? "the configuration is out of date"
                                                                          : "the server refused it";
            std::fprintf(stderr, "kelvara: XRRSetScreenConfigAndRate(%dx%d@%d): %s\n", m.width, m.height,
                         m.rate, reason);
            return kDispChangeFailed;
        }
        return kDispChangeSuccessful;
    }

    Display* display_ = nullptr;
    bool failed_ = false;
    std::optional<RandrMode> start_; // the mode before the first change
};

} // namespace

DisplayBackend& systemDisplay() {
    static XrandrDisplay display;
    return display;
}

} // namespace kelvara
