#pragma once

// A display mode kept safe from a process that dies without giving it back.
//
// A change of mode on some systems (X11) outlives the process that made it:
// a saver killed by a signal it cannot catch (SIGKILL, or a crash) would leave
// the display switched for good. The guard is a small process of its own,
// started before the first change, that learns through a socket whether the
// display is switched and, when the saver's end closes while it is (however
// the saver ended), puts the earlier mode back. The saver's pid stays the one
// its parent knows: the guard is not its child and holds no terminal.
#include <functional>

namespace kelvara {

class ModeGuard {
  public:
    ModeGuard() = default;
    ModeGuard(const ModeGuard&) = delete;
    ModeGuard& operator=(const ModeGuard&) = delete;
    // Closes the saver's end: a guard still armed restores, as after a crash.
    ~ModeGuard();

    // Starts the guard, which runs `restore` in its own process if this one
    // ends while armed; `restore` must open whatever connection it needs
    // itself and use nothing of this process's but memory. It forks: call it
    // only while this process has no other thread (one that held a lock at
    // the fork would leave the guard stuck on it). False when the guard could
    // not start, said in one line (the run goes on without one); true once
    // the guard has said it runs.
    bool start(std::function<void()> restore);
    bool running() const { return socket_ >= 0; }

    // The display is about to change: restore if this process dies.
    void arm();
    // The display is as the guard found it: nothing to restore.
    void disarm();

  private:
    void tell(char state);

    int socket_ = -1;
    char told_ = 0;
};

} // namespace kelvara
