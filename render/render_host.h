#pragma once

#include <cstdint>
#include <functional>
#include <memory>
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

// What the platform made ready ahead for the thread that draws into a window:
// on X11 the render thread's own connection and GL context (gl_context_glx.h),
// prepared while the host takes the desktop's picture; nothing elsewhere.
class PreparedContext;

// Where the render thread draws.
struct DrawTarget {
    NativeWindow window = 0;
    std::shared_ptr<PreparedContext> prepared; // X11: required, and of the window's visual
};

// What a render thread that got no GL context does (its reason already said):
// tells the host through `cannotDraw`, which ends the run; without it, waits
// for renderRunning to drop.
void giveUpDrawing(const RenderThreadOptions& options);

// Starts the thread that draws into the target's window: it makes a
// double-buffered RGBA context with depth (the best format by
// pixelFormatScore) or takes the prepared one, seeds its random source from
// the millisecond clock and runs runMonitorScenes over `monitors` (one scene
// per monitor, each in its viewport; one monitor with an empty viewport fills
// the window) until renderRunning is 0, then releases the context. The thread
// draws from its own copy of `settings`; the monitors and their pictures
// become the thread's. renderRunning must be 1 already. `threadPriority` is a
// step of the Priority table's thread column. Returns null when no thread
// could be started. Provided per platform: gl_context_win32.cpp,
// gl_context_glx.cpp.
RenderThread* startRenderThread(const DrawTarget& target, const Settings& settings,
                                std::vector<MonitorDraw> monitors, ThreadPriority threadPriority,
                                const RenderThreadOptions& options = {});

// The monitor list of one picture over the whole window, taken from `capture`
// (which is left empty).
std::vector<MonitorDraw> wholeWindow(CaptureBuffer& capture);

// Waits up to timeoutMs for the thread to leave its loop and release its
// context (renderRunning must be 0 by then), and frees the handle. Returns
// false when the thread was still running at the timeout; it is then left to
// end with the process.
bool joinRenderThread(RenderThread* thread, unsigned timeoutMs);

} // namespace kelvara
