#include <gtest/gtest.h>

#include "display/monitors.h"

using namespace kelvara;

namespace {

Monitor monitor(int32_t x, int32_t y, int32_t w, int32_t h, bool primary = false, const char* name = "") {
    return Monitor{ScreenRect{x, y, w, h}, primary, name};
}

} // namespace

TEST(Monitors, oneMonitorIsTheWholeWindow) {
    const auto views = layoutMonitors({monitor(0, 0, 1024, 768, true)}, ScreenRect{0, 0, 1024, 768});
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].viewport, (ScreenRect{0, 0, 1024, 768}));
    EXPECT_EQ(views[0].desktop, (ScreenRect{0, 0, 1024, 768}));
    EXPECT_TRUE(views[0].primary);
}

TEST(Monitors, noMonitorListedMeansOneViewOfTheWindow) {
    const auto views = layoutMonitors({}, ScreenRect{10, 20, 640, 480});
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].viewport, (ScreenRect{0, 0, 640, 480}));
    EXPECT_EQ(views[0].desktop, (ScreenRect{10, 20, 640, 480}));
    EXPECT_TRUE(views[0].primary);
}

TEST(Monitors, viewportsCountRowsFromTheWindowsBottom) {
    // 1024 x 768 with an 800 x 600 monitor to its right, tops aligned: the
    // smaller one's viewport starts 168 rows up from the bottom.
    const auto views = layoutMonitors({monitor(1024, 0, 800, 600), monitor(0, 0, 1024, 768, true)},
                                      ScreenRect{0, 0, 1824, 768});
    ASSERT_EQ(views.size(), 2u);
    EXPECT_TRUE(views[0].primary);
    EXPECT_EQ(views[0].viewport, (ScreenRect{0, 0, 1024, 768}));
    EXPECT_EQ(views[1].viewport, (ScreenRect{1024, 168, 800, 600}));
    EXPECT_EQ(views[1].desktop, (ScreenRect{1024, 0, 800, 600}));
    EXPECT_FALSE(views[1].primary);
}

TEST(Monitors, aMonitorLeftOfThePrimaryHasNegativeDesktopCoordinates) {
    const ScreenRect window{-800, 0, 1824, 768};
    const auto views =
        layoutMonitors({monitor(0, 0, 1024, 768, true, "one"), monitor(-800, 0, 800, 600, false, "two")}, window);
    ASSERT_EQ(views.size(), 2u);
    EXPECT_EQ(views[0].name, "one");
    EXPECT_EQ(views[0].viewport, (ScreenRect{800, 0, 1024, 768}));
    EXPECT_EQ(views[1].name, "two");
    EXPECT_EQ(views[1].viewport, (ScreenRect{0, 168, 800, 600}));
    EXPECT_EQ(views[1].desktop, (ScreenRect{-800, 0, 800, 600}));
}

TEST(Monitors, primaryFirstThenLeftToRightThenTopToBottom) {
    const auto views = layoutMonitors({monitor(2048, 0, 1024, 768), monitor(0, 768, 1024, 768),
                                       monitor(1024, 0, 1024, 768, true), monitor(0, 0, 1024, 768)},
                                      ScreenRect{0, 0, 3072, 1536});
    ASSERT_EQ(views.size(), 4u);
    EXPECT_EQ(views[0].desktop.x, 1024);
    EXPECT_EQ(views[1].desktop, (ScreenRect{0, 0, 1024, 768}));
    EXPECT_EQ(views[2].desktop, (ScreenRect{0, 768, 1024, 768}));
    EXPECT_EQ(views[3].desktop.x, 2048);
}

TEST(Monitors, withoutAPrimaryTheFirstListedLeadsAndIsMadePrimary) {
    const auto views =
        layoutMonitors({monitor(1024, 0, 1024, 768), monitor(0, 0, 1024, 768)}, ScreenRect{0, 0, 2048, 768});
    ASSERT_EQ(views.size(), 2u);
    EXPECT_EQ(views[0].desktop.x, 1024);
    EXPECT_TRUE(views[0].primary);
    EXPECT_FALSE(views[1].primary);
}

TEST(Monitors, mirroredAndContainedMonitorsAreDrawnOnce) {
    // A clone of the primary and a smaller monitor showing its top left part.
    const auto views = layoutMonitors(
        {monitor(0, 0, 1024, 768), monitor(0, 0, 1024, 768, true, "main"), monitor(0, 0, 800, 600)},
        ScreenRect{0, 0, 1024, 768});
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].desktop, (ScreenRect{0, 0, 1024, 768}));
    EXPECT_EQ(views[0].name, "main");
    EXPECT_TRUE(views[0].primary);
}

TEST(Monitors, partlyOverlappingMonitorsMergeIntoTheRectangleHoldingThem) {
    // a and b overlap; their union then reaches c, which touched neither.
    const auto views = layoutMonitors({monitor(0, 0, 600, 400, true), monitor(500, 0, 600, 400),
                                       monitor(1000, 300, 200, 200), monitor(1300, 0, 100, 100)},
                                      ScreenRect{0, 0, 1400, 500});
    ASSERT_EQ(views.size(), 2u);
    EXPECT_EQ(views[0].desktop, (ScreenRect{0, 0, 1200, 500}));
    EXPECT_EQ(views[1].desktop, (ScreenRect{1300, 0, 100, 100}));
}

TEST(Monitors, monitorsAreClippedToTheWindow) {
    // The window covers only the left monitor and half the right one.
    const auto views = layoutMonitors({monitor(0, 0, 1024, 768, true), monitor(1024, 0, 1024, 768),
                                       monitor(5000, 0, 100, 100)},
                                      ScreenRect{0, 0, 1536, 768});
    ASSERT_EQ(views.size(), 2u);
    EXPECT_EQ(views[1].desktop, (ScreenRect{1024, 0, 512, 768}));
    EXPECT_EQ(views[1].viewport, (ScreenRect{1024, 0, 512, 768}));
}

TEST(Monitors, virtualDesktopHoldsEveryMonitor) {
    EXPECT_TRUE(virtualDesktop({}).empty());
    EXPECT_EQ(virtualDesktop({monitor(0, 0, 1024, 768), monitor(-800, 100, 800, 600)}),
              (ScreenRect{-800, 0, 1824, 768}));
    EXPECT_TRUE(intersect(ScreenRect{0, 0, 10, 10}, ScreenRect{10, 0, 10, 10}).empty());
    EXPECT_EQ(intersect(ScreenRect{0, 0, 10, 10}, ScreenRect{5, -5, 10, 10}), (ScreenRect{5, 0, 5, 5}));
}
