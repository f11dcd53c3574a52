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

// How a run's frames are held, on every platform: to `rateHz` frames a second
// (0: not at all), and whether the display may be doing that already (the
// retrace wait of a swap, a Wayland compositor's frame callbacks), so that it
// should first be watched. It can only where the rate is about the display's
// refresh or above: the display holds frames to the refresh.
struct PacingPlan {
    double rateHz = 0.0;
    bool watchRetrace = false;
};

// The plan for `maxFps` as above, with `refreshHz` the display's rate (0 or
// an implausible value: unknown) and `retraceWait` whether the retrace wait
// (on Wayland: frame callbacks) was asked for.
PacingPlan planPacing(int maxFps, double refreshHz, bool retraceWait);

// Sleeps until the platform clock (platformNowMs) reads `deadlineMs`, or not at
// all when it already has, without spinning. Per platform: clock_nanosleep on
// an absolute deadline (frame_sleep_posix.cpp), a high-resolution waitable
// timer (frame_sleep_win32.cpp). The function owns what it needs (the timer)
// and lets go of it with its last copy.
using SleepUntilMs = std::function<void(double deadlineMs)>;
SleepUntilMs makePreciseSleep();

// When frames are due under a plan, without sleeping: the pacer below and
// each Wayland surface (SurfacePacer) decide by it.
//
// Where the plan says so it first only watches: while frames come no faster
// than the rate (the retrace wait or the compositor's frame callbacks pace
// them, or drawing is slower still) no frame is held, so it cannot fight the
// display. Once a run of frames comes faster (a driver that ignores the wait:
// software GL, virtual machines, remote sessions; a compositor that answers
// every frame at once), or at once where there is nothing to watch, each frame
// is held to a deadline one period after the last. Deadlines follow a fixed
// grid, so a late frame is made good on the next one and the average rate is
// exact; a frame later than a whole period starts the grid afresh instead of
// drawing a burst to catch up. Motion is unaffected: it follows the measured
// interval, and only how often frames are drawn changes.
class FrameSchedule {
  public:
    explicit FrameSchedule(const PacingPlan& plan);

    // A frame was presented at `nowMs`: when the next one is due (`nowMs` or
    // earlier: at once).
    double presented(double nowMs);
    // Drawing stopped for a while (the display slept): watch afresh and start
    // the deadlines from the next frame, rather than count the pause as one
    // slow frame.
    void resume();

    // True once frames are held to deadlines, rather than left to the display.
    bool holding() const { return holding_; }
    double periodMs() const { return periodMs_; }

    // Intervals left out after a start or a pause (the first frames fill the
    // driver's queue of buffers and come faster whatever the retrace does),
    // intervals watched at a time before deciding that the display does not
    // pace them (few: every frame watched is a frame drawn unpaced), and the
    // share of a period their mean must reach to count as paced (slack for a
    // rate the platform rounds).
    static constexpr int kSettleFrames = 2;
    static constexpr int kWatchFrames = 10;
    static constexpr double kPacedShare = 0.9;

  private:
    double periodMs_ = 0.0;
    bool holding_ = false;
    // Watching: the previous frame and the intervals summed so far.
    int settled_ = 0;
    bool haveLast_ = false;
    double lastMs_ = 0.0;
    double watchedMs_ = 0.0;
    int watched_ = 0;
    // Holding: the deadline of the frame just presented.
    bool onGrid_ = false;
    double deadlineMs_ = 0.0;
};

// Holds the render loop to a frame rate by sleeping, called once after every
// swap (X11, Windows): the schedule above on the platform clock.
class FramePacer {
  public:
    explicit FramePacer(const PacingPlan& plan, ClockMs clock = platformNowMs,
                        SleepUntilMs sleepUntil = makePreciseSleep());

    void framePresented();
    void resume() { schedule_.resume(); }

    // True once frames are held by sleeping, rather than left to the retrace.
    bool sleeping() const { return schedule_.holding(); }
    double periodMs() const { return schedule_.periodMs(); }

  private:
    FrameSchedule schedule_;
    ClockMs clock_;
    SleepUntilMs sleepUntil_;
};

// Whether a monitor with a surface of its own is drawn this frame.
enum class PaneDue {
    Wait,      // not yet: the frame drawn ahead is not shown yet
    Dark,      // not for a while: its output is off or shows nothing; frames go on without it
    Now,       // draw it
    AfterDark, // draw it; it was not drawn for a while, so its motion resumes rather than leaps
};

// The frames of one surface the compositor paces with frame callbacks
// (Wayland), where one thread draws several surfaces and must never block on
// any of them: the schedule above, with the frame callback in place of the
// retrace wait.
//
// Each surface is drawn one frame ahead: the next frame is drawn as soon as
// the last was presented and is held until the compositor has shown that one
// (its frame callback came) and the schedule's deadline has passed. So a frame
// goes to the compositor the moment it may, however long drawing takes, and
// one that takes most of a period still makes the next refresh; waiting for
// the callback before drawing would miss it whenever drawing outlasts what is
// left of the period. A surface whose callback does not come for kDarkMs
// (hidden, its output off) is dark: the loop goes on without it, and once it
// is shown again its motion resumes rather than leaps.
class SurfacePacer {
  public:
    // `frameCallbacks`: each present asks for a frame callback (the retrace
    // wait's counterpart; off with --no-vsync).
    SurfacePacer(const PacingPlan& plan, bool frameCallbacks);

    // Whether to draw now (the frame drawn ahead is still held: Wait or Dark).
    PaneDue due(double nowMs, bool poweredOff);
    // A frame was drawn into the surface's back buffer.
    void drawn() { held_ = true; }
    // Whether the frame drawn is to be presented now.
    bool presentDue(double nowMs) const { return held_ && !callbackPending_ && nowMs >= dueMs_; }
    // It was, with a frame callback asked for where they are used.
    void presented(double nowMs);
    // The compositor showed the last frame presented.
    void callbackDone() { callbackPending_ = false; }
    // When the loop must look again though no event came: the held frame's
    // deadline (infinity when an event or nothing at all is awaited).
    double wakeMs() const;

    static constexpr double kDarkMs = 1000.0;

  private:
    FrameSchedule schedule_;
    bool frameCallbacks_;
    bool held_ = false;
    bool callbackPending_ = false;
    bool presentedAny_ = false;
    bool dark_ = false;
    double lastMs_ = 0.0; // the last present
    double dueMs_ = 0.0;  // when the held frame may be presented
};

} // namespace kelvara
