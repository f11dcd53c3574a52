#include <gtest/gtest.h>

#include <functional>

#include "render/gl_config.h"

namespace kelvara {
namespace {

GlConfigTraits usable(int depth, int alpha = 0) {
    GlConfigTraits t;
    t.openGl = t.rgba = t.drawsToWindow = t.doubleBuffered = true;
    t.redBits = t.greenBits = t.blueBits = 8;
    t.alphaBits = alpha;
    t.depthBits = depth;
    return t;
}

GlConfigTraits with(std::function<void(GlConfigTraits&)> change) {
    GlConfigTraits t = usable(24);
    change(t);
    return t;
}

TEST(GlConfig, theDriversOwnSoftwareAndNonConformantConfigsScoreAsFullSoftwareAndPartial) {
    // 8-8-8 with 24 depth bits: 24 + 48 - 4 = 68 before the origin bonus;
    // alpha bits never count as colour.
    const struct {
        GlConfigTraits config;
        int score;
    } cases[] = {
        {usable(24), 2068},
        {usable(24, 8), 2068},
        {with([](GlConfigTraits& t) { t.slowCaveat = true; }), 68},
        {with([](GlConfigTraits& t) { t.nonConformantCaveat = true; }), 1068},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pixelFormatScore(pixelFormatOf(c.config)), c.score) << &c - cases;
}

TEST(GlConfig, configsTheSceneCannotUseNeverQualify) {
    const std::vector<GlConfigTraits> unusable = {
        with([](GlConfigTraits& t) { t.doubleBuffered = false; }),
        with([](GlConfigTraits& t) { t.rgba = false; }),          // colour index
        with([](GlConfigTraits& t) { t.drawsToWindow = false; }), // pixmaps or pbuffers only
        with([](GlConfigTraits& t) { t.openGl = false; }),        // OpenGL ES only
    };
    for (const GlConfigTraits& t : unusable)
        EXPECT_EQ(pixelFormatScore(pixelFormatOf(t)), 0) << &t - unusable.data();
    EXPECT_EQ(bestGlConfig(unusable), 0);
}

TEST(GlConfig, theChoicePrefersTheDriversOwnThenOpaqueThenTheFirstOfEquals) {
    GlConfigTraits deepSlow = usable(32);
    deepSlow.slowCaveat = true;
    EXPECT_EQ(bestGlConfig({usable(16), deepSlow, usable(24), usable(24)}), 3);
    // The alpha one is listed first and scores the same: a compositor would
    // blend it with what lies below.
    EXPECT_EQ(bestGlConfig({usable(24, 8), usable(24)}), 2);
    EXPECT_EQ(bestGlConfig({usable(24, 8), usable(16)}), 2);
    // Only alpha ones: the best of them still draws.
    EXPECT_EQ(bestGlConfig({usable(16, 8), usable(24, 8)}), 2);
}

} // namespace
} // namespace kelvara
