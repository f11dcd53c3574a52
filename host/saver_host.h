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

// The same on Wayland: one overlay surface (or full-screen window) on every
// output, until input, a signal, a limit, an output coming or going or the
// compositor's end ends the run. 1 when it cannot start (no compositor,
// neither layer-shell nor xdg-shell, no desktop OpenGL through EGL) or the
// compositor ended it for a protocol error. Provided by
// saver_window_wayland.cpp, in builds with Wayland (KELVARA_WAYLAND).
int runWaylandSaver(const SaverOptions& options, SettingsStore& store);

// The idle watch (--idle): runs the Wayland saver as a child process each
// time the seat has been idle for options.idleSeconds, until a signal or the
// compositor's end. 0 when it ends so or when another watch of the session
// already runs; 1 when it cannot watch (no compositor, no idle source).
// Provided by idle_watch_wayland.cpp, in builds with Wayland.
int runIdleWatch(const SaverOptions& options);

// --autostart: writes the session's autostart entry for the idle watch
// (options.idleSeconds and the run's options), or removes it when
// idleSeconds is 0. Provided by autostart_posix.cpp.
int setAutostart(const SaverOptions& options);

// Whether WAYLAND_DISPLAY names a compositor whose outputs the saver can cover
// (layer-shell, or xdg-shell's full-screen windows): a plain run then covers
// them through Wayland rather than Xwayland, which cannot take the desktop's
// picture nor cover Wayland windows.
bool waylandCanCover();

} // namespace kelvara
