#pragma once

#include <cstdint>

#include "gfx/capture_buffer.h"

namespace kelvara {

// A picture in a window system's own pixel layout: `bytesPerPixel` bytes per
// pixel (1 to 4) in the given byte order, rows `bytesPerLine` apart, top row
// first; each channel is the bits of its mask.
struct PackedImage {
    const uint8_t* data = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t bytesPerLine = 0;
    int32_t bytesPerPixel = 0;
    bool msbFirst = false;
    uint32_t redMask = 0;
    uint32_t greenMask = 0;
    uint32_t blueMask = 0;
};

// Scales `image` to width x height into `out` (rows top first, BGR, no
// padding) with an area filter: each output pixel is the mean of the source
// area it covers, partly covered source pixels weighted by their share, so a
// reduction neither drops pixels nor aliases. Enlarging repeats pixels.
// Returns false and leaves `out` empty for an unusable image (no pixels, a
// pixel size outside 1..4, every mask 0 as in a palette picture) or size.
bool scaleToCapture(const PackedImage& image, int32_t width, int32_t height, CaptureBuffer& out);

} // namespace kelvara
