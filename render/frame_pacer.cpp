#include "render/frame_pacer.h"

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
    plan.watchRetrace = retraceWait && plan.rateHz >= FramePacer::kPacedShare * refresh;
    return plan;
}

FramePacer::FramePacer(const PacingPlan& plan, ClockMs clock, SleepUntilMs sleepUntil)
    : periodMs_(plan.rateHz > 0.0 ? 1000.0 / plan.rateHz : 0.0), sleeping_(periodMs_ > 0.0 && !plan.watchRetrace),
      clock_(std::move(clock)), sleepUntil_(std::move(sleepUntil)) {}

void FramePacer::framePresented() {
    if (periodMs_ <= 0.0)
        return;
    const double now = clock_();
    if (!sleeping_) {
        if (haveLast_ && settled_ < kSettleFrames) {
            ++settled_;
        } else if (haveLast_) {
            watchedMs_ += now - lastMs_;
            ++watched_;
        }
        haveLast_ = true;
        lastMs_ = now;
        if (watched_ < kWatchFrames)
            return;
        const bool paced = watchedMs_ / watched_ >= kPacedShare * periodMs_;
        watchedMs_ = 0.0;
        watched_ = 0;
        if (paced)
            return;
        sleeping_ = true; // for good: once sleeping, frames no longer tell whether the retrace would pace
    }
    if (!onGrid_) {
        onGrid_ = true;
        deadlineMs_ = now;
    }
    deadlineMs_ += periodMs_;
    if (now < deadlineMs_)
        sleepUntil_(deadlineMs_);
    else if (now - deadlineMs_ > periodMs_)
        deadlineMs_ = now;
}

void FramePacer::resume() {
    settled_ = 0;
    haveLast_ = false;
    watchedMs_ = 0.0;
    watched_ = 0;
    onGrid_ = false;
}

} // namespace kelvara
