#include "render/bitmap_resource.h"

namespace kelvara {

namespace {

// Offsets into the 40-byte info header.
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kSizeOffset = 0;
constexpr std::size_t kWidthOffset = 4;
constexpr std::size_t kHeightOffset = 8;
constexpr std::size_t kPlanesOffset = 12;
constexpr std::size_t kBitCountOffset = 14;
constexpr std::size_t kCompressionOffset = 16;
constexpr std::size_t kColoursUsedOffset = 32;

} // namespace

const unsigned char* bitmapRows(const BitmapResource& bitmap) {
    const unsigned char* h = bitmap.header;
    if (h == nullptr || bitmap.size < kInfoHeaderSize)
        return nullptr;
    if (bitmapField32(h + kSizeOffset) != kInfoHeaderSize || bitmapField16(h + kPlanesOffset) != 1 ||
        bitmapField16(h + kBitCountOffset) != 24 || bitmapField32(h + kCompressionOffset) != 0 ||
        bitmapField32(h + kColoursUsedOffset) != 0)
        return nullptr;

    // 64-bit arithmetic: no int32 width or height can overflow it.
    const int64_t headerWidth = int32_t(bitmapField32(h + kWidthOffset));
    const int64_t headerHeight = int32_t(bitmapField32(h + kHeightOffset));
    const int64_t width = bitmap.width;
    const int64_t height = bitmap.height;
    // Either sign of the header's height will do: the rows are uploaded as
    // stored, whatever order the header claims for them.
    if (width <= 0 || height <= 0 || headerWidth != width ||
        (headerHeight != height && headerHeight != -height))
        return nullptr;

    const uint64_t stride = (uint64_t(width) * 3 + 3) & ~uint64_t(3);
    if (stride * uint64_t(height) > bitmap.size - kInfoHeaderSize)
        return nullptr;
    return h + kInfoHeaderSize;
}

} // namespace kelvara
