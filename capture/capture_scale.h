#pragma once

#include <cstdint>

#include "capture/capture_buffer.h"
#include "display/monitors.h"

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

// The one way a desktop picture becomes a texture's picture, in every build
// and the off-screen renderer: cuts `cut` (pixels of `image`, origin its top
// left corner) out of `image` and scales it to width x height into `out` (rows
// top first, BGR, no padding) with an area filter: each output pixel is the
// mean of the source area it covers, partly covered source pixels weighted by
// their share, so a reduction neither drops pixels nor aliases. Enlarging
// repeats pixels. A cut reaching past the image is clipped to it. Returns false
// and leaves `out` empty for an unusable image (no pixels, a pixel size outside
// 1..4, every mask 0 as in a palette picture), a cut outside the image or a
// size < 1.
bool cutAndScale(const PackedImage& image, const ScreenRect& cut, int32_t width, int32_t height,
                 CaptureBuffer& out);

// The whole image, scaled: cutAndScale with the image's own rectangle.
inline bool scaleToCapture(const PackedImage& image, int32_t width, int32_t height, CaptureBuffer& out) {
    return cutAndScale(image, ScreenRect{0, 0, image.width, image.height}, width, height, out);
}

} // namespace kelvara
