#include "render/egl_format.h"

#include "render/glx_format.h"

namespace kelvara {

PixelFormatInfo pixelFormatFromEgl(const EglConfigTraits& config) {
    GlxConfigTraits same;
    same.rgba = config.rgb;
    same.drawsToWindow = config.window;
    same.doubleBuffered = true;
    same.redBits = config.redBits;
    same.greenBits = config.greenBits;
    same.blueBits = config.blueBits;
    same.depthBits = config.depthBits;
    same.slowCaveat = config.slowCaveat;
    same.nonConformantCaveat = config.nonConformantCaveat;
    if (!config.openGl)
        return PixelFormatInfo{};
    return pixelFormatFromGlx(same);
}

int bestEglConfig(const std::vector<EglConfigTraits>& configs) {
    std::vector<PixelFormatInfo> opaque;
    std::vector<PixelFormatInfo> all;
    for (const EglConfigTraits& config : configs) {
        all.push_back(pixelFormatFromEgl(config));
        opaque.push_back(config.alphaBits == 0 ? all.back() : PixelFormatInfo{});
    }
    const int best = bestPixelFormat(opaque);
    return best > 0 ? best : bestPixelFormat(all);
}

} // namespace kelvara
