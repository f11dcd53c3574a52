#include <gtest/gtest.h>

#include <limits>

#include "scene/limits.h"

using namespace kelvara;

TEST(Limits, divisionCountMatchesTheLoopItBounds) {
    EXPECT_EQ(divisionCount(25.0f), 25);
    EXPECT_EQ(divisionCount(1.0f), 1);
    EXPECT_EQ(divisionCount(2.5f), 3); // i = 0, 1, 2 satisfy i < 2.5
    EXPECT_EQ(divisionCount(0.5f), 1);
    EXPECT_EQ(divisionCount(0.0f), 0);
    EXPECT_EQ(divisionCount(-1.0f), 0);
    EXPECT_EQ(divisionCount(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(divisionCount(std::numeric_limits<float>::infinity()), kMaxDivisions);
    EXPECT_EQ(divisionCount(999999999.0f), kMaxDivisions);
    EXPECT_EQ(divisionCount(static_cast<float>(kMaxDivisions)), kMaxDivisions);
    EXPECT_EQ(boundedDivisions(25.0f), 25.0f);
    EXPECT_EQ(boundedDivisions(4294967295.0f), static_cast<float>(kMaxDivisions));
}

TEST(Limits, truncationSaturatesInsteadOfOverflowing) {
    EXPECT_EQ(truncToInt(25.9f), 25);
    EXPECT_EQ(truncToInt(-25.9f), -25);
    EXPECT_EQ(truncToInt(4294967295.0f), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(truncToInt(-1e30f), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(truncToInt(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(truncToInt(2147483520.0f), 2147483520); // the largest float below 2^31
}
