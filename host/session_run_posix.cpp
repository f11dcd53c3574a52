#include "host/session_run_posix.h"

#include <cstdio>
#include <cstdlib>

namespace kelvara {

namespace {

// How long the end waits for the render thread before giving it up.
constexpr unsigned kJoinTimeoutMs = 3000;

} // namespace

SessionConfig posixSessionConfig(const SaverOptions& options) {
    SessionConfig config;
    config.maySwitchModes = options.kind == RunKind::FullScreen;
    config.preview = options.preview;
    config.run = options.run;
    config.statsName = "--stats";
    config.joinTimeoutMs = kJoinTimeoutMs;
    return config;
}

int runPosixSession(SaverPlatform& platform, SettingsStore& store, const SessionConfig& config,
                    const std::function<void(SaverSession&)>& pumpEvents) {
    SaverSession session(platform, store, config);
    if (session.start())
        pumpEvents(session);
    session.end();
    if (!session.stopped()) {
        // The thread still draws into this connection's window or surfaces:
        // end the process rather than pull them from under it.
        std::fflush(nullptr);
        std::_Exit(session.exitCode());
    }
    return session.exitCode();
}

} // namespace kelvara
