#pragma once

#include "cli/saver_options.h"
#include "settings/settings_store.h"

namespace kelvara {

// Runs the saver as `options` asks (FullScreen, Windowed or IntoWindow) with
// the settings of `store`: load, capture, display mode, render thread, events
// until the run ends, then save, restore, stop. Returns the exit code: 0 after
// a run, 1 when it could not start (no display, no such window, no OpenGL to
// draw with, a display mode that cannot be set: the run ends at once, the
// display restored and nothing saved) or its statistics could not be written.
// Provided per platform: saver_window_x11.cpp.
int runSaver(const SaverOptions& options, SettingsStore& store);

} // namespace kelvara
