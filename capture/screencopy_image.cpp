#include "capture/screencopy_image.h"

#include <cstring>

namespace kelvara {

namespace {

void setMasks(PackedImage& image, uint32_t red, uint32_t green, uint32_t blue) {
    image.redMask = red;
    image.greenMask = green;
    image.blueMask = blue;
}

} // namespace

bool shmFormatLayout(uint32_t format, PackedImage& image) {
    image.bytesPerPixel = 4;
    image.msbFirst = false;
    switch (format) {
    case kShmArgb8888:
    case kShmXrgb8888:
        setMasks(image, 0x00FF0000u, 0x0000FF00u, 0x000000FFu);
        return true;
    case kShmAbgr8888:
    case kShmXbgr8888:
        setMasks(image, 0x000000FFu, 0x0000FF00u, 0x00FF0000u);
        return true;
    default:
        return false;
    }
}

bool takesShmOffer(bool haveOne, uint32_t held, uint32_t offered) {
    PackedImage probe;
    return !haveOne || (!shmFormatLayout(held, probe) && shmFormatLayout(offered, probe));
}

namespace {

// Where the output's pixel (x, y) of its upright picture (width x height) lies
// in its buffer. The buffer holds the picture turned by the transform the
// compositor applies for the output (wl_output's meaning: 90 turns it a
// quarter counter-clockwise; the flipped ones mirror it left to right first).
void bufferPosition(int32_t transform, int32_t x, int32_t y, int32_t width, int32_t height, int32_t& bx,
                    int32_t& by) {
    switch (transform & 7) {
    case 1: // 90
        bx = y;
        by = width - 1 - x;
        break;
    case 2: // 180
        bx = width - 1 - x;
        by = height - 1 - y;
        break;
    case 3: // 270
        bx = height - 1 - y;
        by = x;
        break;
    case 4: // flipped
        bx = width - 1 - x;
        by = y;
        break;
    case 5: // flipped 90
        bx = y;
        by = x;
        break;
    case 6: // flipped 180
        bx = x;
        by = height - 1 - y;
        break;
    case 7: // flipped 270
        bx = height - 1 - y;
        by = width - 1 - x;
        break;
    default:
        bx = x;
        by = y;
        break;
    }
}

} // namespace

PackedImage uprightPicture(const ScreencopyPicture& picture, std::vector<uint8_t>& storage) {
    storage.clear();
    const PackedImage& source = picture.pixels;
    if ((picture.transform & 7) == 0 && !picture.yInvert)
        return source;
    if (!source.data || source.bytesPerPixel != 4 || source.width <= 0 || source.height <= 0)
        return source; // cutAndScale turns it down with its own reason
    PackedImage upright = source;
    if ((picture.transform & 1) != 0) { // a quarter turn: the sides swap
        upright.width = source.height;
        upright.height = source.width;
    }
    upright.bytesPerLine = upright.width * 4;
    storage.resize(static_cast<std::size_t>(upright.bytesPerLine) * static_cast<std::size_t>(upright.height));
    for (int32_t y = 0; y < upright.height; ++y) {
        uint8_t* row =
            storage.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(upright.bytesPerLine);
        for (int32_t x = 0; x < upright.width; ++x) {
            int32_t bx = 0, by = 0;
            bufferPosition(picture.transform, x, y, upright.width, upright.height, bx, by);
            if (picture.yInvert)
                by = source.height - 1 - by;
            const uint8_t* from =
                source.data + static_cast<std::size_t>(by) * static_cast<std::size_t>(source.bytesPerLine) +
                static_cast<std::size_t>(bx) * 4u;
            std::memcpy(row + static_cast<std::size_t>(x) * 4u, from, 4);
        }
    }
    upright.data = storage.data();
    return upright;
}

} // namespace kelvara
