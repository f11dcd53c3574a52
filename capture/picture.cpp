#include "capture/picture.h"

#include <algorithm>

#include "capture/capture_scale.h"

namespace kelvara {

namespace {

// An RGB picture as the capture scaler reads it: three bytes a pixel, red in
// the first (most significant) byte.
PackedImage packedView(const RgbImage& image) {
    return PackedImage{image.rgb.data(), image.width, image.height, image.width * 3, 3, true,
                       0xFF0000u,        0x00FF00u,   0x0000FFu};
}

} // namespace

bool holdsPicture(const RgbImage& image) {
    if (image.width <= 0 || image.height <= 0) {
        return false;
    }
    const auto bytes = static_cast<uint64_t>(image.width) * static_cast<uint64_t>(image.height) * 3u;
    return image.rgb.size() == bytes;
}

RgbImage scaleImage(const RgbImage& source, int32_t width, int32_t height) {
    // The saver's own scaler, with the channels turned back: one way to scale.
    CaptureBuffer scaled = captureFromImage(source, width, height);
    RgbImage out;
    if (!holdsPicture(scaled))
        return out;
    for (std::size_t k = 0; k + 2 < scaled.bgr.size(); k += 3)
        std::swap(scaled.bgr[k], scaled.bgr[k + 2]);
    out.width = scaled.width;
    out.height = scaled.height;
    out.rgb = std::move(scaled.bgr);
    return out;
}

CaptureBuffer captureFromImage(const RgbImage& source, int32_t width, int32_t height) {
    CaptureBuffer buffer;
    if (holdsPicture(source))
        scaleToCapture(packedView(source), width, height, buffer);
    return buffer;
}

namespace {

struct Rgb {
    uint8_t r, g, b;
};

constexpr Rgb kTopLeft{200, 60, 50};
constexpr Rgb kTopRight{60, 170, 70};
constexpr Rgb kBottomLeft{50, 80, 200};
constexpr Rgb kBottomRight{220, 190, 50};
constexpr Rgb kGridLine{230, 230, 230};
constexpr Rgb kLetter{0, 0, 0};
constexpr Rgb kArrow{255, 255, 255};

// Shapes are laid out in fractions of the picture (0..1 across and down), so
// the pattern looks the same at every size.
bool inRect(double u, double v, double u0, double v0, double u1, double v1) {
    return u >= u0 && u < u1 && v >= v0 && v < v1;
}

bool inLetterF(double u, double v) {
    return inRect(u, v, 0.06, 0.06, 0.10, 0.42)     // stem
           || inRect(u, v, 0.06, 0.06, 0.30, 0.12)  // top bar
           || inRect(u, v, 0.06, 0.21, 0.23, 0.27); // middle bar
}

bool inArrow(double u, double v) {
    // Head: a triangle with its tip at (0.5, 0.28) and its base at v = 0.45.
    if (v >= 0.28 && v < 0.45) {
        const double halfWidth = 0.09 * (v - 0.28) / (0.45 - 0.28);
        if (u >= 0.5 - halfWidth && u < 0.5 + halfWidth) {
            return true;
        }
    }
    return inRect(u, v, 0.47, 0.45, 0.53, 0.70); // shaft
}

bool onGridLine(int32_t x, int32_t y, int32_t width, int32_t height, int32_t thickness) {
    // Line k of 16 columns (12 rows) starts at pixel k * width / 16.
    const auto nearLine = [thickness](int32_t p, int32_t size, int32_t cells) {
        const int32_t cell = static_cast<int32_t>(static_cast<int64_t>(p) * cells / size);
        const int32_t start = static_cast<int32_t>(static_cast<int64_t>(cell) * size / cells);
        return p - start < thickness;
    };
    return nearLine(x, width, 16) || nearLine(y, height, 12);
}

} // namespace

RgbImage makeTestPattern(int32_t width, int32_t height) {
    RgbImage image;
    if (width <= 0 || height <= 0) {
        return image;
    }
    image.width = width;
    image.height = height;
    image.rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3u);
    const int32_t thickness = std::max(1, width / 256);

    uint8_t* p = image.rgb.data();
    for (int32_t y = 0; y < height; ++y) {
        const double v = (y + 0.5) / height;
        for (int32_t x = 0; x < width; ++x) {
            const double u = (x + 0.5) / width;
            Rgb c = v < 0.5 ? (u < 0.5 ? kTopLeft : kTopRight) : (u < 0.5 ? kBottomLeft : kBottomRight);
            if (onGridLine(x, y, width, height, thickness)) {
                c = kGridLine;
            }
            if (inRect(u, v, 0.05, 0.86, 0.95, 0.94)) {
                const auto level = static_cast<uint8_t>(255.0 * (u - 0.05) / 0.9);
                c = {level, level, level};
            }
            if (inLetterF(u, v)) {
                c = kLetter;
            }
            if (inArrow(u, v)) {
                c = kArrow;
            }
            *p++ = c.r;
            *p++ = c.g;
            *p++ = c.b;
        }
    }
    return image;
}

} // namespace kelvara
