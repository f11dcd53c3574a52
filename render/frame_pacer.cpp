#include "render/frame_pacer.h"

#include <limits>
#include <utility>

namespace kelvara {

namespace {

// Refresh rates a display really runs at; anything else (0, 1 for "the
// hardware's default", garbage) is unknown.
constexpr double kLowestRefreshHz = 20.0;
constexpr double kHighestRefreshHz = 1000.0;

} // namespace

PacingPlan planPacing(int maxFps, double refreshHz, bool retraceWait) {
    PacingPlan plan;
    if (maxFps == 0)
        return plan;
    const bool known = refreshHz >= kLowestRefreshHz && refreshHz <= kHighestRefreshHz;
    const double refresh = known ? refreshHz : kFallbackRefreshHz;
    plan.rateHz = maxFps > 0 ? maxFps : refresh;
    plan.watchRetrace = retraceWait && plan.rateHz >= FrameSchedule::kPacedShare * refresh;
    return plan;
}

FrameSchedule::FrameSchedule(const PacingPlan& plan)
    : periodMs_(plan.rateHz > 0.0 ? 1000.0 / plan.rateHz : 0.0),
      holding_(periodMs_ > 0.0 && !plan.watchRetrace) {}

double FrameSchedule::presented(double now) {
    if (periodMs_ <= 0.0)
        return now;
    if (!holding_) {
        if (haveLast_ && settled_ < kSettleFrames) {
            ++settled_;
        } else if (haveLast_) {
            watchedMs_ += now - lastMs_;
            ++watched_;
        }
        haveLast_ = true;
        lastMs_ = now;
        if (watched_ < kWatchFrames)
            return now;
        const bool paced = watchedMs_ / watched_ >= kPacedShare * periodMs_;
        watchedMs_ = 0.0;
        watched_ = 0;
        if (paced)
            return now;
        holding_ = true; // for good: once held, frames no longer tell whether the display would pace them
    }
    if (!onGrid_) {
        onGrid_ = true;
        deadlineMs_ = now;
    }
    deadlineMs_ += periodMs_;
    if (now < deadlineMs_)
        return deadlineMs_;
    if (now - deadlineMs_ > periodMs_)
        deadlineMs_ = now;
    return now;
}

void FrameSchedule::resume() {
    settled_ = 0;
    haveLast_ = false;
    watchedMs_ = 0.0;
    watched_ = 0;
    onGrid_ = false;
}

FramePacer::FramePacer(const PacingPlan& plan, ClockMs clock, SleepUntilMs sleepUntil)
    : schedule_(plan), clock_(std::move(clock)), sleepUntil_(std::move(sleepUntil)) {}

void FramePacer::framePresented() {
    if (schedule_.periodMs() <= 0.0)
        return;
    const double now = clock_();
    const double due = schedule_.presented(now);
    if (due > now)
        sleepUntil_(due);
}

SurfacePacer::SurfacePacer(const PacingPlan& plan, bool frameCallbacks)
    : schedule_(plan), frameCallbacks_(frameCallbacks) {}

PaneDue SurfacePacer::due(double now, bool poweredOff) {
    if (poweredOff) {
        dark_ = true;
        return PaneDue::Dark;
    }
    const bool unseen = presentedAny_ && now - lastMs_ > kDarkMs;
    if (held_)
        return callbackPending_ && unseen ? PaneDue::Dark : PaneDue::Wait;
    const bool afterDark = dark_ || unseen;
    dark_ = false;
    return afterDark ? PaneDue::AfterDark : PaneDue::Now;
}

void SurfacePacer::presented(double now) {
    // A frame held through a dark spell was drawn before it: the frame after
    // it resumes the motion, and the deadlines start afresh.
    if (presentedAny_ && now - lastMs_ > kDarkMs) {
        dark_ = true;
        schedule_.resume();
    }
    held_ = false;
    callbackPending_ = frameCallbacks_;
    dueMs_ = schedule_.presented(now);
    presentedAny_ = true;
    lastMs_ = now;
}

double SurfacePacer::wakeMs() const {
    if (held_ && !callbackPending_)
        return dueMs_;
    return std::numeric_limits<double>::infinity();
}

} // namespace kelvara
