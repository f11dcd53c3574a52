#pragma once

#include "render/render_thread.h"

namespace kelvara {

// What the X11 host reads from one GLX frame-buffer configuration, in plain
// terms so the translation can be tested without a display.
struct GlxConfigTraits {
    bool rgba = false;          // GLX_RENDER_TYPE has GLX_RGBA_BIT
    bool drawsToWindow = false; // GLX_DRAWABLE_TYPE has GLX_WINDOW_BIT and a visual exists
    bool doubleBuffered = false;
    int redBits = 0;
    int greenBits = 0;
    int blueBits = 0;
    int depthBits = 0;
    bool slowCaveat = false;          // GLX_CONFIG_CAVEAT is GLX_SLOW_CONFIG
    bool nonConformantCaveat = false; // GLX_CONFIG_CAVEAT is GLX_NON_CONFORMANT_CONFIG
};

// The configuration in the terms pixelFormatScore reads, so one rule picks
// the format on both systems:
// - every GLX configuration supports OpenGL;
// - colour bits are red + green + blue, alpha excluded (an 8-8-8-8
//   configuration gives 24);
// - a configuration the server marks slow is drawn in software; a
//   non-conformant one is fast but not the driver's proper format: partly
//   accelerated; any other is the driver's own, fully accelerated.
PixelFormatInfo pixelFormatFromGlx(const GlxConfigTraits& config);

// The render thread's nice value for a step of the thread-priority table.
// An unprivileged process may lower its threads' priority but never raise it,
// so the steps below normal map to nice 10 and 5 and the rest stay at 0.
int niceForThreadPriority(int threadPriority);

} // namespace kelvara
