#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "gfx/offscreen.h"

using namespace kelvara;

TEST(OffscreenRun, defaultsAreValid) {
    std::string error;
    EXPECT_TRUE(validateRun(OffscreenRun{}, error)) << error;
}

TEST(OffscreenRun, refusesNumbersItCannotRender) {
    const auto refused = [](auto change) {
        OffscreenRun run;
        change(run);
        std::string error;
        const bool ok = validateRun(run, error);
        return !ok && !error.empty();
    };
    EXPECT_TRUE(refused([](OffscreenRun& r) { r.width = 0; }));
    EXPECT_TRUE(refused([](OffscreenRun& r) { r.height = kMaxOffscreenSide + 1; }));
    EXPECT_TRUE(refused([](OffscreenRun& r) { r.settings.screenTextureWidth = 0; }));
    EXPECT_TRUE(refused([](OffscreenRun& r) { r.settings.screenTextureHeight = -256; }));
    EXPECT_TRUE(refused([](OffscreenRun& r) { r.intervalMs = 0.0; }));
    EXPECT_TRUE(refused([](OffscreenRun& r) { r.intervalMs = -1.0; }));
    EXPECT_TRUE(refused([](OffscreenRun& r) { r.intervalMs = std::numeric_limits<double>::infinity(); }));
    EXPECT_TRUE(refused([](OffscreenRun& r) { r.intervalMs = std::nan(""); }));
    EXPECT_TRUE(refused([](OffscreenRun& r) { r.frames = 0; }));
    EXPECT_TRUE(refused([](OffscreenRun& r) { r.frames = 10, r.captureAt = {1, 11}; }));
    EXPECT_TRUE(refused([](OffscreenRun& r) { r.frames = 10, r.captureAt = {0}; }));
}

TEST(OffscreenRun, logoRunsIgnoreTheTextureSize) {
    // With the logo in place of the desktop the size settings build nothing.
    OffscreenRun run;
    run.settings.useOGL = 1;
    run.settings.screenTextureWidth = 0;
    std::string error;
    EXPECT_TRUE(validateRun(run, error)) << error;
    run.frames = 5;
    run.captureAt = {5, 1, 3};
    EXPECT_TRUE(validateRun(run, error)) << error;
}
