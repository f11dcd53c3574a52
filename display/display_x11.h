#pragma once

// What the render thread asks the X server about the display: whether it is
// lit and how often it refreshes. X11 builds only.
#include <X11/Xlib.h>

#include <memory>

#include "display/display_power.h"

namespace kelvara {

// How often the DPMS state is asked for while the display is lit: a round
// trip to the server, so about once a second.
inline constexpr double kDpmsCheckMs = 1000.0;

// The DPMS state of `display`'s monitors, asked on that connection (which the
// caller's thread alone must use). Standby, suspend and off all count as off.
// Null when the server has no DPMS or its monitors cannot sleep (Xvfb, the
// dummy driver): nothing to watch then.
std::unique_ptr<DisplayPowerSource> makeDpmsSource(Display* display);

// The refresh rate of the monitor that shows the middle of `window`, from
// RandR's current mode (the screen's configured rate on servers without
// monitors of their own), in hertz; 0 when the server does not say.
double refreshRateHz(Display* display, Window window);

} // namespace kelvara
