#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "capture/capture_buffer.h"
#include "display/display_power.h"
#include "display/monitors.h"
#include "render/frame_pacer.h"
#include "render/frame_stats.h"
#include "scene/frame.h"
#include "settings/presets.h"
#include "settings/settings.h"

namespace kelvara {

// Set to 1 by the window thread just before the render thread starts and to 0
// when the saver ends; the render thread tests it before every frame. Two
// threads touch it, so it is atomic.
extern std::atomic<int> renderRunning;

// Who draws into a pixel format: the graphics driver itself, the system's own
// renderer with some help from the driver, or the system's renderer alone.
enum class FormatAcceleration { Software, Partial, Full };

// One pixel format of the window's surface, or a request for one, in the
// program's own terms. Each platform maps its own description (a pixel-format
// descriptor, a GLX or EGL configuration) to and from these in its own file,
// so one rule picks the format everywhere.
struct PixelFormatInfo {
    bool rgba = false;          // RGBA colour, not a colour index
    bool openGl = false;        // OpenGL can draw into it
    bool drawsToWindow = false; // a window's surface, not only a bitmap or an off-screen buffer
    bool doubleBuffered = false;
    int colorBits = 0; // red + green + blue, alpha excluded
    int depthBits = 0;
    FormatAcceleration acceleration = FormatAcceleration::Software;
};

// The request made where no format of the window qualifies and the platform
// can be asked for its closest match: double-buffered RGBA for OpenGL on a
// window, 24 colour and 16 depth bits, no software format asked for.
PixelFormatInfo fallbackPixelFormat();

// Score of a format the scene can use (RGBA, OpenGL, window, double-buffered):
// colour bits + 2 x depth bits, less half of the colour bits above 16, plus
// 2000 for a format the driver draws itself or 1000 for one it helps with. A
// format the scene cannot use scores 0, the score a kept format must beat.
int pixelFormatScore(const PixelFormatInfo& format);

// The 1-based index of the best format in `formats` (formats[0] is index 1),
// the lowest index among equal scores; 0 when none qualifies.
int bestPixelFormat(const std::vector<PixelFormatInfo>& formats);

class FramePacer;
class DisplaySleepGate;

// The surfaces of the monitors when each has its own (see RenderSurface).
// Called on the render thread only, with the one GL context current.
class PaneSurfaces {
  public:
    virtual ~PaneSurfaces() = default;
    // Whether monitor `pane` is due (PaneDue, frame_pacer.h); when it is, its
    // surface is made the one drawn into.
    virtual PaneDue begin(std::size_t pane) = 0;
    // What was drawn into monitor `pane`'s surface is done: shown now or as
    // soon as the display is ready for it; never waits for the display.
    virtual void present(std::size_t pane) = 0;
    // No monitor was due: waits (briefly, so the run's end is seen) until one
    // may be.
    virtual void wait() = 0;
};

// The surface the scene draws on: its size in pixels, how to present, and
// when: `pacer` (if any) is told of every presented frame and may sleep to
// hold the frame rate; `sleepGate` (if any) is asked before every frame and
// waits while the display is off.
struct RenderSurface {
    int width = 0;
    int height = 0;
    PresentFrame swap;
    FramePacer* pacer = nullptr;
    DisplaySleepGate* sleepGate = nullptr;
    // A surface of its own for every monitor (Wayland), when `panes` is set:
    // then `swap` is unused, and each frame the loop asks every monitor in
    // turn whether it is due, draws the due ones each into its own surface
    // and presents each on its own; a frame is done once every monitor that is
    // not dark has been drawn. Without it every monitor is drawn into
    // its viewport of the one surface, with one present.
    PaneSurfaces* panes = nullptr;
};

// Called after every frame with the frame's number (1-based); lets a host count
// or time frames without the scene knowing.
using FrameObserver = std::function<void(uint64_t frame)>;

// What the render thread draws on one monitor: where, and from which picture.
struct MonitorDraw {
    ScreenRect viewport;   // in the window, GL window coordinates; empty: the whole surface
    CaptureBuffer capture; // that monitor's desktop at the texture size; freed by the thread
};

// The seed of monitor `index`'s random sequence: the thread's own seed for the
// first monitor (a single monitor draws what it always drew), seeds apart from
// it and from each other for the rest, so no two monitors move alike.
uint32_t monitorSeed(uint32_t seed, std::size_t index);

// Called once with the random preset the loop applied to its own record,
// before the first frame: the host keeps the user's copy and decides what to
// store.
using PresetObserver = std::function<void(Preset preset)>;

// How the render thread runs and whom it tells, handed whole from the session
// to the platform's thread and on to the loop.
struct RenderThreadOptions {
    bool waitForRetrace = true; // present on the vertical retrace where the platform offers it
    // Frames a second at most: kMaxFpsDisplayRate holds them to the display's
    // refresh where the retrace wait does not, 0 lets them run free.
    int maxFps = kMaxFpsDisplayRate;
    // Tells the thread when the display is off, so it stops drawing; it must
    // outlive the thread. Null: the platform's own watch (the X server's DPMS
    // state), or none (Windows, where the window is told instead).
    DisplayPowerSource* displayPower = nullptr;
    FrameObserver observer;      // called on the render thread after every frame
    bool showFrameRate = false;  // frames per second and frame time in a corner, where the platform can
    FrameStats* stats = nullptr; // filled on the render thread; read it after joinRenderThread
    // Called on the render thread when it gets no GL context to draw with (its
    // reason already said in one line); the thread then ends without drawing.
    // Without it the thread waits for renderRunning to drop.
    std::function<void()> cannotDraw;
    // Called on the render thread with the random preset it applied to its
    // own copy of the settings, before the first frame.
    PresetObserver presetPicked;
};

// The render thread's nice value for a step of the thread-priority table.
// An unprivileged process may lower its threads' priority but never raise it,
// so the steps below normal map to nice 10 and 5 and the rest stay at 0.
int niceForThreadPriority(ThreadPriority threadPriority);

// Options that only watch the frames drawn, as the off-screen renderer and
// the tests run the loop.
inline RenderThreadOptions watchingFrames(FrameObserver observer) {
    RenderThreadOptions options;
    options.observer = std::move(observer);
    return options;
}

// The render thread's work once its GL context is current: centre the wave,
// set the viewport, seed the random source (two draws thrown away), apply a
// random preset when randPreset is set, prepare the scene state (the logo when
// useOGL is set), bind the logo or build the screen texture from `capture`
// (freeing it), then draw frames while `running` is non-zero, paced and held
// in the dark as the surface says. Releases the
// textures it made before returning, while the context is still current.
// `stats`, when given, is told the texture's build time and every frame's
// presentation; it belongs to this thread until the function returns.
// `settings` is the loop's own record: a random preset is written into it and
// announced to `presetPicked`.
void runRenderLoop(Scene& scene, Settings& settings, CaptureBuffer& capture, const RenderSurface& surface,
                   uint32_t seed, const std::atomic<int>& running, const RenderThreadOptions& options = {});

// The same for several monitors in one window: a scene of its own for each
// monitor (its own grid or shards, camera and random sequence, seeded by
// monitorSeed; the random preset is drawn from the first and holds for all),
// its own screen texture, drawn into its own viewport every frame after one
// clear of the whole window; one present per frame. The projection's aspect
// stays the fixed one, so each monitor frames the scene as a lone screen of its shape
// would. `scenes` holds one scene per monitor, in the order of `monitors`
// (the first is the primary's). With one monitor whose viewport is the whole
// surface this is exactly the single-monitor loop above.
void runRenderLoop(const std::vector<Scene*>& scenes, Settings& settings, std::vector<MonitorDraw>& monitors,
                   const RenderSurface& surface, uint32_t seed, const std::atomic<int>& running,
                   const RenderThreadOptions& options = {});

// The render thread's entry into the loop above: a scene of its own for each
// monitor, on the platform clock, made and freed here.
void runMonitorScenes(Settings& settings, std::vector<MonitorDraw>& monitors, const RenderSurface& surface,
                      uint32_t seed, const std::atomic<int>& running,
                      const RenderThreadOptions& options = {});

} // namespace kelvara
