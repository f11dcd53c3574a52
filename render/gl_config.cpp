#include "render/gl_config.h"

namespace kelvara {

PixelFormatInfo pixelFormatOf(const GlConfigTraits& config) {
    PixelFormatInfo info;
    info.rgba = config.rgba;
    info.openGl = config.openGl;
    info.drawsToWindow = config.drawsToWindow;
    info.doubleBuffered = config.doubleBuffered;
    info.acceleration = config.slowCaveat            ? FormatAcceleration::Software
                        : config.nonConformantCaveat ? FormatAcceleration::Partial
                                                     : FormatAcceleration::Full;
    info.colorBits = config.redBits + config.greenBits + config.blueBits;
    info.depthBits = config.depthBits;
    return info;
}

int bestGlConfig(const std::vector<GlConfigTraits>& configs) {
    std::vector<PixelFormatInfo> opaque;
    std::vector<PixelFormatInfo> all;
    for (const GlConfigTraits& config : configs) {
        all.push_back(pixelFormatOf(config));
        opaque.push_back(config.alphaBits == 0 ? all.back() : PixelFormatInfo{});
    }
    const int best = bestPixelFormat(opaque);
    return best > 0 ? best : bestPixelFormat(all);
}

} // namespace kelvara
