#include <gtest/gtest.h>

#include <vector>

#include "scene/camera.h"

using namespace kelvara;

namespace {

constexpr float kOneStep = 1.0f / 30.0f; // one phase unit

Camera resetWith(const Settings& s) {
    Camera c;
    c.rotX = 7.0f; // scribble: the reset must put everything back
    c.zoom = 3.0f;
    c.position = Vec3(1, 2, 3);
    resetCamera(c, s);
    return c;
}

} // namespace

TEST(Camera, defaultsStartAtRestThenSwingFromTheirFirstValues) {
    const Settings s;
    Camera c = resetWith(s);
    EXPECT_EQ(c.position, Vec3(0, 0, -300));
    EXPECT_EQ(c.rotX, 0.0f);
    EXPECT_EQ(c.rotY, 0.0f);
    EXPECT_EQ(c.rotZ, 0.0f);
    EXPECT_EQ(c.zoom, 1.0f);

    // The first value of a swing of amplitude a and time n is 2a (n div 2) / n^2,
    // whatever the (start-up sized) first interval.
    updateCamera(c, 2.75f);
    EXPECT_NEAR(c.rotX, 20.0f * 15 / 900, 1e-5);
    EXPECT_NEAR(c.rotY, 0.384f, 1e-5);
    EXPECT_NEAR(c.rotZ, 2.25f, 1e-5);
    EXPECT_NEAR(c.zoom, 0.0525f, 1e-6); // (2.5 - 0.4) * 10 / 400: below the 0.4 bound

    // From there the picture grows: 30 (b - 1/b) / n^2 per second towards 2.5.
    float previous = c.zoom;
    updateCamera(c, 0.5f);
    EXPECT_NEAR(c.zoom, 0.0525f + 2.75f * 30 * 2.1f / 400, 1e-4);
    for (int frame = 0; frame < 100; ++frame) {
        previous = c.zoom;
        updateCamera(c, kOneStep);
        ASSERT_GT(c.zoom, previous) << "frame " << frame;
    }
}

TEST(Camera, rotationSwingsBetweenItsBoundsAtSixtyAOverNSquaredDegreesPerSecond) {
    Settings s;
    s.rotX0 = 10;
    s.rotX1 = 30; // n^2 / 15 = 60 s a whole swing
    Camera c = resetWith(s);

    // 30 frames a second for three minutes: three whole swings.
    std::vector<int> upperTurns;
    float lowest = 0, highest = 0, previous = 0;
    bool rising = true;
    for (int frame = 0; frame < 30 * 180; ++frame) {
        updateCamera(c, kOneStep);
        if (frame > 0) {
            ASSERT_NEAR(std::abs(c.rotX - previous), 20.0f / 900, 1e-4) << "frame " << frame;
            if (rising && c.rotX < previous)
                upperTurns.push_back(frame);
            rising = c.rotX > previous;
        }
        lowest = std::min(lowest, c.rotX);
        highest = std::max(highest, c.rotX);
        previous = c.rotX;
    }
    // Turns come a little past the bounds (up to two steps), never far.
    EXPECT_GT(highest, 10.0f);
    EXPECT_LT(highest, 10.0f + 2 * 20.0f / 900 + 1e-3f);
    EXPECT_LT(lowest, -10.0f);
    EXPECT_GT(lowest, -10.0f - 2 * 20.0f / 900 - 1e-3f);
    ASSERT_GE(upperTurns.size(), 2u);
    EXPECT_NEAR(upperTurns[1] - upperTurns[0], 60 * 30, 4);
}

TEST(Camera, zeroIntervalKeepsEveryPhase) {
    Camera c = resetWith(Settings{});
    updateCamera(c, 0.4f);
    const Camera moved = c;
    updateCamera(c, 0.0f);
    const Camera shown = c; // the values the 0.4 s move reached
    for (int frame = 0; frame < 5; ++frame) {
        updateCamera(c, 0.0f);
        EXPECT_EQ(c.rotX, shown.rotX);
        EXPECT_EQ(c.rotY, shown.rotY);
        EXPECT_EQ(c.rotZ, shown.rotZ);
        EXPECT_EQ(c.zoom, shown.zoom);
    }
    EXPECT_NE(shown.rotZ, moved.rotZ);
    EXPECT_EQ(c.swingX.phase, moved.swingX.phase);
    EXPECT_EQ(c.swingY.phase, moved.swingY.phase);
    EXPECT_EQ(c.swingZ.phase, moved.swingZ.phase);
    EXPECT_EQ(c.swingZoom.phase, moved.swingZoom.phase);
}
