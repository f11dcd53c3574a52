#pragma once

#include <functional>

#include "scene/frame_timer.h"

namespace kelvara {

// --max-fps / KELVARA_MAX_FPS: kMaxFpsDisplayRate (the default) holds frames to
// the display's refresh rate, 0 draws as fast as the machine can, N caps at N
// frames a second.
inline constexpr int kMaxFpsDisplayRate = -1;
inline constexpr int kMaxFpsHighest = 1000;

// The refresh rate taken where the platform does not tell (or tells nonsense).
inline constexpr double kFallbackRefreshHz = 60.0;

// How a run's frames are held: to `rateHz` frames a second (0: not at all),
// and whether the retrace wait may be doing that already, so the pacer should
// first watch whether it does. It can only where the rate is about the
// display's refresh or above: the retrace wait holds frames to the refresh.
struct PacingPlan {
    double rateHz = 0.0;
    bool watchRetrace = false;
};

// The plan for `maxFps` as above, with `refreshHz` the display's rate (0 or
// an implausible value: unknown) and `retraceWait` whether the retrace wait
// was asked for.
PacingPlan planPacing(int maxFps, double refreshHz, bool retraceWait);

// Sleeps until the platform clock (platformNowMs) reads `deadlineMs`, or not at
// all when it already has, without spinning. Per platform: clock_nanosleep on
// an absolute deadline (frame_sleep_posix.cpp), a high-resolution waitable
// timer (frame_sleep_win32.cpp). The function owns what it needs (the timer)
// and lets go of it with its last copy.
using SleepUntilMs = std::function<void(double deadlineMs)>;
SleepUntilMs makePreciseSleep();

// Holds the render loop to a frame rate, called once after every swap.
//
// Where the plan says so it first only watches: while frames come no faster
// than the rate (the retrace wait paces them, or drawing is slower still) it
// never sleeps, so it cannot fight the retrace. Once a run of frames comes
// faster (a driver that ignores the wait: software GL, virtual machines,
// remote sessions), or at once where there is nothing to watch, it sleeps
// each frame to a deadline one period after the last. Deadlines follow a
// fixed grid, so a late wake-up is made good on the next frame and the
// average rate is exact; a frame later than a whole period starts the grid
// afresh instead of drawing a burst to catch up. Motion is unaffected: it
// follows the measured interval, and only how often frames are drawn changes.
class FramePacer {
  public:
    explicit FramePacer(const PacingPlan& plan, ClockMs clock = platformNowMs,
                        SleepUntilMs sleepUntil = makePreciseSleep());

    void framePresented();
    // Drawing stopped for a while (the display slept): watch afresh and start
    // the deadlines from the next frame, rather than count the pause as one
    // slow frame.
    void resume();

    // True once frames are held by sleeping, rather than left to the retrace.
    bool sleeping() const { return sleeping_; }
    double periodMs() const { return periodMs_; }

    // Intervals left out after a start or a pause (the first frames fill the
    // driver's queue of buffers and come faster whatever the retrace does),
    // intervals watched at a time before deciding that the retrace wait does
    // not pace them (few: every frame watched is a frame drawn unpaced), and
    // the share of a period their mean must reach to count as paced (slack
    // for a rate the platform rounds).
    static constexpr int kSettleFrames = 2;
    static constexpr int kWatchFrames = 10;
    static constexpr double kPacedShare = 0.9;

  private:
    double periodMs_ = 0.0;
    bool sleeping_ = false;
    ClockMs clock_;
    SleepUntilMs sleepUntil_;
    // Watching: the previous swap and the intervals summed so far.
    int settled_ = 0;
    bool haveLast_ = false;
    double lastMs_ = 0.0;
    double watchedMs_ = 0.0;
    int watched_ = 0;
    // Sleeping: the deadline of the frame just drawn.
    bool onGrid_ = false;
    double deadlineMs_ = 0.0;
};

} // namespace kelvara
