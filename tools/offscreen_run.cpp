// The checks on an off-screen run: plain numbers, so they build everywhere.
#include <cmath>

#include "tools/offscreen.h"

namespace kelvara {

namespace {

bool sideInRange(int32_t side) {
    return side >= 1 && side <= kMaxOffscreenSide;
}

} // namespace

bool validateRun(const OffscreenRun& run, std::string& error) {
    if (!sideInRange(run.width) || !sideInRange(run.height)) {
        error = "picture size " + std::to_string(run.width) + "x" + std::to_string(run.height) +
                " out of range (1 to " + std::to_string(kMaxOffscreenSide) + ")";
        return false;
    }
    if (!std::isfinite(run.intervalMs) || run.intervalMs <= 0.0) {
        error = "frame interval must be a positive number of milliseconds";
        return false;
    }
    if (run.frames < 1) {
        error = "at least one frame must be rendered";
        return false;
    }
    for (int32_t frame : run.captureAt) {
        if (frame < 1 || frame > run.frames) {
            error = "frame " + std::to_string(frame) + " is not among the frames 1 to " +
                    std::to_string(run.frames);
            return false;
        }
    }
    return true;
}

} // namespace kelvara
