#pragma once

// The refresh rate of a RandR mode, for every file that asks RandR about rates.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace kelvara {

// Frames a second of `mode` from its timings: the dot clock over the pixels of
// one frame, a double-scanned frame drawing each line twice and an interlaced
// one half its lines. Exact to the timings, so a 59.95 Hz mode and a 60.00 Hz
// one of the same size differ; 0 when the mode has no timings (a virtual
// server's).
inline double modeRateHz(const XRRModeInfo& mode) {
    double lines = mode.vTotal;
    if (mode.modeFlags & RR_DoubleScan)
        lines *= 2.0;
    if (mode.modeFlags & RR_Interlace)
        lines /= 2.0;
    if (mode.dotClock == 0 || mode.hTotal == 0 || lines <= 0.0)
        return 0.0;
    return static_cast<double>(mode.dotClock) / (static_cast<double>(mode.hTotal) * lines);
}

} // namespace kelvara
