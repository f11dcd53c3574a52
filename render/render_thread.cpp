#include "render/render_thread.h"

#include <chrono>
#include <memory>
#include <thread>

#include "display/display_power.h"
#include "render/frame_pacer.h"
#include "render/render_host.h"
#include "render/resource_texture.h"
#include "render/scene_state.h"
#include "render/screen_texture.h"
#include "scene/gl.h"
#include "settings/presets.h"

namespace kelvara {

std::atomic<int> renderRunning{0};

PixelFormatInfo fallbackPixelFormat() {
    PixelFormatInfo request;
    request.rgba = true;
    request.openGl = true;
    request.drawsToWindow = true;
    request.doubleBuffered = true;
    request.colorBits = 24;
    request.depthBits = 16;
    request.acceleration = FormatAcceleration::Full;
    return request;
}

int pixelFormatScore(const PixelFormatInfo& f) {
    if (!f.rgba || !f.openGl || !f.drawsToWindow || !f.doubleBuffered)
        return 0;
    int score = f.colorBits + 2 * f.depthBits;
    if (f.colorBits > 16)
        score += (16 - f.colorBits) / 2;
    if (f.acceleration == FormatAcceleration::Full)
        score += 2000;
    else if (f.acceleration == FormatAcceleration::Partial)
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

int niceForThreadPriority(ThreadPriority threadPriority) {
    if (threadPriority == ThreadPriority::Lowest)
        return 10;
    if (threadPriority == ThreadPriority::BelowNormal)
        return 5;
    return 0;
}

uint32_t monitorSeed(uint32_t seed, std::size_t index) {
    // Steps of the golden ratio's 32-bit fraction: odd, so the first 2^32
    // monitors all differ, and never 2^31, the one step the generator's draws
    // cannot see (they leave out the state's top bit).
    return seed + static_cast<uint32_t>(index) * 0x9E3779B9u;
}

namespace {

// One monitor as the loop works on it.
struct Pane {
    Scene* scene = nullptr;
    CaptureBuffer* capture = nullptr;
    ScreenRect viewport;
    unsigned texture = 0; // the screen texture made for it, or 0
};

void setViewport(const ScreenRect& r) {
    glViewport(r.x, r.y, r.width, r.height);
}

// Everything before the first frame, down to the texture each pane draws with.
void prepare(std::vector<Pane>& panes, ResourceTexture& logo, Settings& settings, uint32_t seed,
             const RenderThreadOptions& options) {
    for (Pane& pane : panes)
        pane.scene->waveCentre = WaveCentre{512.0f, 384.0f};
    setViewport(panes[0].viewport);
    for (std::size_t i = 0; i < panes.size(); ++i)
        seedRenderRandom(panes[i].scene->rng, monitorSeed(seed, i));
    // Before the scene state: the preset's grid, mode and movement are what the
    // first frame shows, on every monitor. No preset touches the texture
    // settings, so the capture still matches the screen texture.
    if (settings.randPreset != 0) {
        const Preset preset = presetForDraw(panes[0].scene->rng.next());
        applyPreset(settings, preset);
        if (options.presetPicked)
            options.presetPicked(preset);
    }

    // The fixed GL state is the same for all; the logo is built once.
    for (std::size_t i = 0; i < panes.size(); ++i)
        initSceneState(*panes[i].scene, settings,
                       i == 0 ? LogoTextureSetUp([&settings, &logo] { setupLogoTexture(logo, settings); })
                              : LogoTextureSetUp());

    if (settings.useOGL != 0) {
        glBindTexture(GL_TEXTURE_2D, logo.textureName);
        for (Pane& pane : panes) {
            release(*pane.capture); // nothing should have been captured; never keep it
            pane.texture = logo.textureName;
        }
        return;
    }
    const auto before = FrameStats::Clock::now();
    for (Pane& pane : panes)
        pane.texture = createScreenTexture(*pane.capture, settings);
    if (options.stats)
        options.stats->noteUpload(millisecondsBetween(before, FrameStats::Clock::now()));
}

// One frame over several monitors: one clear of the whole window, each scene
// in its own viewport and scissor box, one flush and one present.
void drawPanes(std::vector<Pane>& panes, const Settings& settings, const RenderSurface& surface) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // The viewport clips the scenes' polygons, but not what a driver widens
    // past its edge (points, lines, smoothing): the scissor keeps every
    // monitor's pixels its own.
    glEnable(GL_SCISSOR_TEST);
    for (Pane& pane : panes) {
        setViewport(pane.viewport);
        glScissor(pane.viewport.x, pane.viewport.y, pane.viewport.width, pane.viewport.height);
        glBindTexture(GL_TEXTURE_2D, pane.texture);
        drawFrame(*pane.scene, settings);
    }
    glDisable(GL_SCISSOR_TEST);
    glFlush();
    // What the platform draws at the present (a frame counter) goes on the
    // primary monitor.
    setViewport(panes[0].viewport);
    if (surface.swap)
        surface.swap();
}

// Where every monitor has its own surface: the due ones drawn and presented
// each on its own, so a monitor that shows nothing (hidden, off) holds up no
// other. A frame is done once every monitor but the dark ones has been drawn
// since the last: outputs of different rates count at the slowest one's.
class PaneRounds {
  public:
    explicit PaneRounds(std::size_t count) : drawn_(count, false) {}

    // One pass over the monitors; true when it completed a frame.
    bool draw(std::vector<Pane>& panes, const Settings& settings, PaneSurfaces& surfaces) {
        bool drewAny = false;
        bool done = true;
        for (std::size_t i = 0; i < panes.size(); ++i) {
            const PaneDue due = surfaces.begin(i);
            if (due == PaneDue::Dark)
                continue;
            if (due != PaneDue::Wait) {
                drawPane(panes[i], settings, due == PaneDue::AfterDark);
                surfaces.present(i);
                drawn_[i] = true;
                drewAny = true;
            }
            done = done && drawn_[i];
        }
        if (!drewAny) {
            surfaces.wait();
            return false;
        }
        if (done)
            drawn_.assign(drawn_.size(), false);
        return done;
    }

  private:
    static void drawPane(Pane& pane, const Settings& settings, bool afterDark) {
        if (afterDark)
            pane.scene->timer.resume();
        setViewport(pane.viewport);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glBindTexture(GL_TEXTURE_2D, pane.texture);
        drawFrame(*pane.scene, settings);
        glFlush();
    }

    std::vector<bool> drawn_;
};

// Nobody saw the dark time: the scenes move on from where they stopped, rather
// than leap by the whole pause, and the pacer starts its deadlines afresh.
void resumeAfterDark(std::vector<Pane>& panes, const RenderSurface& surface) {
    for (Pane& pane : panes)
        pane.scene->timer.resume();
    if (surface.pacer)
        surface.pacer->resume();
}

void runPanes(std::vector<Pane>& panes, Settings& settings, const RenderSurface& surface, uint32_t seed,
              const std::atomic<int>& running, const RenderThreadOptions& options) {
    for (Pane& pane : panes)
        if (pane.viewport.empty())
            pane.viewport = ScreenRect{0, 0, surface.width, surface.height};
    // The loop's own, released below while the context is still current.
    ResourceTexture logo;
    prepare(panes, logo, settings, seed, options);

    const bool several = panes.size() > 1;
    PaneRounds rounds(panes.size());
    uint64_t frame = 0;
    while (running.load(std::memory_order_acquire) != 0) {
        if (surface.sleepGate && surface.sleepGate->waitWhileDark(running)) {
            resumeAfterDark(panes, surface);
            continue;
        }
        if (surface.panes) {
            if (!rounds.draw(panes, settings, *surface.panes))
                continue;
        } else if (several)
            drawPanes(panes, settings, surface);
        else
            renderFrame(*panes[0].scene, settings, surface.swap);
        ++frame;
        if (options.stats)
            options.stats->framePresented(FrameStats::Clock::now());
        if (options.observer)
            options.observer(frame);
        if (surface.pacer)
            surface.pacer->framePresented();
        // Give up the rest of the time slice, as a saver should.
        std::this_thread::yield();
    }

    for (const Pane& pane : panes)
        if (pane.texture != 0 && pane.texture != logo.textureName)
            glDeleteTextures(1, &pane.texture);
    logo.release();
}

} // namespace

void runRenderLoop(Scene& scene, Settings& settings, CaptureBuffer& capture, const RenderSurface& surface,
                   uint32_t seed, const std::atomic<int>& running, const RenderThreadOptions& options) {
    std::vector<Pane> panes{Pane{&scene, &capture, ScreenRect{0, 0, surface.width, surface.height}}};
    runPanes(panes, settings, surface, seed, running, options);
}

void runRenderLoop(const std::vector<Scene*>& scenes, Settings& settings, std::vector<MonitorDraw>& monitors,
                   const RenderSurface& surface, uint32_t seed, const std::atomic<int>& running,
                   const RenderThreadOptions& options) {
    std::vector<Pane> panes;
    for (std::size_t i = 0; i < monitors.size() && i < scenes.size(); ++i)
        panes.push_back(Pane{scenes[i], &monitors[i].capture, monitors[i].viewport});
    if (panes.empty())
        return;
    runPanes(panes, settings, surface, seed, running, options);
}

void giveUpDrawing(const RenderThreadOptions& options) {
    if (options.cannotDraw) {
        options.cannotDraw();
        return;
    }
    while (renderRunning.load(std::memory_order_acquire) != 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

std::vector<MonitorDraw> wholeWindow(CaptureBuffer& capture) {
    std::vector<MonitorDraw> monitors(1);
    monitors[0].capture = std::move(capture);
    release(capture);
    return monitors;
}

void runMonitorScenes(Settings& settings, std::vector<MonitorDraw>& monitors, const RenderSurface& surface,
                      uint32_t seed, const std::atomic<int>& running, const RenderThreadOptions& options) {
    // On the heap: a thread may have only the default stack.
    std::vector<std::unique_ptr<Scene>> owned;
    std::vector<Scene*> scenes;
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        owned.push_back(std::make_unique<Scene>());
        scenes.push_back(owned.back().get());
    }
    runRenderLoop(scenes, settings, monitors, surface, seed, running, options);
}

} // namespace kelvara
