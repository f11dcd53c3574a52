#include "render/glx_format.h"

#include "settings/settings.h"

namespace kelvara {

PixelFormatInfo pixelFormatFromGlx(const GlxConfigTraits& config) {
    PixelFormatInfo info;
    info.pixelType = config.rgba ? kPfdTypeRgba : 1;
    info.flags = kPfdSupportOpenGL;
    if (config.drawsToWindow)
        info.flags |= kPfdDrawToWindow;
    if (config.doubleBuffered)
        info.flags |= kPfdDoubleBuffer;
    if (config.slowCaveat)
        info.flags |= kPfdGenericFormat;
    else if (config.nonConformantCaveat)
        info.flags |= kPfdGenericFormat | kPfdGenericAccelerated;
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
