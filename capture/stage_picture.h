#pragma once

// Pictures that desktop services hand over instead of a per-output copy: raw
// QImage pixels (KWin's screenshot interface) and one picture of the whole
// stage (the desktop portal), cut per output.
#include <cstdint>
#include <string>
#include <vector>

#include "capture/capture_scale.h"
#include "display/monitors.h"

namespace kelvara {

// QImage::Format values that come as 32-bit pixels.
inline constexpr uint32_t kQImageRgb32 = 4;
inline constexpr uint32_t kQImageArgb32 = 5;
inline constexpr uint32_t kQImageArgb32Premultiplied = 6;
inline constexpr uint32_t kQImageRgbx8888 = 16;
inline constexpr uint32_t kQImageRgba8888 = 17;
inline constexpr uint32_t kQImageRgba8888Premultiplied = 18;

// A raw picture as a service describes it: `bytes` holds `height` rows
// `stride` bytes apart of `width` pixels in QImage `format`.
struct RawPicture {
    const uint8_t* bytes = nullptr;
    std::size_t size = 0;
    uint32_t format = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t stride = 0;
};

// The picture as cutAndScale reads it, premultiplied colours divided by their
// alpha (into `storage`, which then holds the pixels). False, with the reason
// in `why`, for a format it cannot read or sizes the bytes do not hold.
bool readRawPicture(const RawPicture& raw, PackedImage& out, std::vector<uint8_t>& storage, std::string& why);

// Each output's rectangle (layout coordinates) in a picture of the whole stage
// `pictureWidth` x `pictureHeight` pixels: the stage is the rectangle around
// all outputs, taken at the picture's scale (the portal takes it at the
// largest output scale). Empty rectangles stay empty.
std::vector<ScreenRect> stageCuts(const std::vector<ScreenRect>& outputs, int32_t pictureWidth,
                                  int32_t pictureHeight);

} // namespace kelvara
