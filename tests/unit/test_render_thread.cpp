#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>

#include "display/display_power.h"
#include "recording_gl.h"
#include "render/frame_pacer.h"
#include "render/render_host.h"
#include "render/render_thread.h"
#include "render/resource_texture.h"
#include "settings/presets.h"
#include "unit/fake_display.h"

using namespace kelvara;
namespace glrec = kelvara::glrec;

namespace {

// A format the scene can use, drawn as `acceleration` says.
PixelFormatInfo usable(int colour, int depth, FormatAcceleration acceleration = FormatAcceleration::Full) {
    PixelFormatInfo f;
    f.rgba = f.openGl = f.drawsToWindow = f.doubleBuffered = true;
    f.colorBits = colour;
    f.depthBits = depth;
    f.acceleration = acceleration;
    return f;
}

PixelFormatInfo without(bool PixelFormatInfo::*attribute) {
    PixelFormatInfo f = usable(32, 24);
    f.*attribute = false;
    return f;
}

CaptureBuffer picture(int w, int h) {
    CaptureBuffer b;
    b.width = w;
    b.height = h;
    b.bgr.assign(static_cast<std::size_t>(w) * h * 3, 0x80);
    return b;
}

// Runs the loop for `frames` frames with a fixed clock and returns the swaps seen.
int runFrames(Settings& settings, CaptureBuffer& capture, int frames, Scene& scene) {
    std::atomic<int> running{1};
    int swaps = 0;
    RenderSurface surface{640, 480, [&swaps] { ++swaps; }};
    runRenderLoop(scene, settings, capture, surface, 1234u, running, watchingFrames([&](uint64_t n) {
                      if (n >= static_cast<uint64_t>(frames))
                          running = 0;
                  }));
    return swaps;
}

} // namespace

TEST(PixelFormat, workedScores) {
    EXPECT_EQ(pixelFormatScore(usable(16, 16)), 2048);
    EXPECT_EQ(pixelFormatScore(usable(32, 24)), 2072);
    EXPECT_EQ(pixelFormatScore(usable(24, 32, FormatAcceleration::Software)), 84);
    EXPECT_EQ(pixelFormatScore(usable(24, 24, FormatAcceleration::Partial)), 1068);
    // Odd colour depths above 16 lose half the excess, truncated towards zero.
    EXPECT_EQ(pixelFormatScore(usable(17, 0)), 2017);
}

TEST(PixelFormat, unusableFormatsNeverWin) {
    EXPECT_EQ(pixelFormatScore(without(&PixelFormatInfo::doubleBuffered)), 0);
    EXPECT_EQ(pixelFormatScore(without(&PixelFormatInfo::drawsToWindow)), 0);
    EXPECT_EQ(pixelFormatScore(without(&PixelFormatInfo::openGl)), 0);
    EXPECT_EQ(pixelFormatScore(without(&PixelFormatInfo::rgba)), 0); // colour-index
    EXPECT_EQ(bestPixelFormat({without(&PixelFormatInfo::rgba), PixelFormatInfo{}}), 0);
    EXPECT_EQ(bestPixelFormat({}), 0);
}

TEST(PixelFormat, theFallbackRequestIsAFormatTheSceneCanUse) {
    EXPECT_EQ(pixelFormatScore(fallbackPixelFormat()), 2000 + 24 + 32 - 4);
}

TEST(PixelFormat, highestScoreWinsAndTiesGoToTheLowerIndex) {
    const std::vector<PixelFormatInfo> formats = {
        usable(24, 32, FormatAcceleration::Software), // 84
        usable(16, 16),                               // 2048
        usable(32, 24),                               // 2072
        usable(32, 24),                               // 2072, later
        usable(24, 16),                               // 2052
    };
    EXPECT_EQ(bestPixelFormat(formats), 3);
}

TEST(ThreadNice, onlyTheStepsBelowNormalLowerTheThread) {
    EXPECT_EQ(niceForThreadPriority(threadPriorityFor(0)), 10);
    EXPECT_EQ(niceForThreadPriority(threadPriorityFor(1)), 5);
    for (int32_t step : {2, 3, 4, 5, -1, 6})
        EXPECT_EQ(niceForThreadPriority(threadPriorityFor(step)), 0) << step;
}

TEST(RenderLoop, screenTextureIsBuiltOnceBeforeTheFirstFrameAndFreed) {
    Settings s;
    CaptureBuffer capture = picture(512, 256);
    Scene scene([] { return 0.0; });
    glrec::reset();
    EXPECT_EQ(runFrames(s, capture, 3, scene), 3);

    EXPECT_EQ(capture.bgr.size(), 0u); // handed over and freed
    const auto& calls = glrec::calls();
    EXPECT_EQ(calls.front(), (glrec::Call{"glViewport", {0, 0, 640, 480}}));
    // 512 x 256 goes up as it is, level 0 alone.
    EXPECT_EQ(glrec::callsNamed("glTexImage2D").size(), 1u);
    EXPECT_EQ(glrec::callsNamed("gluBuild2DMipmaps").size(), 0u);
    EXPECT_EQ(glrec::callsNamed("glClear").size(), 3u);
    // The texture is made before the first frame clears the screen.
    std::size_t build = 0, firstClear = 0;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].name == "glTexImage2D" && build == 0)
            build = i;
        if (calls[i].name == "glClear" && firstClear == 0)
            firstClear = i;
    }
    EXPECT_LT(build, firstClear);
    // ... and given back when the loop ends, while the context still exists.
    ASSERT_FALSE(glrec::callsNamed("glDeleteTextures").empty());
    EXPECT_EQ(calls.back().name, "glDeleteTextures");
}

TEST(RenderLoop, logoReplacesTheDesktopWhenAsked) {
    Settings s;
    s.useOGL = 1;
    CaptureBuffer none;
    Scene scene([] { return 0.0; });
    glrec::reset();
    runFrames(s, none, 1, scene);
    // The logo is built from the program's own bitmap and bound for the run.
    const auto builds = glrec::callsNamed("gluBuild2DMipmaps");
    ASSERT_EQ(builds.size(), 1u);
    EXPECT_EQ(builds[0].args[2], 128);
    EXPECT_EQ(builds[0].args[3], 128);
    // ... and deleted when the loop ends, while the context still exists.
    const auto binds = glrec::callsNamed("glBindTexture");
    ASSERT_FALSE(binds.empty());
    const double logo = binds.front().args[1];
    EXPECT_NE(logo, 0.0);
    EXPECT_EQ(glrec::calls().back(), (glrec::Call{"glDeleteTextures", {1, logo}}));
}

TEST(RenderLoop, randomPresetComesBeforeTheSceneIsBuilt) {
    Settings s;
    s.randPreset = 1;
    s.x_div = 3; // every preset sets its own grid
    s.y_div = 3;
    CaptureBuffer capture = picture(512, 256);
    Scene scene([] { return 0.0; });
    glrec::reset();
    runFrames(s, capture, 2, scene);
    EXPECT_NE(s.x_div, 3.0f);
    // The scene was built from the preset's grid: a wave mode rebuilt the grid
    // at the preset's size, Explode cut the preset's size on the first frame.
    const int expected = static_cast<int>(s.x_div) * static_cast<int>(s.y_div);
    if (s.Mode == kExplode)
        EXPECT_EQ(static_cast<int>(scene.shards.size()), expected);
    else
        EXPECT_EQ(static_cast<int>(scene.grid.positions.size()), expected);
}

TEST(RenderLoop, stoppedBeforeTheFirstFrameDrawsNothing) {
    Settings s;
    CaptureBuffer capture = picture(128, 64);
    Scene scene([] { return 0.0; });
    std::atomic<int> running{0};
    int swaps = 0;
    glrec::reset();
    runRenderLoop(scene, s, capture, RenderSurface{128, 64, [&swaps] { ++swaps; }}, 1u, running);
    EXPECT_EQ(swaps, 0);
    EXPECT_TRUE(glrec::callsNamed("glClear").empty());
}

// The hand-over as the hosts do it: the window thread fills the settings and
// the capture, sets renderRunning and starts a thread of its own; that thread
// draws until renderRunning clears; once it has been joined the window thread
// reads what the thread announced. Under ThreadSanitizer (the tsan
// preset) this must run without a race report; the frame count is read
// relaxed so it adds no ordering the hosts do not have.
TEST(RenderLoop, runsOnItsOwnThreadUntilRenderRunningClears) {
    Settings s;
    s.randPreset = 1; // the loop writes its own record and announces the preset
    s.x_div = 3; // every preset sets its own grid
    CaptureBuffer capture = picture(64, 32);
    glrec::reset();
    glrec::setMode(glrec::Mode::Count);

    std::atomic<uint64_t> frames{0};
    int swaps = 0;  // the render thread's own until the join
    std::optional<Preset> picked; // likewise
    RenderThreadOptions options =
        watchingFrames([&frames](uint64_t n) { frames.store(n, std::memory_order_relaxed); });
    options.presetPicked = [&picked](Preset preset) { picked = preset; };
    renderRunning.store(1, std::memory_order_release);
    std::thread render([&] {
        Scene scene;
        runRenderLoop(scene, s, capture, RenderSurface{320, 240, [&swaps] { ++swaps; }}, 99u, renderRunning,
                      options);
    });
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (frames.load(std::memory_order_relaxed) < 3 && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    renderRunning.store(0, std::memory_order_release);
    render.join();
    glrec::setMode(glrec::Mode::Record);

    const uint64_t drawn = frames.load(std::memory_order_relaxed);
    EXPECT_GE(drawn, 3u);
    EXPECT_EQ(static_cast<uint64_t>(swaps), drawn) << "one present per frame, none after the stop";
    EXPECT_TRUE(capture.bgr.empty()) << "the capture is the render thread's to free";
    // The preset the render thread picked is in its record and was announced.
    EXPECT_NE(s.x_div, 3.0f);
    Settings announced;
    announced.x_div = 3;
    ASSERT_TRUE(picked.has_value());
    // The first draw after the seeding's two thrown away picks it.
    Rng rng;
    seedRenderRandom(rng, monitorSeed(99u, 0));
    EXPECT_EQ(*picked, presetForDraw(rng.next()));
    applyPreset(announced, *picked);
    EXPECT_EQ(announced.x_div, s.x_div);
}

TEST(RenderLoop, drawsNothingWhileTheDisplayIsOffAndTheDarkIsNoMotion) {
    Settings s;
    s.enableMovement = 1;
    double now = 0.0; // the scene's clock: moves only while the display is dark
    const int darkAnswers = 5;
    test::FakeDisplay display;
    display.darkFor(darkAnswers);
    int swaps = 0;
    int askedBeforeFirstSwap = -1;
    DisplaySleepGate gate(display, 0.0, [&now] { return now; }, [&now](double ms) { now += ms; });
    double pacerNow = 0.0; // the pacer's own, so its sleeps do not move the scene
    std::vector<double> deadlines;
    FramePacer pacer(PacingPlan{60.0, false}, [&pacerNow] { return pacerNow; },
                     [&](double deadline) { deadlines.push_back(deadline); pacerNow = deadline; });
    RenderSurface surface{64, 48, [&] {
                              if (swaps++ == 0)
                                  askedBeforeFirstSwap = static_cast<int>(display.powerAskedAt.size());
                          }};
    surface.pacer = &pacer;
    surface.sleepGate = &gate;
    CaptureBuffer capture = picture(64, 32);
    Scene scene([&now] { return now; });
    std::atomic<int> running{1};
    glrec::reset();
    glrec::setMode(glrec::Mode::Count);
    runRenderLoop(scene, s, capture, surface, 7u, running, watchingFrames([&running](uint64_t n) {
                      if (n >= 2)
                          running = 0;
                  }));

    // The same two frames with the display lit throughout and no time passing.
    Settings same;
    same.enableMovement = 1;
    CaptureBuffer capture2 = picture(64, 32);
    Scene reference([] { return 0.0; });
    runFrames(same, capture2, 2, reference);
    glrec::setMode(glrec::Mode::Record);

    EXPECT_EQ(swaps, 2);
    EXPECT_GT(askedBeforeFirstSwap, darkAnswers) << "a frame was drawn in the dark";
    EXPECT_GT(now, 0.0);
    // The dark second moved nothing: the camera is where the lit run has it.
    EXPECT_EQ(scene.camera.rotX, reference.camera.rotX);
    EXPECT_EQ(scene.camera.rotY, reference.camera.rotY);
    EXPECT_EQ(scene.camera.rotZ, reference.camera.rotZ);
    EXPECT_EQ(scene.camera.zoom, reference.camera.zoom);
    EXPECT_EQ(deadlines.size(), 2u) << "the pacer hears of every frame";
}

namespace {

// Two 640 x 480 monitors side by side in one 1280 x 480 window.
std::vector<MonitorDraw> twoMonitors() {
    std::vector<MonitorDraw> monitors(2);
    monitors[0].viewport = ScreenRect{0, 0, 640, 480};
    monitors[1].viewport = ScreenRect{640, 0, 640, 480};
    monitors[0].capture = picture(64, 32);
    monitors[1].capture = picture(64, 32);
    return monitors;
}

int runMonitorFrames(Settings& settings, std::vector<MonitorDraw>& monitors, std::vector<Scene*> scenes,
                     const RenderSurface& surfaceSize, int frames) {
    std::atomic<int> running{1};
    int swaps = 0;
    RenderSurface surface{surfaceSize.width, surfaceSize.height, [&swaps] { ++swaps; }};
    runRenderLoop(scenes, settings, monitors, surface, 1234u, running, watchingFrames([&](uint64_t n) {
                      if (n >= static_cast<uint64_t>(frames))
                          running = 0;
                  }));
    return swaps;
}

} // namespace

TEST(RenderLoop, oneMonitorOverTheWholeWindowDrawsExactlyTheSingleScreenFrames) {
    Settings s;
    s.randPreset = 1;
    CaptureBuffer capture = picture(64, 32);
    Scene single([] { return 0.0; });
    glrec::reset();
    runFrames(s, capture, 3, single);
    const std::vector<glrec::Call> alone = glrec::calls();

    Settings t;
    t.randPreset = 1;
    std::vector<MonitorDraw> one(1);
    one[0].capture = picture(64, 32); // empty viewport: the whole surface
    Scene scene([] { return 0.0; });
    glrec::reset();
    EXPECT_EQ(runMonitorFrames(t, one, {&scene}, RenderSurface{640, 480, {}}, 3), 3);
    EXPECT_EQ(glrec::calls(), alone);
    EXPECT_EQ(std::memcmp(&s, &t, sizeof s), 0) << "the same random preset";
}

TEST(RenderLoop, eachMonitorGetsItsViewportAndTextureEveryFrameWithOneClearAndOnePresent) {
    Settings s;
    std::vector<MonitorDraw> monitors = twoMonitors();
    monitors[1].viewport = ScreenRect{640, 80, 400, 400}; // smaller, off the bottom edge
    Scene left([] { return 0.0; }), right([] { return 0.0; });
    glrec::reset();
    EXPECT_EQ(runMonitorFrames(s, monitors, {&left, &right}, RenderSurface{1040, 480, {}}, 2), 2);

    EXPECT_TRUE(monitors[0].capture.bgr.empty() && monitors[1].capture.bgr.empty());
    EXPECT_EQ(glrec::callsNamed("glTexImage2D").size(), 2u) << "a texture of its own per monitor";
    EXPECT_EQ(glrec::callsNamed("glClear").size(), 2u) << "the whole window once a frame";

    // Each scene starts with its model-view reset (glLoadIdentity) after its
    // viewport and texture are set; the textures differ.
    std::vector<glrec::Call> viewportPerScene;
    std::vector<double> texturePerScene;
    glrec::Call viewport, scissor;
    double bound = -1;
    bool drawing = false;
    for (const glrec::Call& c : glrec::calls()) {
        if (c.name == "glClear")
            drawing = true;
        if (c.name == "glViewport")
            viewport = c;
        if (c.name == "glScissor")
            scissor = c;
        if (c.name == "glBindTexture")
            bound = c.args[1];
        if (drawing && c.name == "glLoadIdentity") {
            viewportPerScene.push_back(viewport);
            texturePerScene.push_back(bound);
            EXPECT_EQ(scissor.args, viewport.args) << "each scene scissored to its own monitor";
        }
    }
    ASSERT_EQ(viewportPerScene.size(), 4u);
    EXPECT_EQ(viewportPerScene[0].args, (std::vector<double>{0, 0, 640, 480}));
    EXPECT_EQ(viewportPerScene[1].args, (std::vector<double>{640, 80, 400, 400}));
    EXPECT_EQ(viewportPerScene[3].args, (std::vector<double>{640, 80, 400, 400}));
    EXPECT_NE(texturePerScene[0], texturePerScene[1]);
    EXPECT_EQ(texturePerScene[0], texturePerScene[2]);
    EXPECT_EQ(glrec::callsNamed("glDeleteTextures").size(), 2u);
}

TEST(RenderLoop, everyMonitorHasARandomSequenceOfItsOwn) {
    EXPECT_EQ(monitorSeed(77u, 0), 77u);
    std::vector<int> firstDraws;
    for (std::size_t i = 0; i < 4; ++i) {
        Rng rng;
        seedRenderRandom(rng, monitorSeed(77u, i));
        firstDraws.push_back(rng.next() * 32768 + rng.next());
    }
    for (std::size_t i = 0; i < firstDraws.size(); ++i)
        for (std::size_t j = i + 1; j < firstDraws.size(); ++j)
            EXPECT_NE(firstDraws[i], firstDraws[j]) << i << " and " << j;

    // The loop seeds each monitor's scene so (a wave draws no numbers).
    Settings s;
    s.Mode = 1;
    std::vector<MonitorDraw> monitors = twoMonitors();
    Scene left([] { return 0.0; }), right([] { return 0.0; });
    runMonitorFrames(s, monitors, {&left, &right}, RenderSurface{1280, 480, {}}, 2);
    for (std::size_t i = 0; i < 2; ++i) {
        Rng expected;
        seedRenderRandom(expected, monitorSeed(1234u, i));
        EXPECT_EQ((i == 0 ? left : right).rng.state(), expected.state()) << i;
    }
}

TEST(RenderLoop, everyMonitorsSceneSkipsTheDark) {
    Settings s;
    s.Mode = 1;
    s.enableMovement = 1;
    double now = 0.0;
    test::FakeDisplay display;
    display.darkFor(3);
    DisplaySleepGate gate(display, 0.0, [&now] { return now; }, [&now](double ms) { now += ms; });
    std::atomic<int> running{1};
    RenderSurface surface{1280, 480, {}};
    surface.sleepGate = &gate;
    std::vector<MonitorDraw> monitors = twoMonitors();
    Scene left([&now] { return now; }), right([&now] { return now; });
    glrec::reset();
    glrec::setMode(glrec::Mode::Count);
    runRenderLoop({&left, &right}, s, monitors, surface, 1234u, running,
                  watchingFrames([&running](uint64_t n) {
                      if (n >= 2)
                          running = 0;
                  }));
    std::vector<MonitorDraw> litMonitors = twoMonitors();
    Scene litLeft([] { return 0.0; }), litRight([] { return 0.0; });
    runMonitorFrames(s, litMonitors, {&litLeft, &litRight}, RenderSurface{1280, 480, {}}, 2);
    glrec::setMode(glrec::Mode::Record);

    EXPECT_GT(now, 0.0);
    EXPECT_EQ(left.camera.rotY, litLeft.camera.rotY);
    EXPECT_EQ(right.camera.rotY, litRight.camera.rotY) << "the second monitor's scene leapt by the dark time";
    EXPECT_EQ(right.camera.zoom, litRight.camera.zoom);
}

namespace {

// Surfaces of their own per monitor, due as `schedule` says: one string a
// pass, one letter a monitor ('n' now, 'w' wait, 'd' after dark, 'x' dark). Notes
// where in the GL log each present came.
struct ScriptedPanes final : PaneSurfaces {
    std::vector<std::string> schedule;
    std::size_t passes = 0; // every frame asks the first monitor first
    int waits = 0;
    std::vector<std::size_t> presented;     // monitor of each present
    std::vector<std::size_t> presentAtCall; // GL log length at each present
    PaneDue begin(std::size_t pane) override {
        if (pane == 0)
            ++passes;
        const char c = passes <= schedule.size() ? schedule[passes - 1][pane] : 'n';
        return c == 'w'   ? PaneDue::Wait
               : c == 'd' ? PaneDue::AfterDark
               : c == 'x' ? PaneDue::Dark
                          : PaneDue::Now;
    }
    void present(std::size_t pane) override {
        presented.push_back(pane);
        presentAtCall.push_back(glrec::calls().size());
    }
    void wait() override { ++waits; }
};

} // namespace

TEST(RenderLoop, surfacesOfTheirOwnAreDrawnWhenDueEachPresentedRightAfterItsOwnScene) {
    Settings s;
    std::vector<MonitorDraw> monitors = twoMonitors();
    monitors[0].viewport = ScreenRect{0, 0, 640, 480};
    monitors[1].viewport = ScreenRect{0, 0, 400, 300}; // each its own surface's origin
    Scene first([] { return 0.0; }), second([] { return 0.0; });
    ScriptedPanes panes;
    // Only the first is due, then only the second (frame 1 done); neither (a
    // wait); the second alone while the first is dark (frame 2); both, the
    // second after a dark spell (frame 3).
    panes.schedule = {"nw", "wn", "ww", "xn", "nd"};
    std::atomic<int> running{1};
    int sharedPresents = 0;
    RenderSurface surface{640, 480, [&sharedPresents] { ++sharedPresents; }};
    surface.panes = &panes;
    int frames = 0;
    glrec::reset();
    runRenderLoop({&first, &second}, s, monitors, surface, 1234u, running, watchingFrames([&](uint64_t n) {
                      frames = static_cast<int>(n);
                      if (n >= 3)
                          running = 0;
                  }));

    EXPECT_EQ(frames, 3) << "a frame is every monitor drawn once, a dark one left out";
    EXPECT_EQ(sharedPresents, 0);
    EXPECT_EQ(panes.waits, 1);
    EXPECT_EQ(panes.presented, (std::vector<std::size_t>{0, 1, 1, 0, 1}));
    EXPECT_EQ(glrec::callsNamed("glClear").size(), 5u) << "each surface cleared for its own frame";
    // Between one present and the next: that monitor's viewport, its own
    // texture, its scene, then a flush, and nothing of the other's.
    const std::vector<glrec::Call>& log = glrec::calls();
    std::size_t from = 0;
    std::vector<double> textureOf[2];
    for (std::size_t k = 0; k < panes.presented.size(); ++k) {
        const std::size_t pane = panes.presented[k];
        std::vector<double> viewport, texture;
        bool cleared = false;
        std::string last;
        for (std::size_t i = from; i < panes.presentAtCall[k]; ++i) {
            if (log[i].name == "glViewport")
                viewport = log[i].args;
            if (log[i].name == "glBindTexture")
                texture = log[i].args;
            cleared = cleared || log[i].name == "glClear";
            last = log[i].name;
        }
        EXPECT_TRUE(cleared) << "present " << k;
        EXPECT_EQ(last, "glFlush") << "present " << k;
        const ScreenRect& v = monitors[pane].viewport;
        EXPECT_EQ(viewport, (std::vector<double>{0, 0, double(v.width), double(v.height)})) << "present " << k;
        if (textureOf[pane].empty())
            textureOf[pane] = texture;
        EXPECT_EQ(texture, textureOf[pane]) << "present " << k;
        from = panes.presentAtCall[k];
    }
    EXPECT_NE(textureOf[0], textureOf[1]);
}

// A thread without GL tells a host that listens and returns at once; one
// that cannot tell waits for the run's end instead of drawing nothing for ever.
TEST(RenderThread, aThreadWithoutGlTellsTheHostOrWaitsForTheEnd) {
    int told = 0;
    RenderThreadOptions options;
    options.cannotDraw = [&told] { ++told; };
    renderRunning.store(1);
    giveUpDrawing(options);
    EXPECT_EQ(told, 1);

    std::atomic<bool> returned{false};
    std::thread thread([&returned] {
        giveUpDrawing(RenderThreadOptions{});
        returned.store(true);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned.load()) << "returned while the run goes on";
    renderRunning.store(0);
    thread.join();
    EXPECT_TRUE(returned.load());
}
