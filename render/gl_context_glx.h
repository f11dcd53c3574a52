#pragma once

// GLX helpers shared by the X11 host files; X11 builds only.
#include <GL/glx.h>

#include <memory>

#include "render/render_host.h"

namespace kelvara {

// The best frame-buffer configuration of `screen` by pixelFormatScore (the
// lowest-listed among equals); with `onlyVisual` non-zero only configurations
// of that visual count, as a window's visual is fixed once it exists. False
// when none qualifies.
bool chooseFbConfig(Display* display, int screen, VisualID onlyVisual, GLXFBConfig& chosen);

// The render thread's X connection, GL configuration and context, made ahead
// on a thread of their own. Loading and starting the GL driver is the longest
// step of a saver's start; this way it runs while the host takes the
// desktop's picture and makes its window, and only once per run (the window's
// visual comes from here, not from a second driver start on the host's
// connection).
class GlxSetup;

// Starts preparing for `screen`; with `onlyVisual` non-zero (a window that
// exists already) only that visual's configurations count.
std::shared_ptr<GlxSetup> prepareGlx(int screen, VisualID onlyVisual);

// Waits for the preparation. True with the visual and depth a window must be
// created with; false (the reason already on stderr) when there is no
// connection, no usable configuration or no context.
bool glxReady(GlxSetup& setup, VisualID& visual, int& depth);

// startRenderThread with a prepared connection and context: the thread only
// makes the context current on `window` (which must have the prepared visual).
RenderThread* startRenderThread(NativeWindow window, std::shared_ptr<GlxSetup> setup, const Settings& settings,
                                std::vector<MonitorDraw> monitors, int threadPriority,
                                const RenderThreadOptions& options);
RenderThread* startRenderThread(NativeWindow window, std::shared_ptr<GlxSetup> setup, const Settings& settings,
                                CaptureBuffer& capture, int threadPriority, const RenderThreadOptions& options);

} // namespace kelvara
