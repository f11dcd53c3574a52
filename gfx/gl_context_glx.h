#pragma once

// GLX helpers shared by the X11 host files; X11 builds only.
#include <GL/glx.h>

namespace kelvara {

// The best frame-buffer configuration of `screen` by pixelFormatScore (the
// lowest-listed among equals); with `onlyVisual` non-zero only configurations
// of that visual count, as a window's visual is fixed once it exists. False
// when none qualifies.
bool chooseFbConfig(Display* display, int screen, VisualID onlyVisual, GLXFBConfig& chosen);

} // namespace kelvara
