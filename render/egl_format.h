#pragma once

#include "render/render_thread.h"

namespace kelvara {

// What the Wayland host reads from one EGL configuration, in plain terms so
// the translation can be tested without a display.
struct EglConfigTraits {
    bool openGl = false;   // EGL_RENDERABLE_TYPE has EGL_OPENGL_BIT (desktop GL, not only GLES)
    bool window = false;   // EGL_SURFACE_TYPE has EGL_WINDOW_BIT
    bool rgb = false;      // EGL_COLOR_BUFFER_TYPE is EGL_RGB_BUFFER
    int redBits = 0;
    int greenBits = 0;
    int blueBits = 0;
    int alphaBits = 0;
    int depthBits = 0;
    bool slowCaveat = false;          // EGL_CONFIG_CAVEAT is EGL_SLOW_CONFIG
    bool nonConformantCaveat = false; // EGL_CONFIG_CAVEAT is EGL_NON_CONFORMANT_CONFIG
};

// The configuration in the terms pixelFormatScore reads, as the GLX ones
// are (pixelFormatFromGlx): a window surface of EGL is always back-buffered;
// a configuration without desktop OpenGL or a window surface cannot be used.
PixelFormatInfo pixelFormatFromEgl(const EglConfigTraits& config);

// The 1-based index of the configuration to draw with, 0 when none will do:
// the best by pixelFormatScore among those without alpha, so the compositor
// never blends the saver with what lies below it; failing those, the best of
// all (the host then marks its surfaces opaque).
int bestEglConfig(const std::vector<EglConfigTraits>& configs);

} // namespace kelvara
