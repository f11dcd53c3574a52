#include "capture/capture_scale.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

namespace kelvara {

namespace {

struct Channel {
    int shift = 0;
    uint32_t max = 0; // the mask shifted down: the channel's full value
};

Channel channelOf(uint32_t mask) {
    Channel c;
    if (mask == 0)
        return c;
    while (((mask >> c.shift) & 1u) == 0)
        ++c.shift;
    c.max = mask >> c.shift;
    return c;
}

// One tap of the area filter along an axis: source index and its weight.
struct Tap {
    int32_t index;
    float weight;
};

// For each of `outSize` output cells, the source cells it covers with the
// share of each (shares sum to 1 per output cell).
std::vector<std::vector<Tap>> areaTaps(int32_t inSize, int32_t outSize) {
    std::vector<std::vector<Tap>> taps(static_cast<std::size_t>(outSize));
    const double scale = static_cast<double>(inSize) / outSize;
    for (int32_t o = 0; o < outSize; ++o) {
        const double from = o * scale;
        const double to = (o + 1) * scale;
        auto& list = taps[static_cast<std::size_t>(o)];
        int32_t i = static_cast<int32_t>(from);
        for (; i < inSize && i < to; ++i) {
            const double covered = std::min<double>(i + 1, to) - std::max<double>(i, from);
            if (covered > 0)
                list.push_back({i, static_cast<float>(covered / scale)});
        }
        if (list.empty()) // rounding at the far edge
            list.push_back({std::min(static_cast<int32_t>(from), inSize - 1), 1.0f});
    }
    return taps;
}

// A channel's value as 0..255 from a pixel.
float to8(uint32_t pixel, const Channel& c) {
    return c.max == 0 ? 0.0f : static_cast<float>((pixel >> c.shift) & c.max) * 255.0f / c.max;
}

// The pixels' three channels as floats 0..255. The same values come from a
// table for the usual channels of up to 16 bits: the division per channel and
// pixel was most of the decoding.
class PixelDecoder {
  public:
    explicit PixelDecoder(const PackedImage& image)
        : blue_(channelOf(image.blueMask)), green_(channelOf(image.greenMask)),
          red_(channelOf(image.redMask)), blueTable_(tableOf(blue_)), greenTable_(tableOf(green_)),
          redTable_(tableOf(red_)) {}

    // Blue, green, red of `pixel` into bgr[0..2].
    void decode(uint32_t pixel, float* bgr) const {
        bgr[0] = channel(pixel, blue_, blueTable_);
        bgr[1] = channel(pixel, green_, greenTable_);
        bgr[2] = channel(pixel, red_, redTable_);
    }

  private:
    static constexpr uint32_t kTableLimit = 0xFFFF;

    static std::vector<float> tableOf(const Channel& c) {
        std::vector<float> table;
        if (c.max <= kTableLimit) {
            table.resize(static_cast<std::size_t>(c.max) + 1);
            for (uint32_t v = 0; v <= c.max; ++v)
                table[v] = to8(v << c.shift, c);
        }
        return table;
    }

    static float channel(uint32_t pixel, const Channel& c, const std::vector<float>& table) {
        return table.empty() ? to8(pixel, c) : table[(pixel >> c.shift) & c.max];
    }

    Channel blue_, green_, red_;
    std::vector<float> blueTable_, greenTable_, redTable_;
};

// The part of `whole` that `cut` shows, as a picture of its own: the same
// rows seen through a window, its first pixel and size changed. False when
// the picture or the wanted size is unusable, the cut misses it, or its
// pixels are palette indices (no colour masks: a black texture would look
// like a hang).
bool cutOf(const PackedImage& whole, const ScreenRect& cut, int32_t width, int32_t height,
           PackedImage& image) {
    if (!whole.data || whole.width <= 0 || whole.height <= 0 || width <= 0 || height <= 0 ||
        whole.bytesPerPixel < 1 || whole.bytesPerPixel > 4 ||
        whole.bytesPerLine < whole.width * whole.bytesPerPixel)
        return false;
    const ScreenRect part = intersect(cut, ScreenRect{0, 0, whole.width, whole.height});
    if (part.empty())
        return false;
    image = whole;
    image.data = whole.data + static_cast<std::ptrdiff_t>(part.y) * whole.bytesPerLine +
                 static_cast<std::ptrdiff_t>(part.x) * whole.bytesPerPixel;
    image.width = part.width;
    image.height = part.height;
    return (image.redMask | image.greenMask | image.blueMask) != 0;
}

// The horizontal pass: each source pixel decoded once into a row of floats
// (`decoded`, 3 per source column), then the column taps summed from that
// row into `across` (3 per output column, one row per source row).
void scaleAcross(const PackedImage& image, const std::vector<std::vector<Tap>>& columns, int32_t width,
                 float* decoded, float* across) {
    const PixelDecoder decoder(image);
    const std::size_t outRow = static_cast<std::size_t>(width) * 3;
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t* line = image.data + static_cast<std::ptrdiff_t>(y) * image.bytesPerLine;
        for (int32_t x = 0; x < image.width; ++x) {
            const uint8_t* p = line + static_cast<std::ptrdiff_t>(x) * image.bytesPerPixel;
            uint32_t pixel = 0;
            for (int k = 0; k < image.bytesPerPixel; ++k) {
                const int byte = image.msbFirst ? k : image.bytesPerPixel - 1 - k;
                pixel = (pixel << 8) | p[byte];
            }
            decoder.decode(pixel, &decoded[static_cast<std::size_t>(x) * 3]);
        }
        float* dst = &across[static_cast<std::size_t>(y) * outRow];
        for (int32_t x = 0; x < width; ++x) {
            float b = 0, g = 0, r = 0;
            for (const Tap& t : columns[static_cast<std::size_t>(x)]) {
                const float* src = &decoded[static_cast<std::size_t>(t.index) * 3];
                b += t.weight * src[0];
                g += t.weight * src[1];
                r += t.weight * src[2];
            }
            dst[x * 3] = b;
            dst[x * 3 + 1] = g;
            dst[x * 3 + 2] = r;
        }
    }
}

// The vertical pass: whole rows of `across` added (weight x row), which the
// compiler vectorises, and rounded into `bgr`.
void scaleDown(const float* across, const std::vector<std::vector<Tap>>& rows, std::size_t outRow,
               int32_t height, float* __restrict total, uint8_t* bgr) {
    for (int32_t y = 0; y < height; ++y) {
        std::fill(total, total + outRow, 0.0f);
        for (const Tap& t : rows[static_cast<std::size_t>(y)]) {
            const float* __restrict src = &across[static_cast<std::size_t>(t.index) * outRow];
            const float w = t.weight;
            for (std::size_t i = 0; i < outRow; ++i)
                total[i] += w * src[i];
        }
        uint8_t* __restrict dst = &bgr[static_cast<std::size_t>(y) * outRow];
        for (std::size_t i = 0; i < outRow; ++i)
            dst[i] =
                static_cast<uint8_t>(static_cast<int32_t>(std::min(std::max(total[i] + 0.5f, 0.0f), 255.0f)));
    }
}

} // namespace

bool cutAndScale(const PackedImage& whole, const ScreenRect& cut, int32_t width, int32_t height,
                 CaptureBuffer& out) {
    release(out);
    PackedImage image;
    if (!cutOf(whole, cut, width, height, image))
        return false;
    const auto columns = areaTaps(image.width, width);
    const auto rows = areaTaps(image.height, height);
    const std::size_t outRow = static_cast<std::size_t>(width) * 3;
    try {
        // The sums run in the same order as a per-pixel loop would, so the
        // result is the same to the bit. The buffers are not cleared first:
        // every element is written before it is read.
        std::unique_ptr<float[]> decoded(new float[static_cast<std::size_t>(image.width) * 3]);
        std::unique_ptr<float[]> across(new float[static_cast<std::size_t>(image.height) * outRow]);
        scaleAcross(image, columns, width, decoded.get(), across.get());
        out.bgr.resize(static_cast<std::size_t>(width) * height * 3);
        std::unique_ptr<float[]> sum(new float[outRow]);
        scaleDown(across.get(), rows, outRow, height, sum.get(), out.bgr.data());
    } catch (const std::bad_alloc&) {
        release(out);
        return false;
    }
    out.width = width;
    out.height = height;
    return true;
}

} // namespace kelvara
