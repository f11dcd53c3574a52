#pragma once

#include <functional>

namespace kelvara {

// Clock reading in milliseconds from a platform-chosen origin.
using ClockMs = std::function<double()>;

// The platform clock: monotonic, sub-millisecond where the platform has it
// (clock_posix.cpp, clock_win32.cpp).
double platformNowMs();

// Seconds since the previous frame (which scale every movement) and since the
// timer was made (which drive the waves). The clock counts from boot, so its
// readings grow with the machine's uptime: the stamps are kept in double
// precision, which holds a reading to well under a microsecond for centuries,
// and an interval comes out the same after a week of uptime as after a minute.
class FrameTimer {
  public:
    explicit FrameTimer(ClockMs clock = platformNowMs);

    double nowMs() const { return clock_(); }
    // Seconds since the previous call, unclamped; renews lastMs with a fresh reading.
    float frameSeconds();
    float elapsedSeconds() const;
    // The time since the previous frame was not spent drawing (the display
    // slept): the next interval starts now, so nothing leaps when drawing resumes.
    void resume() { lastMs = nowMs(); }

    double startMs = 0.0; // milliseconds of the clock
    double lastMs = 0.0;

  private:
    ClockMs clock_;
};

} // namespace kelvara
