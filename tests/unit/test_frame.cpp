#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <memory>
#include <set>
#include <tuple>
#include <vector>

#include "alloc_counter.h"
#include "recording_gl.h"
#include "render/scene_state.h"
#include "scene/frame.h"

using namespace kelvara;
namespace glrec = kelvara::glrec;

namespace {

// A clock that moves on by `step` ms at every reading; a step of 0 gives equal
// readings and so frame intervals of 0.
ClockMs steppingClock(double start, double step) {
    auto now = std::make_shared<double>(start);
    return [now, step] {
        const double v = *now;
        *now += step;
        return v;
    };
}

struct Frame {
    std::vector<glrec::Call> calls;
    int swaps = 0;
    std::size_t callsAtSwap = 0;
};

Frame runFrame(Scene& scene, const Settings& s) {
    glrec::reset();
    Frame f;
    renderFrame(scene, s, [&f] {
        ++f.swaps;
        f.callsAtSwap = glrec::calls().size();
    });
    f.calls = glrec::calls();
    return f;
}

struct CameraView {
    float rotX, rotY, rotZ, zoom;
};

// The camera as the frame placed it: the three rotates and the scale.
CameraView viewOf(const Frame& f) {
    return {float(f.calls.at(3).args.at(0)), float(f.calls.at(4).args.at(0)), float(f.calls.at(5).args.at(0)),
            float(f.calls.at(6).args.at(0))};
}

// Where each shard was drawn: the translation right after each glPushMatrix.
std::vector<std::tuple<double, double, double>> shardPlaces(const Frame& f) {
    std::vector<std::tuple<double, double, double>> out;
    for (std::size_t k = 0; k + 1 < f.calls.size(); ++k)
        if (f.calls[k].name == "glPushMatrix" && f.calls[k + 1].name == "glTranslatef") {
            const auto& a = f.calls[k + 1].args;
            out.emplace_back(a[0], a[1], a[2]);
        }
    return out;
}

std::vector<float> drawnHeights(const Frame& f) {
    std::vector<float> z;
    for (const glrec::Call& c : f.calls)
        if (c.name == "glVertex3fv")
            z.push_back(float(c.args[2]));
    return z;
}

Settings sceneSettings(int32_t mode, float xDiv, float yDiv) {
    Settings s;
    s.Mode = mode;
    s.x_div = xDiv;
    s.y_div = yDiv;
    return s;
}

} // namespace

TEST(Frame, wholeWaveFrameInOrder) {
    const Settings s = sceneSettings(kWave1, 3, 2);
    Scene scene(steppingClock(1000, 5));
    initSceneState(scene, s);

    // What the scene part of a flat first frame must be: the grid's own draw.
    GridMesh flat;
    flat.rebuild(s);
    glrec::reset();
    flat.draw(s);
    const std::vector<glrec::Call> gridCalls = glrec::calls();

    const Frame first = runFrame(scene, s);
    const std::vector<glrec::Call> head = {
        {"glClear", {GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT}},
        {"glLoadIdentity", {}},
        {"glTranslatef", {0, 0, -300}},
        {"glRotatef", {0, 1, 0, 0}},
        {"glRotatef", {0, 0, 1, 0}},
        {"glRotatef", {0, 0, 0, 1}},
        {"glScalef", {1, 1, 1}},
        {"glTranslatef", {-512, -384, 0}},
    };
    ASSERT_EQ(first.calls.size(), head.size() + gridCalls.size() + 1);
    for (std::size_t k = 0; k < head.size(); ++k)
        EXPECT_EQ(first.calls[k], head[k]) << k << ": " << glrec::toString(first.calls[k]);
    for (std::size_t k = 0; k < gridCalls.size(); ++k)
        ASSERT_EQ(first.calls[head.size() + k], gridCalls[k]) << k;
    EXPECT_EQ(first.calls.back().name, "glFlush");
    EXPECT_EQ(first.swaps, 1);
    EXPECT_EQ(first.callsAtSwap, first.calls.size()); // presented last, after the flush

    // The second frame is placed by the camera the first frame moved.
    const Frame second = runFrame(scene, s);
    const CameraView v = viewOf(second);
    EXPECT_NEAR(v.rotX, 20.0f * 15 / 900, 1e-5);
    EXPECT_NEAR(v.rotY, 0.384f, 1e-5);
    EXPECT_NEAR(v.rotZ, 2.25f, 1e-5);
    EXPECT_NEAR(v.zoom, 0.0525f, 1e-6);
    EXPECT_EQ(second.calls[6], (glrec::Call{"glScalef", {v.zoom, v.zoom, v.zoom}}));
    EXPECT_EQ(second.swaps, 1);

    // The texture is bound once before the first frame, never by a frame; and
    // a platform with nothing to present may pass no swap at all.
    renderFrame(scene, s, kelvara::PresentFrame{});
    for (const Frame* f : {&first, &second})
        for (const glrec::Call& c : f->calls)
            EXPECT_EQ(c.name.find("Texture"), std::string::npos) << glrec::toString(c);
}

TEST(Frame, waveFrameShowsThePreviousFramesHeights) {
    const Settings s = sceneSettings(kWave3, 10, 8);
    // Readings 7 ms apart: creation takes 1000 and 1007; each frame takes two for
    // its interval and then a fresh one after the draw for the wave's time.
    Scene scene(steppingClock(1000, 7));
    initSceneState(scene, s);

    auto heightsAt = [&s](float seconds) {
        GridMesh grid;
        grid.rebuild(s);
        applyWave(grid, s, seconds);
        glrec::reset();
        grid.draw(s);
        Frame f{glrec::calls()};
        return drawnHeights(f);
    };

    const std::vector<float> first = drawnHeights(runFrame(scene, s));
    ASSERT_EQ(first.size(), 9u * 7u * 4u);
    for (const float z : first)
        ASSERT_EQ(z, 0.0f);
    EXPECT_EQ(drawnHeights(runFrame(scene, s)), heightsAt(0.028f));
    EXPECT_EQ(drawnHeights(runFrame(scene, s)), heightsAt(0.049f));
}

TEST(Frame, explodeStartsFromAnEmptyList) {
    const Settings s; // Explode on 25 x 19
    Scene scene(steppingClock(0, 16));
    scene.shards.items().resize(3); // left over from somewhere: the set-up empties the list
    initSceneState(scene, s);

    // First frame: nothing to draw; its step cuts the picture.
    const Frame first = runFrame(scene, s);
    EXPECT_EQ(first.calls.size(), 9u) << "only clear, identity, camera and flush";
    ASSERT_EQ(scene.shards.size(), 475u);
    for (const Shard& sh : scene.shards.items())
        EXPECT_FALSE(sh.launched);

    // Second frame: the intact picture, every cell at its centre, unturned.
    const Frame second = runFrame(scene, s);
    const auto places = shardPlaces(second);
    ASSERT_EQ(places.size(), 475u);
    const float w = 1024.0f / 25, h = 768.0f / 19;
    for (int i = 0; i < 25; ++i)
        for (int j = 0; j < 19; ++j) {
            const auto& [x, y, z] = places[std::size_t(i) * 19 + std::size_t(j)];
            EXPECT_NEAR(x, (i + 0.5f) * w, 1e-3);
            EXPECT_NEAR(y, (j + 0.5f) * h, 1e-3);
            EXPECT_EQ(z, 0.0);
        }
    for (std::size_t k = 8; k < second.calls.size(); ++k) {
        if (second.calls[k].name == "glRotatef") {
            ASSERT_EQ(second.calls[k].args[0], 0.0) << "a shard was drawn turned";
        }
    }
}

TEST(Frame, zeroIntervalMovesNothing) {
    const Settings s = sceneSettings(kExplode, 5, 4);
    auto now = std::make_shared<double>(0);
    Scene scene([now] { return *now; });
    initSceneState(scene, s);

    // Run with time passing until shards fly.
    for (int frame = 0; frame < 60; ++frame) {
        *now += 20;
        runFrame(scene, s);
    }
    const Frame moving = runFrame(scene, s);
    ASSERT_GT(shardPlaces(moving).size(), 0u);

    // The clock stops: every later frame measures 0 s.
    const Frame stopped = runFrame(scene, s);
    const Frame still = runFrame(scene, s);
    const auto before = shardPlaces(stopped);
    const std::set<std::tuple<double, double, double>> known(before.begin(), before.end());
    for (const auto& place : shardPlaces(still))
        EXPECT_TRUE(known.count(place))
            << "a shard moved in a frame of 0 s"; // children start at a parent's place
    const CameraView a = viewOf(stopped), b = viewOf(still), c = viewOf(runFrame(scene, s));
    EXPECT_EQ(std::tie(b.rotX, b.rotY, b.rotZ, b.zoom), std::tie(c.rotX, c.rotY, c.rotZ, c.zoom));
    EXPECT_NE(a.rotZ, viewOf(moving).rotZ);

    // The same check sees motion when time does pass.
    *now += 30;
    const auto placesBefore = shardPlaces(runFrame(scene, s));
    const std::set<std::tuple<double, double, double>> lastKnown(placesBefore.begin(), placesBefore.end());
    const auto placesAfter = shardPlaces(runFrame(scene, s));
    EXPECT_TRUE(std::any_of(placesAfter.begin(), placesAfter.end(),
                            [&](const auto& p) { return !lastKnown.count(p); }));
}

TEST(Frame, cameraHeldStillOrAtFixedValues) {
    struct Case {
        const char* what;
        int32_t enableMovement;
        float rotX0, rotX1, zoom0, zoom1;
        CameraView fromSecondFrame;
    };
    const Case cases[] = {
        {"movement off", 0, 10, 30, 25, 20, {0, 0, 0, 1}},
        {"held tilt", 1, 30, 0, 25, 20, {30, 0.384f, 2.25f, 0.0525f}},
        {"held zoom 1.4", 1, 10, 30, 14, 0, {0.333333f, 0.384f, 2.25f, 1.4f}},
        {"held zoom 1", 1, 10, 30, 10, 0, {0.333333f, 0.384f, 2.25f, 1}},
        {"no tilt amplitude", 1, 0, 30, 25, 20, {0, 0.384f, 2.25f, 0.0525f}},
        {"zoom that cannot swing", 1, 10, 30, 5, 20, {0.333333f, 0.384f, 2.25f, 0.5f}},
        {"zoom to a point", 1, 10, 30, 0, 0, {0.333333f, 0.384f, 2.25f, 0}},
    };
    for (const Case& k : cases) {
        // Mode 7: the grid is drawn but has no wave, so it stays flat.
        Settings s = sceneSettings(7, 3, 3);
        s.enableMovement = k.enableMovement;
        s.rotX0 = k.rotX0;
        s.rotX1 = k.rotX1;
        s.zoom0 = k.zoom0;
        s.zoom1 = k.zoom1;
        auto now = std::make_shared<double>(0);
        Scene scene([now] { return *now; });
        initSceneState(scene, s);

        const CameraView first = viewOf(runFrame(scene, s));
        EXPECT_EQ(std::tie(first.rotX, first.rotY, first.rotZ, first.zoom),
                  std::make_tuple(0.f, 0.f, 0.f, 1.f))
            << k.what;
        *now += 1; // a tiny first step keeps the swinging values near their first ones
        const Frame second = runFrame(scene, s);
        const CameraView v = viewOf(second);
        EXPECT_NEAR(v.rotX, k.fromSecondFrame.rotX, 1e-4) << k.what;
        EXPECT_NEAR(v.rotY, k.fromSecondFrame.rotY, 1e-4) << k.what;
        EXPECT_NEAR(v.rotZ, k.fromSecondFrame.rotZ, 1e-4) << k.what;
        EXPECT_NEAR(v.zoom, k.fromSecondFrame.zoom, 1e-5) << k.what;
        for (int frame = 0; frame < 4; ++frame) {
            *now += 400;
            const Frame f = runFrame(scene, s);
            const CameraView later = viewOf(f);
            if (k.enableMovement == 0) {
                EXPECT_EQ(std::tie(later.rotX, later.rotY, later.rotZ, later.zoom),
                          std::make_tuple(0.f, 0.f, 0.f, 1.f));
            }
            if (k.rotX1 < 1 || k.rotX0 == 0) {
                EXPECT_EQ(later.rotX, k.rotX0) << k.what;
            }
            if (k.zoom1 < 1 || k.zoom0 <= 10) {
                EXPECT_FLOAT_EQ(later.zoom, k.zoom0 / 10) << k.what;
            }
            for (const float z : drawnHeights(f))
                ASSERT_EQ(z, 0.0f) << k.what;
        }
    }
}

TEST(Frame, scenesSideBySideAreIndependent) {
    // One scene alone, then two more whose frames interleave: all three must
    // draw the same, so nothing of a scene lives outside it.
    for (const int32_t mode : {kExplode, kWave2}) {
        const Settings s = sceneSettings(mode, 4, 3);
        auto makeScene = [&s] {
            auto scene = std::make_unique<Scene>(steppingClock(500, 9));
            initSceneState(*scene, s);
            return scene;
        };
        auto alone = makeScene();
        std::vector<std::vector<glrec::Call>> reference;
        for (int frame = 0; frame < 120; ++frame)
            reference.push_back(runFrame(*alone, s).calls);

        auto left = makeScene();
        auto right = makeScene();
        for (int frame = 0; frame < 120; ++frame) {
            ASSERT_EQ(runFrame(*left, s).calls, reference[frame]) << "mode " << mode << " frame " << frame;
            ASSERT_EQ(runFrame(*right, s).calls, reference[frame]) << "mode " << mode << " frame " << frame;
        }
    }
}

TEST(Frame, waveFrameAllocatesNothing) {
    const Settings s = sceneSettings(kWave1, 25, 19);
    Scene scene(steppingClock(0, 3));
    initSceneState(scene, s);
    const kelvara::PresentFrame swap = [] {};
    glrec::setMode(glrec::Mode::Count); // the recording log would allocate
    renderFrame(scene, s, swap);
    const std::size_t allocations = kelvara::testing::allocationsDuring([&] {
        for (int frame = 0; frame < 5; ++frame)
            renderFrame(scene, s, swap);
    });
    glrec::setMode(glrec::Mode::Record);
    EXPECT_EQ(allocations, 0u);
}
