#pragma once

#include <cstdint>

#include "capture/capture_buffer.h"
#include "display/native_display.h"
#include "settings/settings.h"

namespace kelvara {

// The desktop's picture for a run drawing into `window`, a window someone
// else made (XScreenSaver's, -window-id, a preview), scaled to captureSize
// into `out`, over the calling thread's `connection`. XScreenSaver covers the
// screen before it starts a program, so the desktop it saved just before is
// taken from the window's _SCREENSAVER_SCREENSHOT pixmap; the screen itself
// only when the window has none and is not the daemon's. `namedByScreenSaver`: the window came from
// XSCREENSAVER_WINDOW. On XScreenSaver's windows the user's "Grab Desktop
// Images" choice is honoured: off, the logo is shown.
// Provided on X11: screenshot_x11.cpp.
CaptureOutcome captureHandedWindow(NativeDisplay connection, CaptureBuffer& out, const Settings& settings,
                                   bool preview, uint64_t window, bool namedByScreenSaver);

} // namespace kelvara
