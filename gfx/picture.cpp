#include "gfx/picture.h"

#include <algorithm>

namespace kelvara {

namespace {

struct Span {
    int32_t first; // first source index covered
    int32_t end;   // one past the last
};

// Source indices that target index i of n covers on an axis of m source pixels.
Span spanFor(int64_t i, int64_t n, int64_t m) {
    if (m >= n) {
        const auto first = static_cast<int32_t>(i * m / n);
        const auto end = static_cast<int32_t>(((i + 1) * m + n - 1) / n);
        return {first, std::max(end, first + 1)};
    }
    // Enlarging: the source pixel under the target pixel's centre.
    const auto centre = static_cast<int32_t>((2 * i + 1) * m / (2 * n));
    return {centre, centre + 1};
}

std::vector<Span> spansFor(int32_t n, int32_t m) {
    std::vector<Span> spans(static_cast<std::size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
        spans[static_cast<std::size_t>(i)] = spanFor(i, n, m);
    }
    return spans;
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
    RgbImage out;
    if (!holdsPicture(source) || width <= 0 || height <= 0) {
        return out;
    }
    out.width = width;
    out.height = height;
    out.rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3u);

    const std::vector<Span> columns = spansFor(width, source.width);
    const std::vector<Span> rows = spansFor(height, source.height);
    const auto srcStride = static_cast<std::size_t>(source.width) * 3u;

    uint8_t* dst = out.rgb.data();
    for (const Span& row : rows) {
        for (const Span& col : columns) {
            uint64_t sum[3] = {0, 0, 0};
            for (int32_t y = row.first; y < row.end; ++y) {
                const uint8_t* p = source.rgb.data() + static_cast<std::size_t>(y) * srcStride +
                                   static_cast<std::size_t>(col.first) * 3u;
                for (int32_t x = col.first; x < col.end; ++x, p += 3) {
                    sum[0] += p[0];
                    sum[1] += p[1];
                    sum[2] += p[2];
                }
            }
            const uint64_t count =
                static_cast<uint64_t>(row.end - row.first) * static_cast<uint64_t>(col.end - col.first);
            for (int c = 0; c < 3; ++c) {
                *dst++ = static_cast<uint8_t>((sum[c] + count / 2) / count);
            }
        }
    }
    return out;
}

CaptureBuffer captureFromImage(const RgbImage& source, int32_t width, int32_t height) {
    RgbImage scaled = scaleImage(source, width, height);
    CaptureBuffer buffer;
    if (scaled.empty()) {
        return buffer;
    }
    for (std::size_t k = 0; k + 2 < scaled.rgb.size(); k += 3) {
        std::swap(scaled.rgb[k], scaled.rgb[k + 2]);
    }
    buffer.width = scaled.width;
    buffer.height = scaled.height;
    buffer.bgr = std::move(scaled.rgb);
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
