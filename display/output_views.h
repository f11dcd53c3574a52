#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "display/monitors.h"

namespace kelvara {

// One Wayland output as its wl_output and xdg-output events describe it.
// Sizes in pixels; `logical` is the output's place and size in the
// compositor's layout (xdg-output), the only source of positions: some
// compositors say 0,0 in every wl_output's geometry.
struct OutputGeometry {
    std::string name;      // xdg-output or wl_output name ("HEADLESS-1"); may be empty
    ScreenRect logical;    // empty when the compositor offers no xdg-output
    int32_t modeWidth = 0; // current mode, in the output's own (untransformed) orientation
    int32_t modeHeight = 0;
    int32_t refreshMilliHz = 0;
    int32_t scale = 1;     // buffer scale, 1 or more
    int32_t transform = 0; // wl_output transform, 0..7
};

// Whether `transform` turns the output a quarter (90/270, flipped or not):
// its width and height swap places.
inline bool swapsSides(int32_t transform) {
    return (transform & 1) != 0;
}

// The output's size in the layout, where no xdg-output says: the mode's,
// turned as the output is, divided by the scale.
ScreenRect fallbackLogical(const OutputGeometry& output);

// The buffer size a surface covering the whole output is drawn at: its
// logical size times its scale.
void outputBufferSize(const OutputGeometry& output, int32_t& width, int32_t& height);

// One view per output, in the order given, the first the primary: each output
// has a surface of its own, so the viewport is that whole surface at its buffer
// size (origin 0,0) and the desktop part is the output's rectangle in the
// layout. Mirrored outputs (the same rectangle) keep a view each, unlike
// monitors sharing one window.
std::vector<MonitorView> outputViews(const std::vector<OutputGeometry>& outputs);

} // namespace kelvara
