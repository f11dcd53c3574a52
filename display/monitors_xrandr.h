#pragma once

#include <X11/Xlib.h>

#include <vector>

#include "display/monitors.h"

namespace kelvara {

// The monitors of `display`'s default screen, as listMonitors describes them,
// over the connection of the thread that asks (see native_display.h).
std::vector<Monitor> listMonitorsOn(Display* display);

} // namespace kelvara
