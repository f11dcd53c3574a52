#pragma once

#include <vector>

#include "render/render_thread.h"

namespace kelvara {

// What a GL driver tells of one of its configurations (a GLX frame-buffer
// configuration on X11, an EGL configuration on Wayland), in plain terms, so
// one rule picks the configuration on both and can be tested without a
// display. Each context file fills it from its own attributes.
struct GlConfigTraits {
    bool openGl = false;         // desktop OpenGL draws into it (every GLX one; EGL: EGL_OPENGL_BIT)
    bool rgba = false;           // RGB colour, not a colour index or luminance
    bool drawsToWindow = false;  // a window's surface (GLX: with a visual of its own)
    bool doubleBuffered = false; // a back buffer (every EGL window surface has one)
    int redBits = 0;
    int greenBits = 0;
    int blueBits = 0;
    int alphaBits = 0;
    int depthBits = 0;
    bool slowCaveat = false;          // the driver marks it slow (GLX_SLOW_CONFIG, EGL_SLOW_CONFIG)
    bool nonConformantCaveat = false; // ... or non-conformant (*_NON_CONFORMANT_CONFIG)
};

// The configuration in the terms pixelFormatScore reads:
// - colour bits are red + green + blue, alpha excluded (an 8-8-8-8
//   configuration gives 24);
// - one the driver marks slow is drawn in software; a non-conformant one is
//   fast but not the driver's proper format: partly accelerated; any other is
//   the driver's own, fully accelerated.
PixelFormatInfo pixelFormatOf(const GlConfigTraits& config);

// The 1-based index of the configuration to draw with, 0 when none will do:
// the best by pixelFormatScore among those without alpha (a compositor blends
// a surface with alpha with what lies below it), the first of equals;
// failing those, the best of all (the host then marks its surfaces opaque).
int bestGlConfig(const std::vector<GlConfigTraits>& configs);

} // namespace kelvara
