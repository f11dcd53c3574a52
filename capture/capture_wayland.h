#pragma once

// Each output's picture of the desktop. Wayland builds only.
#include <vector>

#include "capture/capture_buffer.h"
#include "display/connection_wayland.h"
#include "settings/settings.h"

namespace kelvara {

// Every output of `connection`, in its order, taken by the first source that
// gives a picture (wlr-screencopy, KWin's screenshot interface, the desktop
// portal), turned upright and scaled to captureSize through cutAndScale into
// `pictures`. Must run before any surface of the saver shows. Taken when at
// least one output's picture came (one line names those that did not, which
// get empty pictures); Logo, after one line naming why each source gave
// nothing, when none did.
CaptureOutcome captureOutputs(WaylandConnection& connection, const Settings& settings, bool preview,
                              std::vector<CaptureBuffer>& pictures);

} // namespace kelvara
