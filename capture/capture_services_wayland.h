#pragma once

// The capture sources behind wlr-screencopy on Wayland: KWin's screenshot
// interface and the desktop portal, both over the session bus. Wayland
// builds only.
#include <string>
#include <vector>

#include "bus/bus.h"
#include "capture/capture.h"
#include "display/output_views.h"

namespace kelvara {

// Each output's picture from org.kde.KWin.ScreenShot2 (by output name, at its
// native resolution), cut and scaled to `size` into `pictures` (one per
// output; empty for an output KWin gave nothing for). True when at least one
// came; else false with the reason in `why` (no KWin, not granted, ...).
bool captureKwin(BusConnection& bus, const std::vector<OutputGeometry>& outputs, const CaptureSize& size,
                 std::vector<CaptureBuffer>& pictures, std::string& why);

// One non-interactive screenshot of the whole stage from the desktop portal,
// cut per output by its layout rectangle and scaled to `size`. The portal's
// file is deleted whatever happens. A portal that does not answer within a
// few seconds (a question nobody is there to answer) counts as a refusal.
bool capturePortal(BusConnection& bus, const std::vector<OutputGeometry>& outputs, const CaptureSize& size,
                   std::vector<CaptureBuffer>& pictures, std::string& why);

// The portal's screenshot, asked for and then deleted: what --allow-capture
// does so that the desktop's one-time question is answered by the user.
// True when the portal answered with a picture; `why` says what happened.
bool askPortalOnce(BusConnection& bus, std::string& why);

} // namespace kelvara
