#include <gtest/gtest.h>

#include "display/output_views.h"

namespace kelvara {
namespace {

OutputGeometry output(const char* name, ScreenRect logical, int32_t modeW, int32_t modeH, int32_t scale = 1,
                      int32_t transform = 0) {
    OutputGeometry g;
    g.name = name;
    g.logical = logical;
    g.modeWidth = modeW;
    g.modeHeight = modeH;
    g.scale = scale;
    g.transform = transform;
    return g;
}

TEST(OutputViews, eachOutputIsASurfaceOfItsOwnShowingItsPlaceInTheLayout) {
    // The second output sits left of the first; the layout, not the order
    // or wl_output's geometry, says where.
    const std::vector<MonitorView> views = outputViews({output("HEADLESS-1", {800, 0, 1024, 768}, 1024, 768),
                                                        output("HEADLESS-2", {0, 0, 800, 600}, 800, 600)});
    ASSERT_EQ(views.size(), 2u);
    EXPECT_EQ(views[0].desktop, (ScreenRect{800, 0, 1024, 768}));
    EXPECT_EQ(views[0].viewport, (ScreenRect{0, 0, 1024, 768}));
    EXPECT_TRUE(views[0].primary);
    EXPECT_EQ(views[0].name, "HEADLESS-1");
    EXPECT_EQ(views[1].desktop, (ScreenRect{0, 0, 800, 600}));
    EXPECT_EQ(views[1].viewport, (ScreenRect{0, 0, 800, 600}));
    EXPECT_FALSE(views[1].primary);
}

TEST(OutputViews, aScaledOutputIsDrawnAtItsBufferSize) {
    // 1024 x 768 pixels at scale 2 cover 512 x 384 of the layout.
    const std::vector<MonitorView> views = outputViews({output("A", {1024, 0, 512, 384}, 1024, 768, 2)});
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].desktop, (ScreenRect{1024, 0, 512, 384}));
    EXPECT_EQ(views[0].viewport, (ScreenRect{0, 0, 1024, 768}));
}

TEST(OutputViews, mirroredOutputsKeepAViewEach) {
    const std::vector<MonitorView> views =
        outputViews({output("A", {0, 0, 1024, 768}, 1024, 768), output("B", {0, 0, 1024, 768}, 1024, 768)});
    ASSERT_EQ(views.size(), 2u);
    EXPECT_EQ(views[1].desktop, views[0].desktop);
    EXPECT_EQ(views[1].name, "B");
}

TEST(OutputViews, withoutXdgOutputTheModeTurnedAndScaledIsPlacedSideBySide) {
    // A 1920 x 1080 mode turned a quarter at scale 2: 540 x 960 of layout.
    const std::vector<MonitorView> views =
        outputViews({output("A", {}, 1024, 768), output("B", {}, 1920, 1080, 2, 1)});
    ASSERT_EQ(views.size(), 2u);
    EXPECT_EQ(views[0].desktop, (ScreenRect{0, 0, 1024, 768}));
    EXPECT_EQ(views[1].desktop, (ScreenRect{1024, 0, 540, 960}));
    EXPECT_EQ(views[1].viewport, (ScreenRect{0, 0, 1080, 1920}));
}

} // namespace
} // namespace kelvara
