#include <gtest/gtest.h>

#include "render/glx_format.h"
#include "settings/settings.h"

namespace kelvara {
namespace {

GlxConfigTraits usable(int depth) {
    GlxConfigTraits t;
    t.rgba = true;
    t.drawsToWindow = true;
    t.doubleBuffered = true;
    t.redBits = t.greenBits = t.blueBits = 8;
    t.depthBits = depth;
    return t;
}

TEST(GlxFormat, driverSoftwareAndNonConformantConfigsScoreAsHardwareGenericAndAccelerated) {
    // 8-8-8 with 24 depth bits: 24 + 48 - 4 = 68 before the origin bonus.
    GlxConfigTraits hardware = usable(24);
    EXPECT_EQ(pixelFormatScore(pixelFormatFromGlx(hardware)), 2068);
    GlxConfigTraits slow = usable(24);
    slow.slowCaveat = true;
    EXPECT_EQ(pixelFormatScore(pixelFormatFromGlx(slow)), 68);
    GlxConfigTraits nonConformant = usable(24);
    nonConformant.nonConformantCaveat = true;
    EXPECT_EQ(pixelFormatScore(pixelFormatFromGlx(nonConformant)), 1068);
    // Alpha does not count: the colour bits are red, green and blue alone.
    EXPECT_EQ(pixelFormatFromGlx(hardware).colorBits, 24);
}

TEST(GlxFormat, configsTheSceneCannotUseNeverQualify) {
    GlxConfigTraits single = usable(24);
    single.doubleBuffered = false;
    GlxConfigTraits index = usable(24);
    index.rgba = false;
    GlxConfigTraits pbufferOnly = usable(24);
    pbufferOnly.drawsToWindow = false;
    for (const GlxConfigTraits& t : {single, index, pbufferOnly})
        EXPECT_EQ(pixelFormatScore(pixelFormatFromGlx(t)), 0);
}

TEST(GlxFormat, theDriversOwnConfigBeatsADeeperSoftwareOneAndTheFirstOfEqualsWins) {
    GlxConfigTraits deepSlow = usable(32);
    deepSlow.slowCaveat = true;
    std::vector<PixelFormatInfo> list = {pixelFormatFromGlx(usable(16)), pixelFormatFromGlx(deepSlow),
                                         pixelFormatFromGlx(usable(24)), pixelFormatFromGlx(usable(24))};
    EXPECT_EQ(bestPixelFormat(list), 3);
    GlxConfigTraits single = usable(24);
    single.doubleBuffered = false;
    EXPECT_EQ(bestPixelFormat({pixelFormatFromGlx(single)}), 0);
}

TEST(ThreadNice, onlyTheStepsBelowNormalLowerTheThread) {
    EXPECT_EQ(niceForThreadPriority(threadPriorityFor(0)), 10);
    EXPECT_EQ(niceForThreadPriority(threadPriorityFor(1)), 5);
    for (int32_t step : {2, 3, 4, 5, -1, 6})
        EXPECT_EQ(niceForThreadPriority(threadPriorityFor(step)), 0) << step;
}

} // namespace
} // namespace kelvara
