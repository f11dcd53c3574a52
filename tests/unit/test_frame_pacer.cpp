#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "render/frame_pacer.h"

using namespace kelvara;

namespace {

// A render loop on a clock of its own: drawing a frame takes drawMs, a sleep
// ends at its deadline plus lateMs, and every presented frame is stamped.
struct SimulatedLoop {
    double now = 5000.0;
    double lateMs = 0.0;
    std::vector<double> presented;
    std::vector<double> deadlines;

    FramePacer pacer(const PacingPlan& plan) {
        return FramePacer(
            plan, [this] { return now; },
            [this](double deadline) {
                deadlines.push_back(deadline);
                now = std::max(now, deadline + lateMs);
            });
    }

    void frames(FramePacer& pacer, int count, double drawMs) {
        for (int i = 0; i < count; ++i) {
            now += drawMs;
            presented.push_back(now);
            pacer.framePresented();
        }
    }

    // Mean interval of the last `count` presented frames, in ms.
    double meanIntervalOfLast(int count) const {
        const std::size_t n = presented.size();
        return (presented[n - 1] - presented[n - 1 - static_cast<std::size_t>(count)]) / count;
    }
};

PacingPlan sleepAt(double hz) {
    return PacingPlan{hz, false};
}

} // namespace

TEST(PacingPlan, defaultsToTheDisplaysRefreshAndWatchesTheRetrace) {
    const PacingPlan p = planPacing(kMaxFpsDisplayRate, 75.0, true);
    EXPECT_EQ(p.rateHz, 75.0);
    EXPECT_TRUE(p.watchRetrace);
    // Without the retrace wait there is nothing to watch: sleep from the start.
    EXPECT_FALSE(planPacing(kMaxFpsDisplayRate, 75.0, false).watchRetrace);
    EXPECT_EQ(planPacing(kMaxFpsDisplayRate, 75.0, false).rateHz, 75.0);
}

TEST(PacingPlan, anUnknownRefreshRateCountsAsSixtyHertz) {
    for (double hz : {0.0, 1.0, 19.0, 5000.0, -60.0})
        EXPECT_EQ(planPacing(kMaxFpsDisplayRate, hz, true).rateHz, kFallbackRefreshHz) << hz;
    EXPECT_EQ(planPacing(kMaxFpsDisplayRate, 59.94, true).rateHz, 59.94);
}

TEST(PacingPlan, maxFpsSetsAnotherCapOrNone) {
    EXPECT_EQ(planPacing(0, 60.0, true).rateHz, 0.0);
    EXPECT_EQ(planPacing(0, 60.0, false).rateHz, 0.0);
    // Below the refresh the retrace cannot hold frames to the cap: sleep at once.
    const PacingPlan thirty = planPacing(30, 60.0, true);
    EXPECT_EQ(thirty.rateHz, 30.0);
    EXPECT_FALSE(thirty.watchRetrace);
    // At or above it, a working retrace wait is cap enough.
    EXPECT_TRUE(planPacing(120, 60.0, true).watchRetrace);
    EXPECT_TRUE(planPacing(59, 60.0, true).watchRetrace);
}

TEST(FramePacer, holdsFastFramesToTheRateOnAFixedGrid) {
    SimulatedLoop loop;
    loop.lateMs = 0.3; // the system wakes the thread a little late
    FramePacer pacer = loop.pacer(sleepAt(60.0));
    EXPECT_TRUE(pacer.sleeping());
    loop.frames(pacer, 601, 2.0);
    // Late wake-ups are made good: 600 intervals take 600 periods, within one.
    EXPECT_NEAR(loop.presented.back() - loop.presented.front(), 600 * 1000.0 / 60.0, 1000.0 / 60.0);
    for (std::size_t i = 1; i < loop.deadlines.size(); ++i)
        EXPECT_NEAR(loop.deadlines[i] - loop.deadlines[i - 1], 1000.0 / 60.0, 1e-6) << i;
}

TEST(FramePacer, noCapNeverSleeps) {
    SimulatedLoop loop;
    FramePacer pacer = loop.pacer(planPacing(0, 60.0, false));
    loop.frames(pacer, 100, 1.0);
    EXPECT_TRUE(loop.deadlines.empty());
    EXPECT_FALSE(pacer.sleeping());
}

TEST(FramePacer, leavesAWorkingRetraceWaitAlone) {
    SimulatedLoop loop;
    FramePacer pacer = loop.pacer(planPacing(kMaxFpsDisplayRate, 60.0, true));
    // The first swaps return at once (the driver's buffers fill), then each
    // waits for the retrace.
    loop.frames(pacer, 2, 0.5);
    loop.frames(pacer, 600, 1000.0 / 60.0);
    EXPECT_FALSE(pacer.sleeping());
    EXPECT_TRUE(loop.deadlines.empty());
}

TEST(FramePacer, framesSlowerThanTheRateAreNeverHeldBack) {
    SimulatedLoop loop;
    FramePacer pacer = loop.pacer(planPacing(kMaxFpsDisplayRate, 60.0, true));
    loop.frames(pacer, 300, 25.0);
    EXPECT_TRUE(loop.deadlines.empty());
    // Even once sleeping, a frame that is late already gets no sleep.
    SimulatedLoop slow;
    FramePacer sleeper = slow.pacer(sleepAt(60.0));
    slow.frames(sleeper, 300, 25.0);
    EXPECT_NEAR(slow.meanIntervalOfLast(200), 25.0, 1e-9);
}

TEST(FramePacer, sleepsOnceTheRetraceWaitIsFoundNotToPace) {
    SimulatedLoop loop;
    FramePacer pacer = loop.pacer(planPacing(kMaxFpsDisplayRate, 60.0, true));
    loop.frames(pacer, 1 + FrameSchedule::kSettleFrames + FrameSchedule::kWatchFrames - 1, 5.0);
    EXPECT_FALSE(pacer.sleeping()) << "decided before a whole run of frames was watched";
    loop.frames(pacer, 1, 5.0);
    EXPECT_TRUE(pacer.sleeping());
    loop.frames(pacer, 300, 5.0);
    EXPECT_NEAR(loop.meanIntervalOfLast(240), 1000.0 / 60.0, 1e-6);
}

TEST(FramePacer, aStallRestartsTheGridInsteadOfABurst) {
    SimulatedLoop loop;
    FramePacer pacer = loop.pacer(sleepAt(50.0)); // 20 ms
    loop.frames(pacer, 10, 2.0);
    loop.frames(pacer, 1, 500.0);
    loop.frames(pacer, 6, 2.0);
    // The frame after the stall goes at once; from then on one period apart,
    // with no run of frames drawn back to back to make up the half second.
    const std::size_t n = loop.presented.size();
    for (std::size_t i = n - 5; i < n; ++i)
        EXPECT_NEAR(loop.presented[i] - loop.presented[i - 1], 20.0, 1e-9) << i;
}

TEST(FramePacer, aFrameLateByLessThanAPeriodIsMadeGood) {
    SimulatedLoop loop;
    FramePacer pacer = loop.pacer(sleepAt(50.0));
    loop.frames(pacer, 10, 2.0);
    const double grid = loop.deadlines.back();
    loop.frames(pacer, 1, 30.0); // ends 10 ms past the next deadline: no sleep
    loop.frames(pacer, 1, 2.0);  // then a short wait, back on the grid
    EXPECT_NEAR(loop.deadlines.back(), grid + 40.0, 1e-9);
}

TEST(FramePacer, aPauseIsNeitherWatchedNorMadeGood) {
    SimulatedLoop loop;
    FramePacer pacer = loop.pacer(planPacing(kMaxFpsDisplayRate, 60.0, true));
    loop.frames(pacer, 8, 1000.0 / 60.0);
    // Twenty seconds in the dark, then the frames go on at the retrace's pace:
    // the pause must not count as one slow interval that hides fast ones.
    loop.now += 20000.0;
    pacer.resume();
    loop.frames(pacer, 30, 1000.0 / 60.0);
    EXPECT_FALSE(pacer.sleeping());

    SimulatedLoop fast;
    FramePacer sleeper = fast.pacer(sleepAt(60.0));
    fast.frames(sleeper, 10, 2.0);
    fast.now += 20000.0;
    sleeper.resume();
    const std::size_t before = fast.deadlines.size();
    const std::size_t firstAfter = fast.presented.size();
    fast.frames(sleeper, 3, 2.0);
    // The grid starts at the first frame after the pause, not twenty seconds
    // back: no frames drawn back to back to catch up.
    ASSERT_EQ(fast.deadlines.size(), before + 3);
    EXPECT_NEAR(fast.deadlines[before], fast.presented[firstAfter] + 1000.0 / 60.0, 1e-9);
    EXPECT_NEAR(fast.presented[firstAfter + 2] - fast.presented[firstAfter + 1], 1000.0 / 60.0, 1e-9);
}

namespace {

// A compositor showing a surface whose frames a SurfacePacer holds, on a clock
// of its own. With a period it shows what was committed at its next refresh
// and sends the frame callback once it has composed (composeMs later); with
// none it shows a commit at once and calls back after composeMs. Drawing a
// frame takes drawMs; the loop waits for the callback or the pacer's deadline.
struct SimulatedCompositor {
    double periodMs = 1000.0 / 60.0;
    double composeMs = 0.0;
    double drawMs = 5.0;
    bool callsBack = true; // false: the output is hidden, and shows nothing

    double now = 0.0;
    std::vector<double> shown;
    std::vector<PaneDue> dues;
    double nextRefresh = 1000.0 / 60.0;
    double committed = -1.0; // a commit not shown yet
    double callbackAt = kNever;

    void run(SurfacePacer& pacer, double untilMs) {
        while (now < untilMs) {
            for (; periodMs > 0.0 && nextRefresh <= now; nextRefresh += periodMs) {
                if (committed >= 0.0 && callsBack) {
                    shown.push_back(nextRefresh);
                    callbackAt = nextRefresh + composeMs;
                    committed = -1.0;
                }
            }
            if (callbackAt <= now) {
                pacer.callbackDone();
                callbackAt = kNever;
            }
            if (pacer.presentDue(now)) {
                pacer.presented(now);
                committed = now;
                if (periodMs <= 0.0 && callsBack) {
                    shown.push_back(now);
                    callbackAt = now + composeMs;
                    committed = -1.0;
                }
            }
            dues.push_back(pacer.due(now, false));
            if (dues.back() == PaneDue::Now || dues.back() == PaneDue::AfterDark) {
                now += drawMs;
                pacer.drawn();
                continue;
            }
            // Nothing to do: sleep until something happens, as poll() would.
            double next = std::min({callbackAt, pacer.wakeMs(), now + 50.0});
            if (periodMs > 0.0 && committed >= 0.0)
                next = std::min(next, nextRefresh);
            now = std::max(next, now + 0.01);
        }
    }

    // Frames shown a second from `fromMs` on.
    double shownRate(double fromMs) const {
        const auto first = std::lower_bound(shown.begin(), shown.end(), fromMs);
        const long count = shown.end() - first;
        return count < 2 ? 0.0 : (count - 1) * 1000.0 / (shown.back() - *first);
    }

    static constexpr double kNever = 1e300;
};

} // namespace

TEST(SurfacePacer, holdsEachSurfaceToItsPlanWhateverTheCompositorDoes) {
    const struct {
        const char* what;
        int maxFps;
        bool callbacks;
        double periodMs, composeMs, drawMs;
        double rate;
    } cases[] = {
        // Drawing and composing take more than a period together: a frame
        // drawn only once the callback came would miss every other refresh.
        {"slow drawing at the display's rate", kMaxFpsDisplayRate, true, 1000.0 / 60.0, 6.0, 12.0, 60.0},
        {"fast drawing at the display's rate", kMaxFpsDisplayRate, true, 1000.0 / 60.0, 1.0, 2.0, 60.0},
        {"a compositor that calls back at once", kMaxFpsDisplayRate, true, 0.0, 0.5, 2.0, 60.0},
        {"--max-fps below the refresh", 30, true, 1000.0 / 60.0, 1.0, 2.0, 30.0},
        {"--no-vsync: deadlines alone", kMaxFpsDisplayRate, false, 0.0, 0.0, 2.0, 60.0},
        {"--no-vsync --max-fps 0: free", 0, false, 0.0, 0.0, 4.0, 250.0},
    };
    for (const auto& c : cases) {
        SurfacePacer pacer(planPacing(c.maxFps, 60.0, c.callbacks), c.callbacks);
        SimulatedCompositor compositor;
        compositor.periodMs = c.periodMs;
        compositor.composeMs = c.composeMs;
        compositor.drawMs = c.drawMs;
        compositor.run(pacer, 3000.0);
        EXPECT_NEAR(compositor.shownRate(1000.0), c.rate, 0.02 * c.rate) << c.what;
    }
}

TEST(SurfacePacer, anOutputThatStopsCallingBackGoesDarkAndItsMotionResumesAfter) {
    SurfacePacer pacer(planPacing(kMaxFpsDisplayRate, 60.0, true), true);
    SimulatedCompositor compositor;
    compositor.run(pacer, 500.0);
    compositor.callsBack = false; // hidden: the frame drawn ahead is held
    compositor.run(pacer, 3000.0);
    ASSERT_EQ(compositor.dues.back(), PaneDue::Dark);
    const auto firstDark = std::find(compositor.dues.begin(), compositor.dues.end(), PaneDue::Dark);
    EXPECT_EQ(std::count(firstDark, compositor.dues.end(), PaneDue::Now), 0);
    // Shown again: the held frame goes out, and the next resumes the motion.
    compositor.dues.clear();
    compositor.callsBack = true;
    compositor.run(pacer, 3500.0);
    EXPECT_EQ(std::count(compositor.dues.begin(), compositor.dues.end(), PaneDue::AfterDark), 1);
    EXPECT_NEAR(compositor.shownRate(3100.0), 60.0, 1.2);

    // Switched off: dark at once, and after it the motion resumes too.
    SurfacePacer off(planPacing(kMaxFpsDisplayRate, 60.0, true), true);
    EXPECT_EQ(off.due(0.0, true), PaneDue::Dark);
    EXPECT_EQ(off.due(2000.0, false), PaneDue::AfterDark);
    EXPECT_EQ(off.due(2000.0, false), PaneDue::Now);
}
