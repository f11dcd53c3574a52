#pragma once

#include <cstdint>
#include <vector>

#include "capture/capture_buffer.h"

namespace kelvara {

// A picture of three bytes a pixel, rows top to bottom, no padding: red, green,
// blue. What PNG files load into and the off-screen renderer reads back.
struct RgbImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgb; // width * height * 3 bytes

    bool empty() const { return width <= 0 || height <= 0 || rgb.empty(); }
};

// True when the image holds exactly width * height * 3 bytes with positive sizes.
bool holdsPicture(const RgbImage& image);

// Scales a three-byte-a-pixel picture to width x height with the capture's own
// area filter (cutAndScale). The channel order is kept, so it serves RGB and
// BGR alike. An inconsistent source or a size <= 0 gives an empty image.
RgbImage scaleImage(const RgbImage& source, int32_t width, int32_t height);

// The picture as the screen texture wants it: scaled to width x height by the
// saver's capture scaler (cutAndScale) and turned into blue, green, red. Empty
// for an inconsistent source or a size <= 0.
CaptureBuffer captureFromImage(const RgbImage& source, int32_t width, int32_t height);

// A built-in stand-in for the desktop whose every flip and turn is visible:
// four coloured quadrants (red top left, green top right, blue bottom left,
// yellow bottom right), a light grid of 16 x 12 cells, a black "F" in the top
// left quadrant, a white arrow in the middle pointing up, and a grey ramp near
// the bottom growing brighter to the right.
RgbImage makeTestPattern(int32_t width, int32_t height);

} // namespace kelvara
