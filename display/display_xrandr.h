#pragma once

// Display modes over a connection the caller owns; X11 builds only.
#include <X11/Xlib.h>

#include <memory>

#include "display/display_modes.h"

namespace kelvara {

// The display modes of the primary output of `display`'s default screen, asked
// over that connection, which stays the caller's: the backend never closes it,
// and it must outlive the backend. The host's thread alone may use it.
// systemDisplay() is the same over a connection of its own, for a run with no
// host (listing the modes).
std::unique_ptr<DisplayBackend> makeXrandrDisplay(Display* display);

} // namespace kelvara
