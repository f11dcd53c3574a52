#include "gfx/render_thread.h"

#include <thread>

#include "gfx/display_power.h"
#include "gfx/frame_pacer.h"
#include "gfx/resource_texture.h"
#include "gfx/scene_state.h"
#include "gfx/screen_texture.h"
#include "scene/gl.h"
#include "settings/presets.h"

namespace kelvara {

std::atomic<int> renderRunning{0};

int pixelFormatScore(const PixelFormatInfo& f) {
    constexpr uint32_t kNeeded = kPfdSupportOpenGL | kPfdDrawToWindow | kPfdDoubleBuffer;
    if (f.pixelType != kPfdTypeRgba || (f.flags & kNeeded) != kNeeded)
        return 0;
    int score = f.colorBits + 2 * f.depthBits;
    if (f.colorBits > 16)
        score += (16 - f.colorBits) / 2;
    if ((f.flags & kPfdGenericFormat) == 0)
        score += 2000;
    else if ((f.flags & kPfdGenericAccelerated) != 0)
        score += 1000;
    return score;
}

int bestPixelFormat(const std::vector<PixelFormatInfo>& formats) {
    int best = 0;
    int bestScore = 0;
    for (std::size_t i = 0; i < formats.size(); ++i) {
        const int score = pixelFormatScore(formats[i]);
        if (score > bestScore) {
            bestScore = score;
            best = static_cast<int>(i) + 1;
        }
    }
    return best;
}

namespace {

// Nobody saw the dark time: the scene moves on from where it stopped, rather
// than leap by the whole pause, and the pacer starts its deadlines afresh.
void resumeAfterDark(Scene& scene, const RenderSurface& surface) {
    scene.timer.resume();
    if (surface.pacer)
        surface.pacer->resume();
}

} // namespace

void runRenderLoop(Scene& scene, Settings& settings, CaptureBuffer& capture, const RenderSurface& surface,
                   uint32_t seed, const std::atomic<int>& running, const FrameObserver& observer,
                   FrameStats* stats, const PresetObserver& presetPicked) {
    scene.waveCentre = WaveCentre{512.0f, 384.0f};
    glViewport(0, 0, surface.width, surface.height);
    seedRenderRandom(scene.rng, seed);
    // Before the scene state: the preset's grid, mode and movement are what the
    // first frame shows. No preset touches the texture settings, so the capture
    // still matches the screen texture.
    if (settings.randPreset != 0) {
        const int preset = pickRandomPreset(settings, scene.rng);
        if (presetPicked)
            presetPicked(preset);
    }

    initSceneState(scene, settings, [&settings] { setupLogoTexture(LogoTexture, settings); });

    unsigned screenTexture = 0;
    if (settings.useOGL != 0) {
        glBindTexture(GL_TEXTURE_2D, LogoTexture.textureName);
        release(capture); // nothing should have been captured; never keep it
    } else {
        const auto before = FrameStats::Clock::now();
        screenTexture = createScreenTexture(capture, settings);
        if (stats)
            stats->noteUpload(millisecondsBetween(before, FrameStats::Clock::now()));
    }

    uint64_t frame = 0;
    while (running.load(std::memory_order_acquire) != 0) {
        if (surface.sleepGate && surface.sleepGate->waitWhileDark(running)) {
            resumeAfterDark(scene, surface);
            continue;
        }
        renderFrame(scene, settings, surface.swap);
        ++frame;
        if (stats)
            stats->framePresented(FrameStats::Clock::now());
        if (observer)
            observer(frame);
        if (surface.pacer)
            surface.pacer->framePresented();
        // Give up the rest of the time slice, as a saver should.
        std::this_thread::yield();
    }

    if (screenTexture != 0)
        glDeleteTextures(1, &screenTexture);
    LogoTexture.release();
}

} // namespace kelvara
