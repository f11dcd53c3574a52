#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "cli/run_control.h"
#include "cli/saver_options.h"

namespace kelvara {
namespace {

TEST(RunControl, limitsAcceptOnlyPlainPositiveNumbers) {
    double seconds = -1;
    EXPECT_TRUE(parseRunSeconds("10", seconds));
    EXPECT_EQ(seconds, 10.0);
    EXPECT_TRUE(parseRunSeconds("0.25", seconds));
    EXPECT_EQ(seconds, 0.25);
    EXPECT_TRUE(parseRunSeconds(".5", seconds));
    EXPECT_EQ(seconds, 0.5);
    EXPECT_TRUE(parseRunSeconds("86400", seconds));
    for (const char* bad : {"", "0", "0.0", "-1", "+3", " 3", "3s", "nan", "inf", "1e400", "86400.5", "1e6"}) {
        seconds = 7;
        EXPECT_FALSE(parseRunSeconds(bad, seconds)) << bad;
        EXPECT_EQ(seconds, 7.0) << "a refused value must leave the old one: " << bad;
    }
    EXPECT_FALSE(parseRunSeconds(nullptr, seconds));

    uint64_t frames = 0;
    EXPECT_TRUE(parseFrameCount("1", frames));
    EXPECT_EQ(frames, 1u);
    EXPECT_TRUE(parseFrameCount("1000000000000", frames));
    EXPECT_EQ(frames, 1000000000000u);
    for (const char* bad : {"", "0", "-5", "+5", "1.5", "10x", "1000000000001", "99999999999999999999999"}) {
        frames = 3;
        EXPECT_FALSE(parseFrameCount(bad, frames)) << bad;
        EXPECT_EQ(frames, 3u) << bad;
    }

    int maxFps = kMaxFpsDisplayRate;
    EXPECT_TRUE(parseMaxFps("0", maxFps));
    EXPECT_EQ(maxFps, 0);
    EXPECT_TRUE(parseMaxFps("30", maxFps));
    EXPECT_EQ(maxFps, 30);
    EXPECT_TRUE(parseMaxFps("1000", maxFps));
    EXPECT_EQ(maxFps, 1000);
    for (const char* bad : {"", "-1", "+30", " 30", "30.5", "30fps", "1001", "99999999999999999999"}) {
        maxFps = 12;
        EXPECT_FALSE(parseMaxFps(bad, maxFps)) << bad;
        EXPECT_EQ(maxFps, 12) << bad;
    }
    EXPECT_FALSE(parseMaxFps(nullptr, maxFps));
}

TEST(RunControl, environmentGivesTheWindowsBuildItsMeasuringRun) {
    std::map<std::string, std::string> env;
    const auto lookup = [&env](const char* name) -> const char* {
        const auto it = env.find(name);
        return it == env.end() ? nullptr : it->second.c_str();
    };
    std::vector<std::string> complaints;
    RunControl c = runControlFromEnvironment(lookup, complaints);
    EXPECT_FALSE(c.limits.any());
    EXPECT_TRUE(c.statsFile.empty());
    EXPECT_TRUE(c.waitForRetrace);
    EXPECT_EQ(c.maxFps, kMaxFpsDisplayRate);
    EXPECT_TRUE(complaints.empty());

    env = {{"KELVARA_SECONDS", "2.5"}, {"KELVARA_FRAMES", "300"}, {"KELVARA_STATS", "Z:\\tmp\\s.txt"},
           {"KELVARA_NO_VSYNC", "1"}, {"KELVARA_MAX_FPS", "0"}};
    c = runControlFromEnvironment(lookup, complaints);
    EXPECT_EQ(c.limits.seconds, 2.5);
    EXPECT_EQ(c.limits.frames, 300u);
    EXPECT_EQ(c.statsFile, "Z:\\tmp\\s.txt");
    EXPECT_FALSE(c.waitForRetrace);
    EXPECT_EQ(c.maxFps, 0);
    EXPECT_TRUE(complaints.empty());

    // Bad values are named and left out; the rest still holds. "0" keeps the wait.
    env = {{"KELVARA_SECONDS", "-1"}, {"KELVARA_FRAMES", "many"}, {"KELVARA_NO_VSYNC", "0"},
           {"KELVARA_MAX_FPS", "fast"}};
    c = runControlFromEnvironment(lookup, complaints);
    EXPECT_FALSE(c.limits.any());
    EXPECT_TRUE(c.waitForRetrace);
    EXPECT_EQ(c.maxFps, kMaxFpsDisplayRate);
    ASSERT_EQ(complaints.size(), 3u);
    EXPECT_NE(complaints[2].find("KELVARA_MAX_FPS"), std::string::npos);
    EXPECT_NE(complaints[2].find("'fast'"), std::string::npos);
    EXPECT_NE(complaints[0].find("KELVARA_SECONDS"), std::string::npos);
    EXPECT_NE(complaints[0].find("'-1'"), std::string::npos);
    EXPECT_NE(complaints[1].find("KELVARA_FRAMES"), std::string::npos);
}

TEST(RunControl, commandLineTakesLimitsAndStatsFile) {
    std::vector<std::string> words = {"kelvara", "--seconds", "3", "-frames", "100", "--stats", "/tmp/x",
                                      "--max-fps", "30"};
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    ParsedOptions p = parseSaverOptions(static_cast<int>(argv.size()), argv.data(), nullptr);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.run.control.limits.seconds, 3.0);
    EXPECT_EQ(p.options.run.control.limits.frames, 100u);
    EXPECT_EQ(p.options.run.control.statsFile, "/tmp/x");
    EXPECT_EQ(p.options.run.control.maxFps, 30);

    for (std::vector<std::string> bad : {std::vector<std::string>{"kelvara", "--seconds", "0"},
                                         {"kelvara", "--frames", "-1"},
                                         {"kelvara", "--stats", ""},
                                         {"kelvara", "--max-fps", "-5"},
                                         {"kelvara", "--frames"}}) {
        argv.clear();
        for (std::string& w : bad)
            argv.push_back(w.data());
        p = parseSaverOptions(static_cast<int>(argv.size()), argv.data(), nullptr);
        EXPECT_FALSE(p.ok) << bad[1];
        EXPECT_NE(p.error.find(bad[1].substr(2)), std::string::npos) << p.error;
    }
}

TEST(RunLimiter, endsTheRunOnceWhenTheFrameCountIsReached) {
    std::atomic<int> stops{0};
    {
        RunLimiter limiter(RunLimits{0, 5}, [&stops] { ++stops; });
        for (uint64_t frame = 1; frame <= 4; ++frame)
            limiter.framePresented(frame);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(stops.load(), 0);
        EXPECT_FALSE(limiter.fired());
        // Frames go on being drawn until the host reacts: one stop only.
        for (uint64_t frame = 5; frame <= 9; ++frame)
            limiter.framePresented(frame);
        for (int i = 0; i < 200 && !limiter.fired(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_TRUE(limiter.fired());
    }
    EXPECT_EQ(stops.load(), 1);
}

TEST(RunLimiter, deadlineHoldsWithoutAnyFrameAndNothingFiresAfterTheEnd) {
    std::atomic<int> stops{0};
    {
        RunLimiter limiter(RunLimits{0.05, 0}, [&stops] { ++stops; });
        for (int i = 0; i < 400 && !limiter.fired(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_TRUE(limiter.fired());
    }
    EXPECT_EQ(stops.load(), 1);

    // A run that ends first (a key) never hears from its limiter again.
    stops = 0;
    {
        RunLimiter limiter(RunLimits{3600, 1000}, [&stops] { ++stops; });
        limiter.framePresented(1);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(stops.load(), 0);

    // No limit: no thread, no stop.
    RunLimiter idle(RunLimits{}, [&stops] { ++stops; });
    idle.framePresented(1);
    EXPECT_FALSE(idle.fired());
}

} // namespace
} // namespace kelvara
