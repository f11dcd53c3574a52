#include "scene/frame_timer.h"

#include <utility>

namespace kelvara {

FrameTimer::FrameTimer(ClockMs clock) : clock_(std::move(clock)) {
    startMs = nowMs();
    lastMs = nowMs();
}

float FrameTimer::frameSeconds() {
    const double now = nowMs();
    const float dt = static_cast<float>((now - lastMs) * 0.001);
    // A fresh reading, not `now`: the time spent between the two calls belongs
    // to the next interval, as it always has.
    lastMs = nowMs();
    return dt;
}

float FrameTimer::elapsedSeconds() const {
    return static_cast<float>((nowMs() - startMs) * 0.001);
}

} // namespace kelvara
