#pragma once

// The run of a session as the X11 and Wayland hosts make it: the same
// settings from the options, and the same end when the render thread will
// not leave. POSIX builds only.

#include <functional>
#include <string>

#include "cli/saver_options.h"
#include "host/desktop_bus_posix.h"
#include "host/end_signal_posix.h"
#include "host/saver_session.h"
#include "settings/failure_line.h"
#include "settings/settings_store.h"

namespace kelvara {

// What the X11 and Wayland platforms do alike: the run ends through the end
// pipe, and failures go to standard error alone.
class PosixSaverPlatform : public SaverPlatform {
  public:
    void requestEnd() override { wakeToEnd(); }
    void report(const std::string& line) override { reportFailure("%s", line.c_str()); }
    void showError(const std::string& text) override { report(text); }

    // After an open() that failed: whether it was because another full-screen
    // saver covers the display already (said in one line), which is no failure.
    bool anotherRuns() const { return anotherRuns_; }

    // After the run: whether it went wrong where the session could not see
    // (a Wayland protocol error), which makes the exit code 1.
    bool failed() const { return failed_; }

  protected:
    bool anotherRuns_ = false;
    bool failed_ = false;
};

// The session settings a full-screen, windowed or preview run asks for.
SessionConfig posixSessionConfig(const SaverOptions& options);

// Starts a session over `platform`, lets `pumpEvents` take the window
// system's events until the run should end, and ends the session. Returns
// the run's exit code; when the render thread did not leave in time, ends
// the process with that code instead.
int runPosixSession(SaverPlatform& platform, SettingsStore& store, const SessionConfig& config,
                    const std::function<void(SaverSession&)>& pumpEvents);

// The same for a host made from the options: 1 when it cannot open, 0 at
// once when another full-screen saver runs there (nothing loaded, switched or
// captured).
template <typename Host>
int runPosixHost(const SaverOptions& options, SettingsStore& store, const SessionConfig& config) {
    Host host(options);
    if (!host.open())
        return host.anotherRuns() ? 0 : 1;
    // A run that covers the screen, by hand or from an idle watch, gives way
    // to the desktop's locker and to a sleep; a window or a preview does not.
    const bool givesWay = options.kind == RunKind::FullScreen || options.kind == RunKind::Wayland;
    const int code = runPosixSession(host, store, config, [&host, givesWay](SaverSession& session) {
        const DesktopEndWatch desktopEnd(givesWay);
        host.pumpEvents(session);
    });
    return host.failed() ? 1 : code;
}

} // namespace kelvara
