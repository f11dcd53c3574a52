#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "display/monitors.h"
#include "render/monitor_pictures.h"
#include "win32/pattern_window.h"

using namespace kelvara;
using kelvara::testing::kPatternColours;
using kelvara::testing::kPatternColumns;
using kelvara::testing::kPatternRows;
using kelvara::testing::patternEdge;

namespace {

// Scaling blends neighbouring cells only along their shared edges; this far
// from an edge (in captured pixels) a pixel must be the cell's own colour.
constexpr int kEdgeMargin = 2;
constexpr int kTolerance = 12; // per channel

// Compares every captured pixel that lies clearly inside a cell with the
// cell's colour, reading the buffer as rows top first, packed, blue first.
// The picture shows `columns` of the pattern's columns from `firstColumn` on
// (all of them unless told). Returns the first mismatch as text, empty when
// all agree.
std::string mismatchWithPattern(const CaptureBuffer& capture, int firstColumn = 0,
                                int columns = kPatternColumns) {
    for (int row = 0; row < kPatternRows; ++row) {
        const int top = patternEdge(row, kPatternRows, capture.height) + kEdgeMargin;
        const int bottom = patternEdge(row + 1, kPatternRows, capture.height) - kEdgeMargin;
        for (int column = 0; column < columns; ++column) {
            const int left = patternEdge(column, columns, capture.width) + kEdgeMargin;
            const int right = patternEdge(column + 1, columns, capture.width) - kEdgeMargin;
            const auto want = kPatternColours[row][firstColumn + column];
            for (int y = top; y < bottom; ++y) {
                for (int x = left; x < right; ++x) {
                    const uint8_t* p = &capture.bgr[(static_cast<size_t>(y) * capture.width + x) * 3];
                    if (std::abs(p[0] - want.b) > kTolerance || std::abs(p[1] - want.g) > kTolerance ||
                        std::abs(p[2] - want.r) > kTolerance) {
                        return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") in cell " +
                               std::to_string(row) + "," + std::to_string(firstColumn + column) + " reads B" +
                               std::to_string(p[0]) + " G" + std::to_string(p[1]) + " R" +
                               std::to_string(p[2]);
                    }
                }
            }
        }
    }
    return {};
}

class CaptureWin32 : public ::testing::Test {
  protected:
    // One pattern for the suite: making and mapping a window costs Wine a
    // good part of a second.
    static void SetUpTestSuite() { pattern_ = new kelvara::testing::PatternWindow; }
    static void TearDownTestSuite() {
        delete pattern_;
        pattern_ = nullptr;
    }

    void SetUp() override {
        ASSERT_NE(pattern_->handle(), nullptr);
        // The Xvfb screen of the test run is 24-bit: exact colours survive.
        HDC screen = GetDC(nullptr);
        const int bits = GetDeviceCaps(screen, BITSPIXEL);
        ReleaseDC(nullptr, screen);
        if (bits < 24)
            GTEST_SKIP() << "screen has " << bits << " bits per pixel";
    }

    static kelvara::testing::PatternWindow* pattern_;
};

kelvara::testing::PatternWindow* CaptureWin32::pattern_ = nullptr;

} // namespace

TEST_F(CaptureWin32, readsThePaintedDesktopUprightInBgrOrder) {
    Settings settings;
    settings.screenTextureWidth = 512;
    settings.screenTextureHeight = 256;
    CaptureBuffer capture;
    ASSERT_TRUE(captureDesktop(nullptr, capture, settings, false));
    ASSERT_EQ(capture.width, 512);
    ASSERT_EQ(capture.height, 256);
    ASSERT_TRUE(holdsPicture(capture));
    EXPECT_EQ(mismatchWithPattern(capture), "");
}

TEST_F(CaptureWin32, previewIs128By64AndLeavesTheSizeSettingsAlone) {
    Settings settings;
    settings.screenTextureWidth = 1024;
    settings.screenTextureHeight = 2048;
    const Settings before = settings;
    CaptureBuffer capture;
    ASSERT_TRUE(captureDesktop(nullptr, capture, settings, true));
    EXPECT_EQ(capture.width, 128);
    EXPECT_EQ(capture.height, 64);
    EXPECT_EQ(capture.bgr.size(), 128u * 64u * 3u);
    EXPECT_EQ(mismatchWithPattern(capture), "");
    EXPECT_EQ(std::memcmp(&settings, &before, sizeof settings), 0);
}

// A 24-bit bitmap's rows are padded to whole 32-bit words unless the width is a
// multiple of 4; the buffer's rows never are. A row packed with the wrong
// length drifts further each row and breaks the lower cells.
TEST_F(CaptureWin32, packsRowsOfEveryWidth) {
    for (const int width : {300, 301, 302, 303}) {
        SCOPED_TRACE("width " + std::to_string(width));
        Settings settings;
        settings.screenTextureWidth = width;
        settings.screenTextureHeight = 75;
        CaptureBuffer capture;
        ASSERT_TRUE(captureDesktop(nullptr, capture, settings, false));
        ASSERT_EQ(capture.width, width);
        ASSERT_EQ(capture.height, 75);
        ASSERT_EQ(capture.bgr.size(), static_cast<size_t>(width) * 75u * 3u);
        EXPECT_EQ(mismatchWithPattern(capture), "");
    }
}

TEST_F(CaptureWin32, replacesWhatTheBufferHeld) {
    CaptureBuffer capture;
    capture.width = 7;
    capture.height = 7;
    capture.bgr.assign(7 * 7 * 3, 0);
    Settings settings;
    settings.screenTextureWidth = 64;
    settings.screenTextureHeight = 32;
    ASSERT_TRUE(captureDesktop(nullptr, capture, settings, false));
    EXPECT_EQ(capture.width, 64);
    EXPECT_EQ(capture.height, 32);
    EXPECT_EQ(capture.bgr.size(), 64u * 32u * 3u);
}

// Stored sizes outside what the dialog offers are brought into range, never
// used raw as an allocation size.
TEST_F(CaptureWin32, boundsHostileSizeSettings) {
    Settings settings;
    settings.screenTextureWidth = -5;
    settings.screenTextureHeight = 0;
    CaptureBuffer capture;
    ASSERT_TRUE(captureDesktop(nullptr, capture, settings, false));
    EXPECT_EQ(capture.width, 1);
    EXPECT_EQ(capture.height, 1);
    EXPECT_TRUE(holdsPicture(capture));
}

// The saver's own capture: the monitors as the saver lays them out over the
// virtual screen, each cut from one grab.
TEST_F(CaptureWin32, theSaversPerMonitorCaptureReadsThePaintedDesktop) {
    const ScreenRect screen{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                            GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    const std::vector<MonitorView> views = layoutMonitors(listMonitors(), screen);
    ASSERT_FALSE(views.empty());
    const ScreenRect primary{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    ASSERT_EQ(views[0].desktop, primary) << "the primary first, where the pattern is";
    Settings settings;
    settings.screenTextureWidth = 512;
    settings.screenTextureHeight = 256;
    const std::vector<CaptureBuffer> pictures = captureViews(nullptr, views, settings, false);
    ASSERT_EQ(pictures.size(), views.size());
    ASSERT_TRUE(holdsPicture(pictures[0]));
    EXPECT_EQ(pictures[0].width, 512);
    EXPECT_EQ(pictures[0].height, 256);
    EXPECT_EQ(mismatchWithPattern(pictures[0]), "");
}

// Two monitors' cuts of one grab, each its own half of the pattern, and one
// monitor the grab does not show: its cut comes out empty and the monitor is
// drawn with the primary's picture.
TEST_F(CaptureWin32, eachCutShowsItsOwnPartAndAnEmptyCutShowsThePrimarysPicture) {
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    const int half = patternEdge(2, kPatternColumns, width);
    std::vector<MonitorView> views(3);
    views[0].desktop = ScreenRect{0, 0, half, height};
    views[0].primary = true;
    views[1].desktop = ScreenRect{half, 0, width - half, height};
    views[2].desktop = ScreenRect{width + 100000, 0, 640, 480};
    Settings settings;
    settings.screenTextureWidth = 256;
    settings.screenTextureHeight = 256;
    std::vector<CaptureBuffer> pictures = captureViews(nullptr, views, settings, false);
    ASSERT_EQ(pictures.size(), 3u);
    ASSERT_TRUE(holdsPicture(pictures[0]));
    ASSERT_TRUE(holdsPicture(pictures[1]));
    EXPECT_EQ(mismatchWithPattern(pictures[0], 0, 2), "");
    EXPECT_EQ(mismatchWithPattern(pictures[1], 2, 2), "");
    EXPECT_FALSE(holdsPicture(pictures[2]));

    const std::vector<MonitorDraw> draws = monitorDraws(views, std::move(pictures), views);
    ASSERT_EQ(draws.size(), 3u);
    ASSERT_TRUE(holdsPicture(draws[2].capture));
    EXPECT_EQ(mismatchWithPattern(draws[2].capture, 0, 2), "");
}

// The largest size the dialog offers: 2048 x 2048 x 3 bytes.
TEST_F(CaptureWin32, takesTheLargestTextureSizeWhole) {
    Settings settings;
    settings.screenTextureWidth = 2048;
    settings.screenTextureHeight = 2048;
    MonitorView primary;
    primary.desktop = ScreenRect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    const std::vector<CaptureBuffer> pictures = captureViews(nullptr, {primary}, settings, false);
    ASSERT_EQ(pictures.size(), 1u);
    const CaptureBuffer& capture = pictures[0];
    EXPECT_EQ(capture.width, 2048);
    EXPECT_EQ(capture.height, 2048);
    EXPECT_EQ(capture.bgr.size(), 12582912u);
    EXPECT_EQ(mismatchWithPattern(capture), "");
}
