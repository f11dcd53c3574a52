#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "scene/clock_win32.h"
#include "scene/frame_timer.h"

using namespace kelvara;

namespace {

// A clock that returns a scripted sequence of readings, then repeats the last.
struct ScriptedClock {
    std::vector<double> readings;
    std::size_t next = 0;
    double operator()() {
        const double v = readings[next < readings.size() ? next : readings.size() - 1];
        ++next;
        return v;
    }
};

// A steady frame at an uptime of `days`: every interval must come out as the
// frame, within 0.01 ms, and the elapsed time must grow by exactly the frames.
void expectSteadyIntervalsAtUptime(double days) {
    constexpr double kFrameMs = 16.667;
    constexpr int kFrames = 600;
    double now = days * 86400000.0 + 0.123; // not on a whole millisecond
    FrameTimer timer([&now] { return now; });
    const double start = now;
    double worstMs = 0.0;
    for (int i = 0; i < kFrames; ++i) {
        now += kFrameMs;
        const double intervalMs = timer.frameSeconds() * 1000.0;
        worstMs = std::max(worstMs, std::abs(intervalMs - kFrameMs));
    }
    EXPECT_LE(worstMs, 0.01) << "at " << days << " days of uptime";
    EXPECT_NEAR(timer.elapsedSeconds() * 1000.0, now - start, 0.5) << "at " << days << " days of uptime";
}

} // namespace

TEST(FrameTimer, intervalsUseAFreshReadingForTheNextStamp) {
    auto clock = std::make_shared<ScriptedClock>();
    // creation: start, last; frame 1: now, fresh; frame 2: now, fresh
    clock->readings = {1000.0, 1001.0, 1017.0, 1018.0, 1050.0, 1050.5};
    FrameTimer timer([clock] { return (*clock)(); });
    EXPECT_EQ(timer.startMs, 1000.0f);
    EXPECT_EQ(timer.lastMs, 1001.0f);

    EXPECT_FLOAT_EQ(timer.frameSeconds(), 0.016f);
    EXPECT_EQ(timer.lastMs, 1018.0f); // not the 1017 the interval was measured to
    EXPECT_FLOAT_EQ(timer.frameSeconds(), 0.032f);
    EXPECT_EQ(timer.lastMs, 1050.5f);
}

TEST(FrameTimer, elapsedCountsFromCreationAndIsNotClamped) {
    double now = 5000.0;
    FrameTimer timer([&now] { return now; });
    now = 5250.0;
    EXPECT_FLOAT_EQ(timer.elapsedSeconds(), 0.25f);
    // A stall comes out as one long interval.
    now = 65000.0;
    EXPECT_FLOAT_EQ(timer.frameSeconds(), 60.0f);
    // Equal readings give a zero interval.
    EXPECT_EQ(timer.frameSeconds(), 0.0f);
}

TEST(FrameTimer, intervalsStaySteadyAfterAWeekOfUptime) {
    expectSteadyIntervalsAtUptime(7.0);
}

TEST(FrameTimer, intervalsStaySteadyAfter25DaysOfUptime) {
    // Past 2^31 ms, where a 32-bit millisecond count would also have wrapped.
    expectSteadyIntervalsAtUptime(25.0);
}

TEST(FrameTimer, resumeStartsTheNextIntervalNow) {
    double now = 1000.0;
    FrameTimer timer([&now] { return now; });
    now = 1000.0 + 3600000.0; // an hour with the display asleep
    timer.resume();
    now += 20.0;
    EXPECT_FLOAT_EQ(timer.frameSeconds(), 0.020f);
    EXPECT_FLOAT_EQ(timer.elapsedSeconds(), 3600.020f); // the waves' time still counts it
}

TEST(FrameTimer, platformClockIsMonotonicWithSubMillisecondSteps) {
    FrameTimer timer;
    double prev = timer.nowMs();
    bool sawFraction = false;
    for (int i = 0; i < 2000; ++i) {
        const double t = timer.nowMs();
        ASSERT_GE(t, prev);
        if (t != prev && t - prev < 1.0)
            sawFraction = true;
        prev = t;
    }
    EXPECT_TRUE(sawFraction) << "no reading advanced by less than a millisecond";
}

TEST(FrameTimer, windowsClockFallsBackToWholeMilliseconds) {
    EXPECT_DOUBLE_EQ(clockMsFrom(1000000, 2500000, 77), 2500.0);
    EXPECT_DOUBLE_EQ(clockMsFrom(3579545, 3579545LL * 3600, 77), 3600000.0);
    // No performance counter: the multimedia timer's reading, as it stands.
    EXPECT_DOUBLE_EQ(clockMsFrom(0, 123456, 4294967295u), 4294967295.0);
}
