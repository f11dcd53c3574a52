#pragma once

#include <X11/Xlib.h>

#include <vector>

#include "display/monitors.h"

namespace kelvara {

// listMonitors over a connection the caller already has, for a host that must
// not open and close connections while other threads set up theirs.
std::vector<Monitor> listMonitorsOn(Display* display);

} // namespace kelvara
