#include <gtest/gtest.h>

#include "render/monitor_pictures.h"

using namespace kelvara;

namespace {

MonitorView view(const char* name, ScreenRect viewport) {
    MonitorView v;
    v.name = name;
    v.viewport = viewport;
    v.desktop = viewport;
    return v;
}

// A one-pixel picture whose blue byte tells it apart.
CaptureBuffer picture(uint8_t tag) {
    return CaptureBuffer{1, 1, {tag, 0, 0}};
}

std::vector<CaptureBuffer> pictures(std::initializer_list<uint8_t> tags) {
    std::vector<CaptureBuffer> all;
    for (uint8_t t : tags)
        all.push_back(picture(t));
    return all;
}

} // namespace

TEST(MonitorPictures, eachMonitorKeepsItsOwnPictureAcrossAModeSwitch) {
    // The primary went from 1024 x 768 to 800 x 600; the layout now lists the
    // monitors in another order.
    const std::vector<MonitorView> before = {view("A", {0, 0, 1024, 768}), view("B", {1024, 0, 1024, 768})};
    const std::vector<MonitorView> after = {view("B", {800, 0, 1024, 768}), view("A", {0, 168, 800, 600})};
    const auto draws = monitorDraws(before, pictures({1, 2}), after);
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0].viewport, (ScreenRect{800, 0, 1024, 768}));
    EXPECT_EQ(draws[0].capture.bgr[0], 2);
    EXPECT_EQ(draws[1].capture.bgr[0], 1);
}

TEST(MonitorPictures, unnamedMonitorsMatchByPlaceAndNewOnesShowThePrimarysPicture) {
    const std::vector<MonitorView> before = {view("", {0, 0, 10, 10}), view("", {10, 0, 10, 10})};
    const std::vector<MonitorView> after = {view("", {0, 0, 10, 10}), view("", {10, 0, 10, 10}),
                                            view("", {20, 0, 10, 10})};
    const auto draws = monitorDraws(before, pictures({1, 2}), after);
    ASSERT_EQ(draws.size(), 3u);
    EXPECT_EQ(draws[0].capture.bgr[0], 1);
    EXPECT_EQ(draws[1].capture.bgr[0], 2);
    ASSERT_TRUE(holdsPicture(draws[2].capture));
    EXPECT_EQ(draws[2].capture.bgr[0], 1);
}

TEST(MonitorPictures, withoutPicturesEveryMonitorStillGetsItsViewport) {
    const std::vector<MonitorView> views = {view("A", {0, 0, 10, 10}), view("B", {10, 0, 10, 10})};
    const auto draws = monitorDraws(views, {}, views);
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[1].viewport, (ScreenRect{10, 0, 10, 10}));
    EXPECT_FALSE(holdsPicture(draws[0].capture));
    EXPECT_FALSE(holdsPicture(draws[1].capture));
}

// A monitor whose part of the desktop the grab did not show (its cut came out
// empty) is drawn with the primary's picture, never untextured.
TEST(MonitorPictures, aMonitorWhoseCutCameOutEmptyShowsThePrimarysPicture) {
    const std::vector<MonitorView> views = {view("A", {0, 0, 10, 10}), view("B", {10, 0, 10, 10}),
                                            view("C", {20, 0, 10, 10})};
    std::vector<CaptureBuffer> taken = pictures({1, 2, 3});
    taken[1] = CaptureBuffer{};
    const auto draws = monitorDraws(views, std::move(taken), views);
    ASSERT_EQ(draws.size(), 3u);
    ASSERT_TRUE(holdsPicture(draws[1].capture));
    EXPECT_EQ(draws[1].capture.bgr[0], 1);
    EXPECT_EQ(draws[0].capture.bgr[0], 1);
    EXPECT_EQ(draws[2].capture.bgr[0], 3);

    // The primary's own cut empty: the first picture there is stands in.
    taken = pictures({1, 2, 3});
    taken[0] = CaptureBuffer{};
    const auto noPrimary = monitorDraws(views, std::move(taken), views);
    ASSERT_TRUE(holdsPicture(noPrimary[0].capture));
    EXPECT_EQ(noPrimary[0].capture.bgr[0], 2);
    EXPECT_EQ(noPrimary[1].capture.bgr[0], 2);
}
