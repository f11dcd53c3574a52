// The scene rendered off-screen by the render thread's own loop, with a clock
// that advances by a fixed interval per frame: the same seed, settings and
// interval give the same pictures on every run.
#include <algorithm>
#include <atomic>

#include "capture/capture.h"
#include "render/render_thread.h"
#include "scene/gl.h"
#include "tools/offscreen.h"

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

    std::vector<int32_t> wanted = run.captureAt;
    if (wanted.empty()) {
        wanted.push_back(run.frames);
    }
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());

    // The scene's clock reads nowMs: 0 when the scene is made, frame *
    // intervalMs during frame `frame`, so every frame interval is exact. The
    // loop draws a frame and then calls the observer, which reads the picture
    // back and sets the clock for the next frame.
    double nowMs = 0.0;
    Scene scene([&nowMs] { return nowMs; });
    Settings settings = run.settings;
    CaptureBuffer capture;
    if (settings.useOGL == 0) {
        // The size a capture of the desktop would have, bounded like the saver's.
        const CaptureSize size = captureSize(settings, false);
        capture = captureFromImage(desktop, size.width, size.height);
    }

    std::atomic<int> running{1};
    bool sinkFailed = false;
    auto next = wanted.begin();
    const FrameObserver observer = [&](uint64_t frame) {
        if (static_cast<int64_t>(frame) == *next) {
            glFinish();
            if (!sink(*next, context.read(), error)) {
                sinkFailed = true;
                running = 0;
                return;
            }
            ++next;
        }
        nowMs = static_cast<double>(frame + 1) * run.intervalMs;
        if (next == wanted.end()) {
            running = 0;
        }
    };
    // Off-screen there is one buffer and nothing to present.
    const RenderSurface surface{run.width, run.height, [] {}};

    nowMs = run.intervalMs;
    runRenderLoop(scene, settings, capture, surface, run.seed, running, watchingFrames(observer));
    return !sinkFailed;
}

} // namespace kelvara
