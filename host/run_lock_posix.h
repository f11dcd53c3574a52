#pragma once

// "A full-screen saver runs on this display" as a lock on a file: held by the
// first run's open file, given up when that run's process ends however it
// ends (flock dies with the process). POSIX builds only.

#include <string>

namespace kelvara {

// The lock file of the Wayland display `waylandDisplay` (WAYLAND_DISPLAY;
// null or empty: the default display), in `runtimeDir` (XDG_RUNTIME_DIR).
// Empty when there is no runtime folder to hold it.
std::string waylandRunLockPath(const char* runtimeDir, const char* waylandDisplay);

class RunLock {
  public:
    enum class Claim {
        Taken,         // this run holds the lock
        HeldElsewhere, // another run holds it
        Unavailable,   // no lock could be made (the reason on stderr): the run goes on without one
    };

    RunLock() = default;
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;
    ~RunLock();

    // Takes the lock at `path` (creating the file) without waiting.
    Claim claim(const std::string& path);

  private:
    int fd_ = -1;
};

} // namespace kelvara
