// The scene rendered off-screen, set up exactly as the render thread sets it
// up, with a clock that advances by a fixed interval per frame: the same seed,
// settings and interval give the same pictures on every run.
#include <algorithm>

#include "gfx/offscreen.h"
#include "gfx/resource_texture.h"
#include "gfx/scene_state.h"
#include "gfx/screen_texture.h"
#include "scene/frame.h"
#include "scene/gl.h"
#include "settings/presets.h"

namespace kelvara {

bool renderOffscreen(const OffscreenRun& run, const RgbImage& desktop, const FrameSink& sink,
                     std::string& error) {
    if (!validateRun(run, error)) {
        return false;
    }
    if (run.settings.useOGL == 0 && !holdsPicture(desktop)) {
        error = "no picture to show";
        return false;
    }
    OffscreenContext context;
    if (!context.create(run.width, run.height, error)) {
        return false;
    }

    // Destroyed before the context, while its texture can still be deleted.
    ResourceTexture logo;

    // The scene's clock reads nowMs; it is 0 when the scene is made and
    // frame * intervalMs during each frame, so every frame interval is exact.
    double nowMs = 0.0;
    Scene scene([&nowMs] { return nowMs; });
    Settings settings = run.settings;

    // The render thread's start-up, in its order.
    glViewport(0, 0, run.width, run.height);
    seedRenderRandom(scene.rng, run.seed);
    if (settings.randPreset != 0) {
        pickRandomPreset(settings, scene.rng);
    }
    initSceneState(scene, settings, [&logo, &settings] { setupLogoTexture(logo, settings); });
    if (settings.useOGL == 0) {
        CaptureBuffer buffer =
            captureFromImage(desktop, settings.screenTextureWidth, settings.screenTextureHeight);
        createScreenTexture(buffer, settings);
    }

    std::vector<int32_t> wanted = run.captureAt;
    if (wanted.empty()) {
        wanted.push_back(run.frames);
    }
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());

    // Off-screen there is one buffer and nothing to present.
    const PresentFrame present = [] {};
    auto next = wanted.begin();
    for (int32_t frame = 1; frame <= run.frames && next != wanted.end(); ++frame) {
        nowMs = frame * run.intervalMs;
        renderFrame(scene, settings, present);
        if (frame == *next) {
            glFinish();
            if (!sink(frame, context.read(), error)) {
                return false;
            }
            ++next;
        }
    }
    return true;
}

} // namespace kelvara
