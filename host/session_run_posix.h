#pragma once

// The run of a session as the X11 and Wayland hosts make it: the same
// settings from the options, and the same end when the render thread will
// not leave. POSIX builds only.

#include <functional>

#include "cli/saver_options.h"
#include "host/saver_session.h"
#include "settings/settings_store.h"

namespace kelvara {

// The session settings a full-screen, windowed or preview run asks for.
SessionConfig posixSessionConfig(const SaverOptions& options);

// Starts a session over `platform`, lets `pumpEvents` take the window
// system's events until the run should end, and ends the session. Returns
// the run's exit code; when the render thread did not leave in time, ends
// the process with that code instead.
int runPosixSession(SaverPlatform& platform, SettingsStore& store, const SessionConfig& config,
                    const std::function<void(SaverSession&)>& pumpEvents);

} // namespace kelvara
