#pragma once

#include <functional>

namespace kelvara {

// Clock reading in milliseconds from a platform-chosen origin.
using ClockMs = std::function<double()>;

// The platform clock: monotonic, sub-millisecond where the platform has it
// (clock_posix.cpp, clock_win32.cpp).
double platformNowMs();

// Seconds since the previous frame (which scale every movement) and since the
// timer was made (which drive the waves). Stamps are 32-bit floats, so they
// lose whole milliseconds once the clock passes 2^24 ms (about 4.7 hours of
// uptime); intervals are then off by up to half a step. That is kept: the
// motion is tuned to it and tests fix the arithmetic.
class FrameTimer {
  public:
    explicit FrameTimer(ClockMs clock = platformNowMs);

    double nowMs() const { return clock_(); }
    // Seconds since the previous call, unclamped; renews lastMs with a fresh reading.
    float frameSeconds();
    float elapsedSeconds() const;

    float startMs = 0.0f;
    float lastMs = 0.0f;

  private:
    ClockMs clock_;
};

} // namespace kelvara
