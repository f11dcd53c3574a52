#pragma once

// The render thread on Wayland with EGL: desktop OpenGL, one context for
// every output's surface. Wayland builds only.
#include <wayland-client.h>

#include <memory>
#include <vector>

#include "display/connection_wayland.h"
#include "render/render_host.h"

namespace kelvara {

// The EGL display, configuration and context of a run, made on the host's
// thread before anything shows, so a driver that cannot draw is told before
// the desktop is covered.
class EglSetup;

// Null, with one line on stderr naming the call and the reason, when EGL
// cannot give desktop OpenGL on `display` (no EGL for Wayland, a driver that
// offers only OpenGL ES, no usable configuration, no context).
std::shared_ptr<EglSetup> prepareEgl(wl_display* display);

// One output's surface, as the host made and configured it.
struct EglPane {
    wl_surface* surface = nullptr;
    int32_t width = 0; // buffer pixels
    int32_t height = 0;
    double refreshHz = 0.0;                        // 0: unknown
    const std::atomic<bool>* poweredOff = nullptr; // the output is switched off (may be null)
};

// Starts the thread that draws monitor i's scene into panes[i]'s surface and
// presents each surface on its own, paced by the surfaces' frame callbacks
// (and options.maxFps where it asks for fewer frames), never by a blocking
// swap. `setup` becomes the thread's; the surfaces stay the host's and must
// outlive the thread. renderRunning must be 1 already. Null when no thread
// could start.
// joinRenderThread waits for it.
RenderThread* startEglRenderThread(wl_display* display, std::shared_ptr<EglSetup> setup,
                                   std::vector<EglPane> panes, const Settings& settings,
                                   std::vector<MonitorDraw> monitors, ThreadPriority threadPriority,
                                   const RenderThreadOptions& options);

} // namespace kelvara
