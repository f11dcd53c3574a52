#include "capture/capture.h"

namespace kelvara {

namespace {

int32_t bounded(int32_t side) {
    if (side < 1)
        return 1;
    return side > kMaxCaptureSide ? kMaxCaptureSide : side;
}

} // namespace

CaptureSize captureSize(const Settings& settings, bool preview) {
    if (preview)
        return CaptureSize{128, 64};
    return CaptureSize{bounded(settings.screenTextureWidth), bounded(settings.screenTextureHeight)};
}

} // namespace kelvara
