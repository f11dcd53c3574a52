#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvara {

// A device-independent bitmap among the program's own resources, as the
// platform's resource loader hands it over: the 40-byte info header followed by
// the rows, i.e. a bitmap file without its 14-byte file header. The bytes are
// read-only, owned by the loader and valid for the life of the process.
struct BitmapResource {
    const unsigned char* header = nullptr;
    std::size_t size = 0; // bytes from `header` on
    int32_t width = 0;    // pixels, as the platform's bitmap object reports them
    int32_t height = 0;   // pixels, positive whichever way the rows are stored
};

// Finds bitmap `id` in the program's own resources; false when it is not there.
// Provided by bitmap_resource_win32.cpp (the executable's resource section) and
// bitmap_resource_posix.cpp (bitmap files compiled into the program).
bool findBitmapResource(uint16_t id, BitmapResource& out);

// The first stored row of `bitmap` when it is what the texture upload expects:
// a 40-byte header, one plane, 24 bits per pixel, uncompressed, no colour table,
// header sizes that agree with `width` x `height`, and rows (each padded to four
// bytes) that fit in `size`. Null for anything else, so a damaged resource is
// refused instead of read past its end.
const unsigned char* bitmapRows(const BitmapResource& bitmap);

// A little-endian 32-bit field of a bitmap header; `p` needs no alignment.
inline uint32_t bitmapField32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline uint16_t bitmapField16(const unsigned char* p) {
    return uint16_t(p[0] | p[1] << 8);
}

} // namespace kelvara
