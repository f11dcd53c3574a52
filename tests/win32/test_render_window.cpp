// The render thread in a real window with the system's OpenGL (under Wine:
// Wine's opengl32 over the X server's GLX). Built into a test program of its
// own, linked with opengl32 rather than the recording GL stand-in.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "render/gl_context_win32.h"
#include "render/render_host.h"
#include "scene/gl.h"
#include "win32/pattern_window.h"
#include "win32/render_window.h"

using namespace kelvara;
using kelvara::testing::kPatternColours;
using kelvara::testing::kPatternColumns;
using kelvara::testing::kPatternRows;
using kelvara::testing::pumpMessages;
using kelvara::testing::RenderWindow;

namespace {

constexpr int kWindowWidth = 256;
constexpr int kWindowHeight = 192;
constexpr uint64_t kFramesToDraw = 3;
constexpr unsigned kJoinTimeoutMs = 5000;

// The pattern as a captured desktop would hold it: rows top first, BGR, packed.
CaptureBuffer patternPicture(int width, int height) {
    CaptureBuffer picture;
    picture.width = width;
    picture.height = height;
    picture.bgr.resize(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto c = kPatternColours[y * kPatternRows / height][x * kPatternColumns / width];
            uint8_t* p = &picture.bgr[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
        }
    }
    return picture;
}

// Still and flat: no camera swing, a mode that draws the grid without a wave,
// so where each part of the picture lands is fixed.
Settings stillFlatSettings() {
    Settings settings;
    settings.Mode = 7;
    settings.enableMovement = 0;
    settings.randPreset = 0;
    return settings;
}

// What the observer saw on the render thread, read after the join.
struct Seen {
    std::atomic<uint64_t> frames{0};
    std::vector<uint8_t> rgb; // window pixels, bottom row first, as GL reads them
    HGLRC context = nullptr;
    int priority = THREAD_PRIORITY_ERROR_RETURN;
};

RenderThreadOptions readingBackAfter(uint64_t frameToRead, Seen& seen) {
    RenderThreadOptions options;
    options.waitForRetrace = false;
    options.observer = [frameToRead, &seen](uint64_t frame) {
        if (frame == frameToRead) {
            seen.rgb.resize(static_cast<size_t>(kWindowWidth) * kWindowHeight * 3);
            // The back buffer: Wine shows the window's front buffer through a
            // surface of its own, so reading GL_FRONT gives black. The swap of
            // the software rasteriser copies, leaving the frame in the back
            // buffer, and with a still camera every frame is the same picture.
            glReadBuffer(GL_BACK);
            glPixelStorei(GL_PACK_ALIGNMENT, 1);
            glReadPixels(0, 0, kWindowWidth, kWindowHeight, GL_RGB, GL_UNSIGNED_BYTE, seen.rgb.data());
            seen.context = wglGetCurrentContext();
            seen.priority = GetThreadPriority(GetCurrentThread());
        }
        seen.frames.store(frame);
    };
    return options;
}

// Stops and joins the thread whatever happens to the test.
class RunningThread {
  public:
    RunningThread(HWND window, Settings& settings, CaptureBuffer& capture, ThreadPriority priority,
                  const RenderThreadOptions& options) {
        renderRunning.store(1);
        thread_ = startRenderThread(DrawTarget{reinterpret_cast<NativeWindow>(window), nullptr}, settings,
                                    wholeWindow(capture), priority, options);
    }
    ~RunningThread() { stop(); }
    RunningThread(const RunningThread&) = delete;
    RunningThread& operator=(const RunningThread&) = delete;

    bool started() const { return thread_ != nullptr; }

    // True when the thread ended within the timeout.
    bool stop() {
        renderRunning.store(0);
        if (thread_ == nullptr)
            return joined_;
        joined_ = joinRenderThread(thread_, kJoinTimeoutMs);
        thread_ = nullptr;
        return joined_;
    }

  private:
    RenderThread* thread_ = nullptr;
    bool joined_ = false;
};

void waitForFrames(const Seen& seen, uint64_t frames) {
    const DWORD start = GetTickCount();
    while (seen.frames.load() < frames && GetTickCount() - start < 10000)
        pumpMessages(20);
}

// Where a point of the picture (fractions of its width and height, from its
// top-left corner) appears in the window, for the still camera: the picture's
// 1024 x 768 units centred 300 units in front of a 120-degree, 1.33 aspect
// perspective.
POINT windowPointOf(double u, double v) {
    const double halfHeight = 300.0 * std::tan(60.0 * 3.14159265358979 / 180.0);
    const double halfWidth = halfHeight * 1.33;
    const double ndcX = (u * 1024.0 - 512.0) / halfWidth;
    const double ndcY = (384.0 - v * 768.0) / halfHeight;
    return POINT{static_cast<LONG>((ndcX + 1.0) / 2.0 * kWindowWidth),
                 static_cast<LONG>((1.0 - ndcY) / 2.0 * kWindowHeight)};
}

struct Pixel {
    int r, g, b;
};

// `top` counts from the window's top row.
Pixel pixelAt(const Seen& seen, int x, int top) {
    const int glRow = kWindowHeight - 1 - top;
    const uint8_t* p = &seen.rgb[(static_cast<size_t>(glRow) * kWindowWidth + x) * 3];
    return Pixel{p[0], p[1], p[2]};
}

// The pattern colour whose hue the lit pixel is nearest to: lighting scales a
// colour (and may add a little white), so colours are compared by their
// proportions, each scaled to its largest channel.
int nearestPatternCell(const Pixel& p) {
    const auto normalised = [](double r, double g, double b, double out[3]) {
        const double top = std::max({r, g, b, 1.0});
        out[0] = r / top;
        out[1] = g / top;
        out[2] = b / top;
    };
    double seen[3];
    normalised(p.r, p.g, p.b, seen);
    int best = -1;
    double bestDistance = 1e9;
    for (int cell = 0; cell < kPatternRows * kPatternColumns; ++cell) {
        const auto c = kPatternColours[cell / kPatternColumns][cell % kPatternColumns];
        double want[3];
        normalised(c.r, c.g, c.b, want);
        const double d = std::hypot(seen[0] - want[0], seen[1] - want[1], seen[2] - want[2]);
        if (d < bestDistance) {
            bestDistance = d;
            best = cell;
        }
    }
    return best;
}

bool isLogoBlue(const Pixel& p) {
    return p.b > p.r + 30 && p.b > 40;
}

class RenderWindowWin32 : public ::testing::Test {
  protected:
    // One window for the suite, as making and destroying one costs Wine a good
    // part of a second. Its pixel format is set by the first thread and kept;
    // each thread makes and deletes a context of its own on it.
    static void SetUpTestSuite() {
        shared_ = new RenderWindow(0, 0, kWindowWidth, kWindowHeight);
        pumpMessages(200);
    }
    static void TearDownTestSuite() {
        delete shared_;
        shared_ = nullptr;
    }
    void SetUp() override { ASSERT_NE(shared_->handle(), nullptr); }
    void TearDown() override { renderRunning.store(0); }

    static RenderWindow* shared_;
    RenderWindow& window_ = *shared_;
};

RenderWindow* RenderWindowWin32::shared_ = nullptr;

} // namespace

TEST_F(RenderWindowWin32, drawsTheCapturedPictureUprightAndReleasesItsContext) {
    Settings settings = stillFlatSettings();
    CaptureBuffer capture = patternPicture(256, 128);
    Seen seen;
    RunningThread thread(window_.handle(), settings, capture, ThreadPriority::BelowNormal,
                         readingBackAfter(kFramesToDraw, seen));
    ASSERT_TRUE(thread.started());
    waitForFrames(seen, kFramesToDraw + 1);
    EXPECT_TRUE(thread.stop()) << "the thread was still running after " << kJoinTimeoutMs << " ms";
    ASSERT_GE(seen.frames.load(), kFramesToDraw) << "frames drawn";

    // The picture went into a texture and the buffer with it.
    EXPECT_TRUE(capture.bgr.empty());
    EXPECT_EQ(seen.priority, THREAD_PRIORITY_BELOW_NORMAL);
    ASSERT_NE(seen.context, nullptr);

    // Each cell's centre shows that cell's colour: right way up, not mirrored,
    // red and blue where they belong.
    for (int row = 0; row < kPatternRows; ++row) {
        for (int column = 0; column < kPatternColumns; ++column) {
            const POINT at = windowPointOf((column + 0.5) / kPatternColumns, (row + 0.5) / kPatternRows);
            const Pixel p = pixelAt(seen, at.x, at.y);
            EXPECT_EQ(nearestPatternCell(p), row * kPatternColumns + column)
                << "cell " << row << "," << column << " at (" << at.x << ", " << at.y << ") reads R" << p.r
                << " G" << p.g << " B" << p.b;
            EXPECT_GT(std::max({p.r, p.g, p.b}), 60) << "unlit at cell " << row << "," << column;
        }
    }
    // Outside the picture: the clear colour.
    const Pixel corner = pixelAt(seen, 1, 1);
    EXPECT_LT(corner.r + corner.g + corner.b, 30);

    // Deleted at the thread's end: it can no longer be made current anywhere.
    HDC dc = GetDC(window_.handle());
    EXPECT_FALSE(wglMakeCurrent(dc, seen.context));
    wglMakeCurrent(nullptr, nullptr);
    ReleaseDC(window_.handle(), dc);
}

TEST_F(RenderWindowWin32, drawsTheLogoUprightWithUseOGL) {
    Settings settings = stillFlatSettings();
    settings.useOGL = 1;
    CaptureBuffer nothing;
    Seen seen;
    RunningThread thread(window_.handle(), settings, nothing, ThreadPriority::Normal,
                         readingBackAfter(kFramesToDraw, seen));
    ASSERT_TRUE(thread.started());
    waitForFrames(seen, kFramesToDraw + 1);
    EXPECT_TRUE(thread.stop());
    ASSERT_GE(seen.frames.load(), kFramesToDraw);

    // The logo's top third is plain white; its lettering and swoosh sit between
    // about 37% and 85% of its height. Upside down, the swoosh would fall into
    // the top band and the bottom band would be white.
    const auto bluePixelsBetween = [&seen](double vTop, double vBottom) {
        int blue = 0;
        int lit = 0;
        for (double v = vTop; v <= vBottom; v += 0.01) {
            for (double u = 0.05; u <= 0.95; u += 0.01) {
                const POINT at = windowPointOf(u, v);
                const Pixel p = pixelAt(seen, at.x, at.y);
                blue += isLogoBlue(p) ? 1 : 0;
                lit += (p.r + p.g + p.b > 150) ? 1 : 0;
            }
        }
        return std::pair<int, int>{blue, lit};
    };
    const auto [topBlue, topLit] = bluePixelsBetween(0.03, 0.30);
    const auto [lowBlue, lowLit] = bluePixelsBetween(0.72, 0.84);
    EXPECT_EQ(topBlue, 0);
    EXPECT_GT(topLit, 0) << "the white top of the logo is dark";
    EXPECT_GT(lowBlue, 20) << "no swoosh where the logo's lower part should be";
}

TEST_F(RenderWindowWin32, endsWithoutAFrameWhenStoppedBeforeItsLoop) {
    Settings settings = stillFlatSettings();
    CaptureBuffer capture = patternPicture(64, 32);
    Seen seen;
    RenderThreadOptions options = readingBackAfter(1, seen);
    renderRunning.store(0);
    RenderThread* thread =
        startRenderThread(DrawTarget{reinterpret_cast<NativeWindow>(window_.handle()), nullptr}, settings,
                          wholeWindow(capture), ThreadPriority::Normal, options);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(joinRenderThread(thread, kJoinTimeoutMs));
    EXPECT_EQ(seen.frames.load(), 0u);
    EXPECT_TRUE(capture.bgr.empty()) << "the picture is consumed even when no frame is drawn";
}

TEST(PixelFormatWin32, fallbackAsksForDoubleBufferedRgbaWith24ColourAnd16DepthBits) {
    const PIXELFORMATDESCRIPTOR pfd = fallbackPixelFormatDescriptor();
    EXPECT_EQ(pfd.nSize, 40);
    EXPECT_EQ(pfd.nVersion, 1);
    EXPECT_EQ(pfd.dwFlags, 0x25u);
    EXPECT_EQ(pfd.iPixelType, PFD_TYPE_RGBA);
    EXPECT_EQ(pfd.cColorBits, 24);
    EXPECT_EQ(pfd.cDepthBits, 16);
    // Everything else zero: counts, shifts, layer type, masks.
    PIXELFORMATDESCRIPTOR rest = pfd;
    rest.nSize = 0;
    rest.nVersion = 0;
    rest.dwFlags = 0;
    rest.cColorBits = 0;
    rest.cDepthBits = 0;
    const PIXELFORMATDESCRIPTOR zero{};
    EXPECT_EQ(std::memcmp(&rest, &zero, sizeof rest), 0);
}

TEST(ThreadPriorityWin32, eachStepRunsAtItsWindowsPriority) {
    EXPECT_EQ(win32ThreadPriority(ThreadPriority::Lowest), THREAD_PRIORITY_LOWEST);
    EXPECT_EQ(win32ThreadPriority(ThreadPriority::BelowNormal), THREAD_PRIORITY_BELOW_NORMAL);
    EXPECT_EQ(win32ThreadPriority(ThreadPriority::Normal), THREAD_PRIORITY_NORMAL);
    EXPECT_EQ(win32ThreadPriority(ThreadPriority::AboveNormal), THREAD_PRIORITY_ABOVE_NORMAL);
    EXPECT_EQ(win32ThreadPriority(ThreadPriority::Highest), THREAD_PRIORITY_HIGHEST);
    EXPECT_EQ(win32ThreadPriority(ThreadPriority::TimeCritical), THREAD_PRIORITY_TIME_CRITICAL);
}

TEST(PixelFormatWin32, theGenericFlagsMapToHowMuchTheDriverDraws) {
    PIXELFORMATDESCRIPTOR pfd = fallbackPixelFormatDescriptor();
    EXPECT_EQ(pixelFormatFromDescriptor(pfd).acceleration, FormatAcceleration::Full);
    pfd.dwFlags |= PFD_GENERIC_FORMAT;
    EXPECT_EQ(pixelFormatFromDescriptor(pfd).acceleration, FormatAcceleration::Software);
    pfd.dwFlags |= PFD_GENERIC_ACCELERATED;
    EXPECT_EQ(pixelFormatFromDescriptor(pfd).acceleration, FormatAcceleration::Partial);
    // Every attribute survives the way there and back.
    for (const FormatAcceleration a :
         {FormatAcceleration::Software, FormatAcceleration::Partial, FormatAcceleration::Full}) {
        PixelFormatInfo request = fallbackPixelFormat();
        request.acceleration = a;
        request.doubleBuffered = a != FormatAcceleration::Partial;
        const PixelFormatInfo back = pixelFormatFromDescriptor(descriptorFor(request));
        EXPECT_EQ(back.acceleration, a);
        EXPECT_EQ(back.doubleBuffered, request.doubleBuffered);
        EXPECT_TRUE(back.rgba && back.openGl && back.drawsToWindow);
        EXPECT_EQ(back.colorBits, 24);
        EXPECT_EQ(back.depthBits, 16);
    }
}

TEST(PixelFormatWin32, setsTheBestScoringFormatOfTheWindow) {
    // A window of its own: a window's format can be set only once.
    RenderWindow window_(0, 0, kWindowWidth, kWindowHeight);
    ASSERT_NE(window_.handle(), nullptr);
    HDC dc = GetDC(window_.handle());
    const std::vector<PixelFormatInfo> formats = describePixelFormats(dc);
    ASSERT_FALSE(formats.empty());
    int bestScore = 0;
    for (const PixelFormatInfo& f : formats)
        bestScore = std::max(bestScore, pixelFormatScore(f));
    ASSERT_GT(bestScore, 0) << "the display offers no double-buffered RGBA window format";

    const int chosen = selectPixelFormat(dc);
    ASSERT_GT(chosen, 0);
    EXPECT_EQ(GetPixelFormat(dc), chosen);
    PIXELFORMATDESCRIPTOR set{};
    ASSERT_NE(DescribePixelFormat(dc, chosen, sizeof set, &set), 0);
    EXPECT_EQ(set.iPixelType, PFD_TYPE_RGBA);
    EXPECT_EQ(set.dwFlags & 0x25u, 0x25u);
    EXPECT_EQ(pixelFormatScore(pixelFormatFromDescriptor(set)), bestScore);
    // No lower index scores as well.
    for (int i = 1; i < chosen; ++i)
        EXPECT_LT(pixelFormatScore(formats[i - 1]), bestScore) << "format " << i;
    ReleaseDC(window_.handle(), dc);
}
