#include "display/output_views.h"

#include <algorithm>

namespace kelvara {

ScreenRect fallbackLogical(const OutputGeometry& output) {
    const int32_t scale = std::max(1, output.scale);
    int32_t width = output.modeWidth;
    int32_t height = output.modeHeight;
    if (swapsSides(output.transform))
        std::swap(width, height);
    return ScreenRect{0, 0, width / scale, height / scale};
}

void outputBufferSize(const OutputGeometry& output, int32_t& width, int32_t& height) {
    const ScreenRect logical = output.logical.empty() ? fallbackLogical(output) : output.logical;
    const int32_t scale = std::max(1, output.scale);
    width = logical.width * scale;
    height = logical.height * scale;
}

std::vector<MonitorView> outputViews(const std::vector<OutputGeometry>& outputs) {
    std::vector<MonitorView> views;
    int32_t nextX = 0;
    for (const OutputGeometry& output : outputs) {
        MonitorView view;
        view.desktop = output.logical;
        if (view.desktop.empty()) {
            // No layout to go by: side by side in the order listed, so each
            // still gets a picture of its own.
            view.desktop = fallbackLogical(output);
            view.desktop.x = nextX;
        }
        nextX = std::max(nextX, view.desktop.x + view.desktop.width);
        outputBufferSize(output, view.viewport.width, view.viewport.height);
        view.primary = views.empty();
        view.name = output.name;
        views.push_back(view);
    }
    return views;
}

} // namespace kelvara
