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

// The prepared context (render_host.h) here: the render thread's X
// connection, GL configuration and context, made ahead on a thread of their
// own. Loading and starting the GL driver is the longest
// step of a saver's start; this way it runs while the host takes the
// desktop's picture and makes its window, and only once per run (the window's
// visual comes from here, not from a second driver start on the host's
// connection).

// Starts preparing for `screen`; with `onlyVisual` non-zero (a window that
// exists already) only that visual's configurations count.
std::shared_ptr<PreparedContext> prepareGlx(int screen, VisualID onlyVisual);

// Waits for the preparation. True with the visual and depth a window must be
// created with; false (the reason already on stderr) when there is no
// connection, no usable configuration or no context.
bool glxReady(PreparedContext& setup, VisualID& visual, int& depth);

} // namespace kelvara
