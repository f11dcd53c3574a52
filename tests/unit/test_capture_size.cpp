#include <gtest/gtest.h>

#include "capture/capture.h"

using namespace kelvara;

TEST(CaptureSize, previewIsFixedAndSettingsAreLeftAlone) {
    Settings s;
    s.screenTextureWidth = 2048;
    s.screenTextureHeight = 1024;
    const CaptureSize p = captureSize(s, true);
    EXPECT_EQ(p.width, 128);
    EXPECT_EQ(p.height, 64);
    EXPECT_EQ(s.screenTextureWidth, 2048);
    EXPECT_EQ(s.screenTextureHeight, 1024);
    const CaptureSize f = captureSize(s, false);
    EXPECT_EQ(f.width, 2048);
    EXPECT_EQ(f.height, 1024);
}

TEST(CaptureSize, storedValuesOutsideTheRangeAreBounded) {
    Settings s;
    const std::pair<int32_t, int32_t> cases[] = {
        {0, 1}, {-1, 1}, {300, 300}, {4096, 4096}, {4097, 4096}, {999999999, 4096}, {2147483647, 4096}};
    for (const auto& [stored, used] : cases) {
        s.screenTextureWidth = stored;
        s.screenTextureHeight = stored;
        const CaptureSize c = captureSize(s, false);
        EXPECT_EQ(c.width, used) << stored;
        EXPECT_EQ(c.height, used) << stored;
        EXPECT_EQ(s.screenTextureWidth, stored);
    }
}
