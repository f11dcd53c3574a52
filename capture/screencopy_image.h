#pragma once

#include <cstdint>
#include <vector>

#include "capture/capture_scale.h"

namespace kelvara {

// The wl_shm formats a compositor's screencopy buffers come in that the
// capture reads: 32 bits a pixel, little-endian words, alpha (if any)
// ignored. Values are wl_shm's (0 and 1 are its own, the rest DRM fourccs).
inline constexpr uint32_t kShmArgb8888 = 0;
inline constexpr uint32_t kShmXrgb8888 = 1;
inline constexpr uint32_t kShmAbgr8888 = 0x34324241; // 'AB24'
inline constexpr uint32_t kShmXbgr8888 = 0x34324258; // 'XB24'

// Fills the pixel layout of `format` into `image` (bytes a pixel, byte
// order, channel masks); false for a format the capture cannot read.
bool shmFormatLayout(uint32_t format, PackedImage& image);

// Whether a copy offered in `offered` replaces the description held (in
// `held`; none yet when !haveOne). The compositor lists its formats in its
// order of preference: the first readable one is taken, and an unreadable one
// is held only until a readable one follows (to name it when none does).
bool takesShmOffer(bool haveOne, uint32_t held, uint32_t offered);

// One output's picture as the compositor copied it: its buffer, in the
// output's own orientation (before the output's transform), rows bottom
// first when `yInvert`.
struct ScreencopyPicture {
    PackedImage pixels;
    int32_t transform = 0; // wl_output transform, 0..7
    bool yInvert = false;
};

// The picture as the output shows it: upright, top row first, turned by the
// output's transform. Where nothing needs turning or flipping, `pixels` is
// returned as it is and `storage` stays empty; otherwise the upright copy is
// written into `storage` (4 bytes a pixel, in the source's layout) and the
// result points there.
PackedImage uprightPicture(const ScreencopyPicture& picture, std::vector<uint8_t>& storage);

} // namespace kelvara
