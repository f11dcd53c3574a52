#pragma once

#include <vector>

#include "capture/capture_buffer.h"
#include "display/monitors.h"
#include "render/render_thread.h"
#include "settings/settings.h"

namespace kelvara {

// What the render thread draws: the monitors as they are laid out `now` (after
// a display-mode switch the primary's size, and with it the others' places,
// may have changed), each showing the picture taken of the same monitor when
// the desktop was captured (`captured`, `pictures` in its order). A monitor is
// the same when its name is, else when it holds the same place in the order;
// one that was not there at the capture, or whose cut came out empty, shows a
// copy of the primary's picture (of the first that holds one when the
// primary's is empty too). With no pictures (the logo) every monitor gets an
// empty one.
std::vector<MonitorDraw> monitorDraws(const std::vector<MonitorView>& captured,
                                      std::vector<CaptureBuffer> pictures,
                                      const std::vector<MonitorView>& now);

} // namespace kelvara
