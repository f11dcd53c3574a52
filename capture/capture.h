#pragma once

#include <memory>
#include <vector>

#include "capture/capture_buffer.h"
#include "capture/capture_scale.h"
#include "display/monitors.h"
#include "display/native_display.h"
#include "settings/settings.h"

namespace kelvara {

// Largest picture side the capture makes. The dialog offers up to 2048; a stored
// value can hold anything, and 4096 x 4096 is already 48 MiB of buffer.
inline constexpr int32_t kMaxCaptureSide = 4096;

struct CaptureSize {
    int32_t width = 0;
    int32_t height = 0;
};

// The size the desktop is captured (and the screen texture built) at: 128 x 64
// in a preview whatever the settings say, else the texture size settings,
// each brought into 1..kMaxCaptureSide. The settings themselves never change.
CaptureSize captureSize(const Settings& settings, bool preview);

// The whole desktop as one grab, before it is cut: the pixels in the window
// system's own layout and the rectangle of the desktop they show.
struct DesktopGrab {
    PackedImage pixels;
    ScreenRect area;            // desktop coordinates of the picture (x, y may be negative)
    std::shared_ptr<void> keep; // owns the pixels
};

// Takes every monitor's desktop as it looks now, in one picture, over the
// calling thread's `connection` (see native_display.h). Returns false (the
// reason on stderr where the platform has one) when it cannot. Must run before
// the saver's window is shown, or the picture is that window.
// Provided per platform: capture_win32.cpp, capture_x11.cpp.
bool grabDesktop(NativeDisplay connection, DesktopGrab& out);

// One grab of the desktop, then for each rectangle of `cuts` (desktop
// coordinates) its own picture at captureSize through cutAndScale, in the
// order given. A cut that shows none of the grab gets an empty buffer (see
// holdsPicture). Empty when the desktop could not be taken.
std::vector<CaptureBuffer> captureMonitors(NativeDisplay connection, const std::vector<ScreenRect>& cuts,
                                           const Settings& settings, bool preview);

// Each view's own picture of the desktop at captureSize: captureMonitors over
// the views' desktop rectangles, in the views' order.
std::vector<CaptureBuffer> captureViews(NativeDisplay connection, const std::vector<MonitorView>& views,
                                        const Settings& settings, bool preview);

// The whole desktop (every monitor) as one picture at captureSize into `out`.
// Returns false and leaves `out` empty when it cannot; the scene is then
// drawn with the logo.
bool captureDesktop(NativeDisplay connection, CaptureBuffer& out, const Settings& settings, bool preview);

} // namespace kelvara
