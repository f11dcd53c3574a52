#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tools/offscreen.h"

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
    EXPECT_TRUE(refused([](OffscreenRun& r) { r.intervalMs = 0.0; }));
    EXPECT_TRUE(refused([](OffscreenRun& r) { r.intervalMs = -1.0; }));
    EXPECT_TRUE(refused([](OffscreenRun& r) { r.intervalMs = std::numeric_limits<double>::infinity(); }));
    EXPECT_TRUE(refused([](OffscreenRun& r) { r.intervalMs = std::nan(""); }));
    EXPECT_TRUE(refused([](OffscreenRun& r) { r.frames = 0; }));
    EXPECT_TRUE(refused([](OffscreenRun& r) { r.frames = 10, r.captureAt = {1, 11}; }));
    EXPECT_TRUE(refused([](OffscreenRun& r) { r.frames = 10, r.captureAt = {0}; }));
}

TEST(OffscreenRun, textureSizesAreLeftToTheSaversBounds) {
    // Whatever a stored setting holds, the saver captures at a bounded size;
    // the off-screen run does the same rather than refusing it.
    for (int32_t side : {0, -256, 3, 100000}) {
        OffscreenRun run;
        run.settings.screenTextureWidth = side;
        run.settings.screenTextureHeight = side;
        std::string error;
        EXPECT_TRUE(validateRun(run, error)) << side << ": " << error;
    }
    OffscreenRun run;
    run.frames = 5;
    run.captureAt = {5, 1, 3};
    std::string error;
    EXPECT_TRUE(validateRun(run, error)) << error;
}
