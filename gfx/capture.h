#pragma once

#include "gfx/capture_buffer.h"
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

// Takes the whole desktop as it looks now, scaled to captureSize, into `out`
// (rows top first, BGR, no padding). Returns false and leaves `out` empty when
// it cannot (no display, no memory); the scene is then drawn untextured.
// Provided per platform: capture_win32.cpp, capture_x11.cpp.
bool captureDesktop(CaptureBuffer& out, const Settings& settings, bool preview);

} // namespace kelvara
