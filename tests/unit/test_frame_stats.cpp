#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "render/frame_stats.h"

namespace kelvara {
namespace {

using Clock = FrameStats::Clock;

Clock::time_point at(double ms) {
    return Clock::time_point{} +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(ms + 1e6));
}

std::map<std::string, std::string> parseLines(const std::string& text) {
    std::map<std::string, std::string> values;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

TEST(FrameStats, percentilesFollowTheFrameTimesNotTheirMean) {
    // 98 frames of 10 ms, then two hitches of 40 ms and 90 ms: 100 intervals.
    FrameStats stats;
    double t = 0;
    stats.framePresented(at(t));
    for (int i = 0; i < 98; ++i)
        stats.framePresented(at(t += 10));
    stats.framePresented(at(t += 40));
    stats.framePresented(at(t += 90));
    const FrameSummary s = stats.summary();
    EXPECT_EQ(s.frames, 101u);
    EXPECT_NEAR(s.runSeconds, 1.110, 1e-6);
    EXPECT_NEAR(s.fps, 100 / 1.110, 1e-6);
    EXPECT_NEAR(s.meanMs, 11.1, 1e-6);
    EXPECT_NEAR(s.medianMs, 10.0, FrameStats::kBinMs);
    // Nearest rank: the 99th of 100 sorted intervals is the 40 ms hitch.
    EXPECT_NEAR(s.p99Ms, 40.0, FrameStats::kBinMs);
}

TEST(FrameStats, longFramesAndShortRunsStayMeaningful) {
    FrameStats none;
    FrameSummary s = none.summary();
    EXPECT_EQ(s.frames, 0u);
    EXPECT_EQ(s.fps, 0);
    EXPECT_EQ(s.startupMs, -1) << "no frame: no start-up time";

    FrameStats one;
    one.framePresented(at(0));
    s = one.summary();
    EXPECT_EQ(s.frames, 1u);
    EXPECT_EQ(s.fps, 0);
    EXPECT_EQ(s.p99Ms, 0);

    // Long frames (a debugger, valgrind, a swapping machine) still rank in
    // order, to the coarse bins' millisecond.
    FrameStats slow;
    double t = 0;
    slow.framePresented(at(t));
    for (double ms : {1000.0, 3000.0, 400.0, 12000.0, 300.0})
        slow.framePresented(at(t += ms));
    s = slow.summary();
    EXPECT_NEAR(s.medianMs, 1000, FrameStats::kCoarseBinMs) << "sorted: 300 400 1000 3000 12000";
    EXPECT_NEAR(s.p99Ms, 12000, FrameStats::kCoarseBinMs);
    EXPECT_NEAR(s.meanMs, 16700 / 5.0, 1e-6);

    // Beyond the last bin the slowest frame is what the tail reports.
    FrameStats stuck;
    stuck.framePresented(at(0));
    stuck.framePresented(at(90000));
    stuck.framePresented(at(90000 + 70000));
    s = stuck.summary();
    EXPECT_NEAR(s.medianMs, 90000, 1e-6) << "rank 1 of 2 is the shorter, but both are past the last bin";
    EXPECT_NEAR(s.p99Ms, 90000, 1e-6);
    EXPECT_NEAR(s.fps, 2 / 160.0, 1e-9);

    FrameStats capture;
    capture.noteCapture(12.5);
    capture.noteUpload(7.5);
    EXPECT_EQ(capture.summary().captureMs, 20.0);
}

TEST(FrameStats, summaryFileHasEveryFigureScriptsRead) {
    FrameSummary s;
    s.frames = 1234;
    s.runSeconds = 10.5;
    s.fps = 117.4;
    s.meanMs = 8.5;
    s.medianMs = 8.25;
    s.p99Ms = 15.75;
    s.startupMs = 95.5;
    s.captureMs = 40.5;
    s.peakRssKib = 81234;
    const auto values = parseLines(formatFrameSummary(s));
    EXPECT_EQ(values.size(), 9u);
    EXPECT_EQ(values.at("frames"), "1234");
    EXPECT_EQ(std::stod(values.at("run_seconds")), 10.5);
    EXPECT_EQ(std::stod(values.at("fps")), 117.4);
    EXPECT_EQ(std::stod(values.at("frame_ms_mean")), 8.5);
    EXPECT_EQ(std::stod(values.at("frame_ms_median")), 8.25);
    EXPECT_EQ(std::stod(values.at("frame_ms_p99")), 15.75);
    EXPECT_EQ(std::stod(values.at("startup_ms")), 95.5);
    EXPECT_EQ(std::stod(values.at("capture_ms")), 40.5);
    EXPECT_EQ(values.at("peak_rss_kib"), "81234");

    const std::string path = ::testing::TempDir() + "kelvara_stats_test.txt";
    std::string error;
    ASSERT_TRUE(writeFrameSummary(path, s, error)) << error;
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), formatFrameSummary(s));
    std::remove(path.c_str());

    EXPECT_FALSE(writeFrameSummary(::testing::TempDir() + "no/such/folder/stats.txt", s, error));
    EXPECT_NE(error.find("stats.txt"), std::string::npos) << error;
}

TEST(FrameStats, peakMemoryIsReported) {
    // Both platforms can say; a zero would make every memory bound pass.
    EXPECT_GT(peakResidentKib(), 100u);
    FrameStats stats;
    EXPECT_GE(stats.summary().peakRssKib, peakResidentKib() / 2);
}

} // namespace
} // namespace kelvara
