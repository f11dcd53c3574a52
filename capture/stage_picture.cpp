#include "capture/stage_picture.h"

#include <algorithm>
#include <cmath>

namespace kelvara {

namespace {

// Channel masks of a little-endian 32-bit word; premultiplied or not.
bool qimageLayout(uint32_t format, PackedImage& image, bool& premultiplied) {
    image.bytesPerPixel = 4;
    image.msbFirst = false;
    premultiplied = format == kQImageArgb32Premultiplied || format == kQImageRgba8888Premultiplied;
    switch (format) {
    case kQImageRgb32:
    case kQImageArgb32:
    case kQImageArgb32Premultiplied:
        // 0xAARRGGBB words: bytes blue, green, red, alpha.
        image.redMask = 0x00FF0000u;
        image.greenMask = 0x0000FF00u;
        image.blueMask = 0x000000FFu;
        return true;
    case kQImageRgbx8888:
    case kQImageRgba8888:
    case kQImageRgba8888Premultiplied:
        // Bytes red, green, blue, alpha.
        image.redMask = 0x000000FFu;
        image.greenMask = 0x0000FF00u;
        image.blueMask = 0x00FF0000u;
        return true;
    default:
        return false;
    }
}

// Divides each colour byte by the pixel's alpha (the last byte in both
// layouts), so a half-transparent pixel shows its own colour, not a darkened one.
void unpremultiply(PackedImage& image, std::vector<uint8_t>& storage) {
    constexpr int alphaByte = 3;
    storage.resize(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 4u);
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t* from =
            image.data + static_cast<std::size_t>(y) * static_cast<std::size_t>(image.bytesPerLine);
        uint8_t* to =
            storage.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) * 4u;
        for (int32_t x = 0; x < image.width; ++x, from += 4, to += 4) {
            const unsigned alpha = from[alphaByte];
            for (int c = 0; c < 4; ++c) {
                if (c == alphaByte || alpha == 255 || alpha == 0) {
                    to[c] = from[c];
                } else {
                    to[c] = static_cast<uint8_t>(std::min(255u, (from[c] * 255u + alpha / 2) / alpha));
                }
            }
        }
    }
    image.data = storage.data();
    image.bytesPerLine = image.width * 4;
}

} // namespace

bool readRawPicture(const RawPicture& raw, PackedImage& out, std::vector<uint8_t>& storage,
                    std::string& why) {
    bool premultiplied = false;
    if (!qimageLayout(raw.format, out, premultiplied)) {
        why = "picture format " + std::to_string(raw.format) + " cannot be read";
        return false;
    }
    const uint64_t needed =
        raw.height <= 0 || raw.stride < 0
            ? 0
            : static_cast<uint64_t>(raw.stride) * (static_cast<uint64_t>(raw.height) - 1u) +
                  static_cast<uint64_t>(raw.width) * 4u;
    if (raw.width <= 0 || raw.height <= 0 || raw.stride < raw.width * 4 || !raw.bytes || raw.size < needed) {
        why = "a picture of " + std::to_string(raw.width) + "x" + std::to_string(raw.height) + " (stride " +
              std::to_string(raw.stride) + ") in " + std::to_string(raw.size) + " bytes";
        return false;
    }
    out.data = raw.bytes;
    out.width = raw.width;
    out.height = raw.height;
    out.bytesPerLine = raw.stride;
    if (premultiplied) {
        unpremultiply(out, storage);
    }
    return true;
}

std::vector<ScreenRect> stageCuts(const std::vector<ScreenRect>& outputs, int32_t pictureWidth,
                                  int32_t pictureHeight) {
    int64_t left = INT32_MAX, top = INT32_MAX, right = INT32_MIN, bottom = INT32_MIN;
    for (const ScreenRect& r : outputs) {
        if (r.empty()) {
            continue;
        }
        left = std::min<int64_t>(left, r.x);
        top = std::min<int64_t>(top, r.y);
        right = std::max<int64_t>(right, int64_t{r.x} + r.width);
        bottom = std::max<int64_t>(bottom, int64_t{r.y} + r.height);
    }
    std::vector<ScreenRect> cuts(outputs.size());
    if (right <= left || bottom <= top || pictureWidth <= 0 || pictureHeight <= 0) {
        return cuts;
    }
    // Edges map through the same ratio, so neighbouring outputs share their
    // border pixel column exactly and no rounding opens a gap between them.
    const double sx = static_cast<double>(pictureWidth) / static_cast<double>(right - left);
    const double sy = static_cast<double>(pictureHeight) / static_cast<double>(bottom - top);
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const ScreenRect& r = outputs[i];
        if (r.empty()) {
            continue;
        }
        const auto edge = [](int64_t at, int64_t origin, double scale) {
            return static_cast<int32_t>(std::llround(static_cast<double>(at - origin) * scale));
        };
        const int32_t x0 = edge(r.x, left, sx), x1 = edge(int64_t{r.x} + r.width, left, sx);
        const int32_t y0 = edge(r.y, top, sy), y1 = edge(int64_t{r.y} + r.height, top, sy);
        cuts[i] = ScreenRect{x0, y0, x1 - x0, y1 - y0};
    }
    return cuts;
}

} // namespace kelvara
