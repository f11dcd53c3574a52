#include "render/glx_format.h"

#include "settings/settings.h"

namespace kelvara {

PixelFormatInfo pixelFormatFromGlx(const GlxConfigTraits& config) {
    PixelFormatInfo info;
    info.rgba = config.rgba;
    info.openGl = true;
    info.drawsToWindow = config.drawsToWindow;
    info.doubleBuffered = config.doubleBuffered;
    info.acceleration = config.slowCaveat            ? FormatAcceleration::Software
                        : config.nonConformantCaveat ? FormatAcceleration::Partial
                                                     : FormatAcceleration::Full;
    info.colorBits = config.redBits + config.greenBits + config.blueBits;
    info.depthBits = config.depthBits;
    return info;
}

int niceForThreadPriority(int threadPriority) {
    if (threadPriority <= kThreadPriorityLowest)
        return 10;
    if (threadPriority == kThreadPriorityBelowNormal)
        return 5;
    return 0;
}

} // namespace kelvara
