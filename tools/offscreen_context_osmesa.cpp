// The off-screen GL context: Mesa's OSMesa drawing into a buffer we own.
// Provides OffscreenContext; no window, no display, no double buffering (the
// scene's buffer swap has nothing to do here).
#include <GL/osmesa.h>

#include <algorithm>
#include <utility>

#include "tools/offscreen.h"

namespace kelvara {

OffscreenContext::~OffscreenContext() {
    if (context_ != nullptr) {
        OSMesaDestroyContext(static_cast<OSMesaContext>(context_));
    }
}

bool OffscreenContext::create(int32_t width, int32_t height, std::string& error) {
    if (context_ != nullptr) {
        error = "off-screen context already created";
        return false;
    }
    if (width <= 0 || height <= 0 || width > kMaxOffscreenSide || height > kMaxOffscreenSide) {
        error = "off-screen size " + std::to_string(width) + "x" + std::to_string(height) + " out of range";
        return false;
    }
    OSMesaContext context = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
    if (context == nullptr) {
        error = "OSMesaCreateContextExt failed";
        return false;
    }
    std::vector<uint8_t> colour(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4u);
    if (OSMesaMakeCurrent(context, colour.data(), GL_UNSIGNED_BYTE, width, height) == 0) {
        OSMesaDestroyContext(context);
        error = "OSMesaMakeCurrent failed";
        return false;
    }
    context_ = context;
    colour_ = std::move(colour);
    width_ = width;
    height_ = height;
    return true;
}

RgbImage OffscreenContext::read() const {
    RgbImage image;
    if (context_ == nullptr) {
        return image;
    }
    const auto stride = static_cast<std::size_t>(width_) * 3u;
    std::vector<uint8_t> bottomUp(stride * static_cast<std::size_t>(height_));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width_, height_, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());

    image.width = width_;
    image.height = height_;
    image.rgb.resize(bottomUp.size());
    for (int32_t y = 0; y < height_; ++y) {
        const auto from = bottomUp.begin() +
                          static_cast<std::ptrdiff_t>(stride * static_cast<std::size_t>(height_ - 1 - y));
        std::copy(from, from + static_cast<std::ptrdiff_t>(stride),
                  image.rgb.begin() + static_cast<std::ptrdiff_t>(stride * static_cast<std::size_t>(y)));
    }
    return image;
}

} // namespace kelvara
