#include "capture/capture.h"

namespace kelvara {

std::vector<CaptureBuffer> captureMonitors(NativeDisplay connection, const std::vector<ScreenRect>& cuts,
                                           const Settings& settings, bool preview) {
    std::vector<CaptureBuffer> pictures;
    DesktopGrab grab;
    if (!grabDesktop(connection, grab))
        return pictures;
    const CaptureSize size = captureSize(settings, preview);
    pictures.resize(cuts.size());
    for (std::size_t i = 0; i < cuts.size(); ++i) {
        // Into the grab's own pixel coordinates.
        const ScreenRect cut{cuts[i].x - grab.area.x, cuts[i].y - grab.area.y, cuts[i].width, cuts[i].height};
        cutAndScale(grab.pixels, cut, size.width, size.height, pictures[i]);
    }
    return pictures;
}

std::vector<CaptureBuffer> captureViews(NativeDisplay connection, const std::vector<MonitorView>& views,
                                        const Settings& settings, bool preview) {
    std::vector<ScreenRect> cuts;
    for (const MonitorView& v : views)
        cuts.push_back(v.desktop);
    return captureMonitors(connection, cuts, settings, preview);
}

bool captureDesktop(NativeDisplay connection, CaptureBuffer& out, const Settings& settings, bool preview) {
    release(out);
    DesktopGrab grab;
    if (!grabDesktop(connection, grab))
        return false;
    const CaptureSize size = captureSize(settings, preview);
    return scaleToCapture(grab.pixels, size.width, size.height, out);
}

} // namespace kelvara
