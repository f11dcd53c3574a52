#pragma once

#include "host/saver_options.h"
#include "settings/settings_store.h"

namespace kelvara {

// The full-screen saver's rule for mouse movement: the first six motion
// events are taken as the pointer settling, the seventh and every later one
// end the run.
class MouseRule {
  public:
    // Counts one motion event; true when the run must end.
    bool endsOnMotion() { return moves_++ > 5; }

  private:
    int moves_ = 0;
};

// Runs the saver as `options` asks (FullScreen, Windowed or IntoWindow) with
// the settings of `store`: load, capture, display mode, render thread, events
// until the run ends, then save, restore, stop. Returns the exit code: 0 after
// a run, 1 when it could not start (no display, no such window, a display mode
// that cannot be set; nothing is saved then). Provided per platform:
// saver_window_x11.cpp.
int runSaver(const SaverOptions& options, SettingsStore& store);

} // namespace kelvara
