#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "frame_stats.h"

namespace kelvara {
namespace {

// Present times for the given intervals (ms), the first frame at `start` s.
std::vector<double> presentsFor(const std::vector<double>& intervalsMs, double start = 5.0) {
    std::vector<double> times{start};
    for (double ms : intervalsMs)
        times.push_back(times.back() + ms / 1000.0);
    return times;
}

TEST(FrameStats, steadyRunGivesItsRateAndInterval) {
    // 101 frames 10 ms apart: one second, a hundred intervals.
    const FrameSummary s = summarizeFrames(presentsFor(std::vector<double>(100, 10.0)));
    EXPECT_EQ(s.frames, 101u);
    EXPECT_NEAR(s.runSeconds, 1.0, 1e-9);
    EXPECT_NEAR(s.fps, 100.0, 1e-6);
    EXPECT_NEAR(s.frameMsMean, 10.0, 1e-6);
    EXPECT_NEAR(s.frameMsMedian, 10.0, 1e-6);
    EXPECT_NEAR(s.frameMsP99, 10.0, 1e-6);
}

TEST(FrameStats, tooFewFramesGiveNoRate) {
    EXPECT_EQ(summarizeFrames({}).frames, 0u);
    const FrameSummary one = summarizeFrames({3.0});
    EXPECT_EQ(one.frames, 1u);
    EXPECT_EQ(one.fps, 0.0);
    EXPECT_EQ(one.runSeconds, 0.0);
    EXPECT_EQ(one.frameMsP99, 0.0);
}

TEST(FrameStats, p99IsTheNearestRankOverTheIntervals) {
    // 200 intervals: rank ceil(0.99 * 200) = 198. Two slow frames stay above
    // it, a third reaches it.
    std::vector<double> intervals(198, 10.0);
    intervals.insert(intervals.begin() + 50, 2, 40.0);
    EXPECT_NEAR(summarizeFrames(presentsFor(intervals)).frameMsP99, 10.0, 1e-6);
    intervals.erase(intervals.begin());
    intervals.push_back(40.0);
    EXPECT_NEAR(summarizeFrames(presentsFor(intervals)).frameMsP99, 40.0, 1e-6);
}

TEST(FrameStats, medianOfAnEvenCountIsTheMiddlePairsMean) {
    const FrameSummary s = summarizeFrames(presentsFor({4.0, 1.0, 3.0, 2.0}));
    EXPECT_NEAR(s.frameMsMedian, 2.5, 1e-6);
    EXPECT_NEAR(s.frameMsMean, 2.5, 1e-6);
    EXPECT_NEAR(s.fps, 4.0 / 0.010, 1e-3);
}

TEST(FrameStats, fileTextHasEveryKeyOnceWithDotDecimals) {
    FrameSummary s = summarizeFrames(presentsFor({8.0, 8.5, 9.0}));
    s.startupMs = 95.31;
    s.captureMs = 40.5;
    s.peakRssKib = 81234;
    std::istringstream text(formatFrameSummary(s));
    std::map<std::string, std::string> values;
    std::vector<std::string> order;
    for (std::string line; std::getline(text, line);) {
        const auto eq = line.find('=');
        ASSERT_NE(eq, std::string::npos) << line;
        const std::string key = line.substr(0, eq);
        EXPECT_TRUE(values.emplace(key, line.substr(eq + 1)).second) << "twice: " << key;
        order.push_back(key);
    }
    const std::vector<std::string> expected = {"frames",          "run_seconds",  "fps",
                                               "frame_ms_mean",   "frame_ms_median", "frame_ms_p99",
                                               "startup_ms",      "capture_ms",   "peak_rss_kib"};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(values["frames"], "4");
    EXPECT_EQ(values["frame_ms_median"], "8.500");
    EXPECT_EQ(values["startup_ms"], "95.3");
    EXPECT_EQ(values["capture_ms"], "40.5");
    EXPECT_EQ(values["peak_rss_kib"], "81234");
    EXPECT_EQ(values["run_seconds"], "0.026");
}

} // namespace
} // namespace kelvara
