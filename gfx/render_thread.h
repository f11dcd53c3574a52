#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "gfx/capture_buffer.h"
#include "gfx/frame_stats.h"
#include "scene/frame.h"
#include "settings/settings.h"

namespace kelvara {

// Set to 1 by the window thread just before the render thread starts and to 0
// when the saver ends; the render thread tests it before every frame. Two
// threads touch it, so it is atomic.
extern std::atomic<int> renderRunning;

// What the render thread learns about one pixel format of the window's
// surface. Flag bits are those of the Windows pixel-format descriptor; the GLX
// host translates its visuals into the same terms.
struct PixelFormatInfo {
    uint32_t flags = 0;
    int pixelType = 0; // 0: RGBA
    int colorBits = 0;
    int depthBits = 0;
};

inline constexpr uint32_t kPfdDoubleBuffer = 0x1;
inline constexpr uint32_t kPfdDrawToWindow = 0x4;
inline constexpr uint32_t kPfdSupportOpenGL = 0x20;
inline constexpr uint32_t kPfdGenericFormat = 0x40;
inline constexpr uint32_t kPfdGenericAccelerated = 0x1000;
inline constexpr int kPfdTypeRgba = 0;

// Score of a format the scene can use (RGBA, OpenGL, window, double-buffered):
// colour bits + 2 x depth bits, less half of the colour bits above 16, plus
// 2000 for a hardware format or 1000 for an accelerated generic one. A format
// the scene cannot use scores 0, the score a kept format must beat.
int pixelFormatScore(const PixelFormatInfo& format);

// The 1-based index of the best format in `formats` (formats[0] is index 1),
// the lowest index among equal scores; 0 when none qualifies.
int bestPixelFormat(const std::vector<PixelFormatInfo>& formats);

class FramePacer;
class DisplaySleepGate;

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
};

// Called after every frame with the frame's number (1-based); lets a host count
// or time frames without the scene knowing.
using FrameObserver = std::function<void(uint64_t frame)>;

// Called once with the id of the random preset the loop applied to its own
// record, before the first frame: the host keeps the user's copy and decides
// what to store.
using PresetObserver = std::function<void(int presetId)>;

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
                   uint32_t seed, const std::atomic<int>& running, const FrameObserver& observer = {},
                   FrameStats* stats = nullptr, const PresetObserver& presetPicked = {});

} // namespace kelvara
