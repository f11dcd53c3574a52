#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "scene/oscillator.h"

using namespace kelvara;

namespace {

std::vector<float> advanceMany(Oscillator& o, int n, float delta) {
    std::vector<float> v;
    for (int i = 0; i < n; ++i)
        v.push_back(o.advance(delta));
    return v;
}

} // namespace

TEST(Oscillator, symmetricSwingStartsNearTheMiddleAndRises) {
    Oscillator o;
    o.configure(-10.0f, 10.0f, 30.0f);
    EXPECT_EQ(o.count, 30);
    EXPECT_EQ(o.phase, 15.0f);
    EXPECT_FLOAT_EQ(o.rate, 20.0f / 30.0f);
    EXPECT_FLOAT_EQ(o.invCount, 1.0f / 30.0f);
    EXPECT_EQ(o.rising, 1);

    const std::vector<float> v = advanceMany(o, 4, 1.0f);
    EXPECT_NEAR(v[0], 0.33333f, 1e-5);
    EXPECT_NEAR(v[1], 0.35556f, 1e-5);
    EXPECT_NEAR(v[2], 0.37778f, 1e-5);
    // (high - low) / count^2 per unit of delta.
    for (std::size_t i = 1; i < v.size(); ++i)
        EXPECT_NEAR(v[i] - v[i - 1], 20.0f / 900.0f, 1e-6) << i;
}

TEST(Oscillator, oddCountHalvesThePhaseByIntegerDivision) {
    Oscillator o;
    o.configure(-10.0f, 10.0f, 25.0f);
    EXPECT_EQ(o.phase, 12.0f);
    EXPECT_NEAR(o.advance(1.0f), 0.384f, 1e-6);

    // A fractional time truncates towards zero, also below zero.
    o.configure(-10.0f, 10.0f, 25.9f);
    EXPECT_EQ(o.count, 25);
    o.configure(-10.0f, 10.0f, -7.9f);
    EXPECT_EQ(o.count, -7);
    EXPECT_EQ(o.phase, -3.0f);
}

TEST(Oscillator, zeroRateHoldsTheHighBoundForEver) {
    Oscillator o;
    o.configure(-30.0f, 30.0f, 0.0f); // a time below 1
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(o.advance(7.0f), 30.0f);
    EXPECT_EQ(o.phase, 0.0f);

    o.configure(4.0f, 4.0f, 20.0f); // equal bounds
    EXPECT_EQ(o.advance(1.0f), 4.0f);
    EXPECT_EQ(o.phase, 10.0f);
}

TEST(Oscillator, zoomBoundsAreTheAmplitudeAndItsInverse) {
    Oscillator o;
    o.configureZoom(2.5f, 20.0f);
    EXPECT_FLOAT_EQ(o.low, 0.4f);
    EXPECT_EQ(o.high, 2.5f);
    EXPECT_FLOAT_EQ(o.rate, 0.105f);
    EXPECT_FLOAT_EQ(o.invCount, 0.05f);
    EXPECT_EQ(o.phase, 10.0f);
    // The first value lies below the lower bound, and the swing rises from there.
    const float first = o.advance(1.0f);
    EXPECT_NEAR(first, 0.0525f, 1e-6);
    EXPECT_GT(o.advance(1.0f), first);

    // An amplitude of 1 or less cannot swing: held at the amplitude.
    for (float amplitude : {1.0f, 0.5f}) {
        o.configureZoom(amplitude, 20.0f);
        EXPECT_EQ(o.rate, 0.0f) << amplitude;
        EXPECT_EQ(o.advance(1.0f), amplitude);
        EXPECT_EQ(o.advance(1.0f), amplitude);
    }
    // Amplitude 0: the lower bound is infinite and the value stays 0, no NaN.
    o.configureZoom(0.0f, 20.0f);
    EXPECT_EQ(o.advance(1.0f), 0.0f);
}

TEST(Oscillator, overshootsTheBoundByTwoStepsAtEachTurn) {
    // high 10 with a change of 1 per call: count 1, so one unit of phase is one
    // unit of value.
    Oscillator o;
    o.configure(-10.0f, 10.0f, 1.0f);
    o.rate = 1.0f;
    o.invCount = 1.0f;
    o.phase = 9.0f;
    EXPECT_EQ(advanceMany(o, 7, 1.0f), (std::vector<float>{9, 10, 11, 12, 11, 10, 9}));

    o.phase = -9.0f;
    o.rising = 0;
    EXPECT_EQ(advanceMany(o, 7, 1.0f), (std::vector<float>{-9, -10, -11, -12, -11, -10, -9}));
}

TEST(Oscillator, deltaZeroRepeatsTheSameValue) {
    Oscillator o;
    o.configure(-45.0f, 45.0f, 20.0f);
    const float first = o.advance(0.0f);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(o.advance(0.0f), first);
    EXPECT_EQ(o.phase, 10.0f);
}

TEST(Oscillator, hostileTimesNeitherOverflowNorProduceNaN) {
    Oscillator o;
    for (float time : {999999999.0f, 4294967295.0f, 1e30f, -1e30f, std::numeric_limits<float>::quiet_NaN()}) {
        o.configure(-10.0f, 10.0f, time);
        for (int i = 0; i < 3; ++i) {
            const float v = o.advance(1.0f);
            EXPECT_FALSE(std::isnan(v)) << time;
        }
    }
}
