#pragma once

// Each output's picture through wlr-screencopy. Wayland builds only.
#include <vector>

#include "capture/capture_buffer.h"
#include "display/connection_wayland.h"
#include "settings/settings.h"

namespace kelvara {

// Every output of `connection`, in its order, copied by the compositor (all at
// once), turned upright and scaled to captureSize through cutAndScale into
// `pictures`. Must run before any surface of the saver shows. Taken when at
// least one output's picture came (one line names those that did not, which
// get empty pictures); Logo, after one line saying why, when none did: the
// compositor offers no screencopy (KDE, GNOME), refused every copy, or sent
// nothing readable.
CaptureOutcome captureOutputs(WaylandConnection& connection, const Settings& settings, bool preview,
                              std::vector<CaptureBuffer>& pictures);

} // namespace kelvara
