// PNG reading and writing through libpng's simplified interface, which converts
// every format it reads to the one asked for.
#include "tools/png_io.h"

#include <png.h>

#include <cstdint>

namespace kelvara {

namespace {
constexpr uint64_t kMaxPixels = uint64_t{1} << 28;
}

bool readPng(const std::string& path, RgbImage& image, std::string& error) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&png, path.c_str()) == 0) {
        error = path + ": " + png.message;
        return false;
    }
    // Far beyond any desktop; refusing it keeps a hostile header from asking for
    // terabytes.
    if (static_cast<uint64_t>(png.width) * png.height > kMaxPixels) {
        error = path + ": picture too large";
        png_image_free(&png);
        return false;
    }
    png.format = PNG_FORMAT_RGB;
    RgbImage out;
    out.width = static_cast<int32_t>(png.width);
    out.height = static_cast<int32_t>(png.height);
    out.rgb.resize(PNG_IMAGE_SIZE(png));
    // A null background composites alpha over black.
    if (png_image_finish_read(&png, nullptr, out.rgb.data(), 0, nullptr) == 0) {
        error = path + ": " + png.message;
        png_image_free(&png);
        return false;
    }
    image = std::move(out);
    return true;
}

bool writePng(const std::string& path, const RgbImage& image, std::string& error) {
    if (!holdsPicture(image)) {
        error = path + ": no picture to write";
        return false;
    }
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    if (png_image_write_to_file(&png, path.c_str(), 0, image.rgb.data(), 0, nullptr) == 0) {
        error = path + ": " + png.message;
        return false;
    }
    return true;
}

} // namespace kelvara
