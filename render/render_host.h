#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "capture/capture_buffer.h"
#include "display/display_power.h"
#include "render/frame_pacer.h"
#include "render/render_thread.h"
#include "settings/settings.h"

namespace kelvara {

// A window of the platform's window system: an HWND on Windows, an X11 Window
// id on X11.
using NativeWindow = std::uintptr_t;

// The running render thread; its contents are the platform's.
class RenderThread;

struct RenderThreadOptions {
    bool waitForRetrace = true;  // present on the vertical retrace where the platform offers it
    // Frames a second at most: kMaxFpsDisplayRate holds them to the display's
    // refresh where the retrace wait does not, 0 lets them run free.
    int maxFps = kMaxFpsDisplayRate;
    // Tells the thread when the display is off, so it stops drawing; it must
    // outlive the thread. Null: the platform's own watch (the X server's DPMS
    // state), or none (Windows, where the window is told instead).
    DisplayPowerSource* displayPower = nullptr;
    FrameObserver observer;       // called on the render thread after every frame
    bool showFrameRate = false;   // frames per second and frame time in a corner, where the platform can
    FrameStats* stats = nullptr;  // filled on the render thread; read it after joinRenderThread
    // Called on the render thread when it gets no GL context to draw with (its
    // reason already said in one line); the thread then ends without drawing.
    // Without it the thread waits for renderRunning to drop.
    std::function<void()> cannotDraw;
    // Called on the render thread with the random preset it applied to its
    // own copy of the settings, before the first frame.
    PresetObserver presetPicked;
};

// What a render thread that got no GL context does (its reason already said):
// tells the host through `cannotDraw`, which ends the run; without it, waits
// for renderRunning to drop.
void giveUpDrawing(const RenderThreadOptions& options);

// Starts the thread that draws into `window`: it makes a double-buffered RGBA
// context with depth (the best format by pixelFormatScore), seeds its random
// source from the millisecond clock and runs runMonitorScenes over `monitors`
// (one scene per monitor, each in its viewport; one monitor with an empty
// viewport fills the window) until renderRunning is 0, then releases the
// context. The thread draws from its own copy of `settings`; the monitors and
// their pictures become the thread's. renderRunning must be 1 already.
// `threadPriority` is a step of the Priority table's thread column. Returns
// null when no thread could be started. Provided per platform:
// gl_context_win32.cpp, gl_context_glx.cpp.
RenderThread* startRenderThread(NativeWindow window, const Settings& settings, std::vector<MonitorDraw> monitors,
                                int threadPriority, const RenderThreadOptions& options = {});

// One picture over the whole window: the capture is moved into the thread
// (`capture` is left empty).
RenderThread* startRenderThread(NativeWindow window, const Settings& settings, CaptureBuffer& capture,
                                int threadPriority, const RenderThreadOptions& options = {});

// The monitor list of one picture over the whole window, taken from `capture`
// (which is left empty).
std::vector<MonitorDraw> wholeWindow(CaptureBuffer& capture);

// Waits up to timeoutMs for the thread to leave its loop and release its
// context (renderRunning must be 0 by then), and frees the handle. Returns
// false when the thread was still running at the timeout; it is then left to
// end with the process.
bool joinRenderThread(RenderThread* thread, unsigned timeoutMs);

} // namespace kelvara
