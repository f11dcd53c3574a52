#pragma once

#include "render/render_host.h"

namespace kelvara {

// Exit code of a saver run whose window could not be made: no message loop
// ran, so there is no quit value to return.
inline constexpr int kExitNoWindow = 1;

// Set once at start by the entry: the platform is one where the saver itself
// asks for the password and tells the system that a saver runs.
extern bool win9xPlatform;

// True while the saver window is a child of a preview window; set before the
// window is made and never cleared. Read on the main thread only: the render
// thread gets it as a value.
extern bool isPreview;

// Makes the saver window, full screen when `parent` is 0 or as a child filling
// `parent`, runs the message loop until the quit message and waits (bounded)
// for the render thread to leave. Returns the quit message's value, but 1 for
// a run that could not draw (no render thread, no OpenGL) or did not write the
// statistics asked for; 0 at once when another full-screen saver already runs;
// kExitNoWindow when no window could be made. Provided per platform:
// saver_window_win32.cpp.
int runSaverWindow(NativeWindow parent);

} // namespace kelvara
