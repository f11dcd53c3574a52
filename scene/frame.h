#pragma once

#include <functional>

#include "scene/camera.h"
#include "scene/explode.h"
#include "scene/frame_timer.h"
#include "scene/grid_mesh.h"
#include "scene/random.h"
#include "scene/wave.h"
#include "settings/settings.h"

namespace kelvara {

// Everything the render thread's scene owns, in one value: two scenes side by
// side are independent, and a test can build one without globals.
struct Scene {
    explicit Scene(ClockMs clock = platformNowMs) : timer(std::move(clock)) {}

    GridMesh grid;
    ShardList shards;
    Camera camera;
    FrameTimer timer;
    Rng rng;
    WaveCentre waveCentre;
};

// Presents the back buffer; the platform supplies it (a buffer swap on a
// window, nothing off-screen).
using PresentFrame = std::function<void()>;

// One frame: clear, measure the interval, place the camera, draw and advance the
// explode or the wave, move the camera, flush and present. Never sleeps, binds
// no texture and never changes the view mode.
void renderFrame(Scene& scene, const Settings& settings, const PresentFrame& swap);

// renderFrame's middle: everything after the clear and before the flush, for
// a caller that clears and presents once for several scenes.
void drawFrame(Scene& scene, const Settings& settings);

} // namespace kelvara
