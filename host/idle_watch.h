#pragma once

// The idle watch's decisions, apart from the system: when a saver starts,
// when one that outlives its user's return is ended, and how long the watch
// waits after savers that fail. The Wayland watch (idle_watch_wayland.cpp)
// feeds it the seat's idle and active events and the savers' ends, and does
// what it answers. Times are milliseconds on a steady clock.

#include <cstdint>
#include <string>
#include <vector>

namespace kelvara {

struct IdleWatchTimes {
    // A saver still running this long after the user came back is ended
    // (SIGTERM), and killed (SIGKILL) if it outlives that by killGraceMs.
    int64_t outliveMs = 5000;
    int64_t killGraceMs = 3000;
    // A saver that fails within this time of its start failed "at once".
    int64_t quickFailMs = 5000;
    // After a failure the next start waits retryMs; after failuresBeforeBackoff
    // quick failures in a row it waits backoffFirstMs, doubling up to backoffMaxMs.
    int64_t retryMs = 2000;
    int failuresBeforeBackoff = 3;
    int64_t backoffFirstMs = 60000;
    int64_t backoffMaxMs = 15 * 60000;
};

// How a saver ended.
enum class SaverEnd {
    Finished,     // exit status 0: the user, the desktop's locker, a sleep or a limit ended it
    Failed,       // another exit status, a signal the watch did not send, or no start at all
    EndedByWatch, // the watch ended it (it outlived the user's return, or the watch ends)
};

// What the watch must do to a running saver.
enum class SaverSignal { None, Terminate, Kill };

class IdleWatchRules {
  public:
    explicit IdleWatchRules(IdleWatchTimes times = {}) : times_(times) {}

    void seatIdle(int64_t now);
    void seatActive(int64_t now);

    // Whether a saver should start now. The caller then checks what only the
    // desktop knows (the session locked, an inhibitor on GNOME) and calls
    // saverStarted, startRefused or, when it could not start one, saverEnded
    // with Failed.
    bool wantsStart(int64_t now) const;
    void saverStarted(int64_t now);
    // Not in this idle period: the next one asks again.
    void startRefused();

    // Returns a line to report once, or an empty string.
    std::string saverEnded(int64_t now, SaverEnd end);

    // What the running saver is owed now; the caller sends it and says so.
    SaverSignal signalDue(int64_t now) const;
    void signalSent(int64_t now, SaverSignal signal);

    bool saverRunning() const { return running_; }
    // Milliseconds until the rules next need a look without any event (a
    // retry, an end owed to a saver), or -1 when only an event can change
    // anything.
    int64_t msUntilNextDeadline(int64_t now) const;

  private:
    int64_t retryDelay() const;

    IdleWatchTimes times_;
    bool idle_ = false;
    bool periodDone_ = false; // this idle period has had its saver (or its refusal)
    bool running_ = false;
    int64_t startedAt_ = 0;
    int64_t activeAt_ = -1; // when the user came back while the saver ran
    int64_t termAt_ = -1;
    bool killed_ = false;
    int failures_ = 0; // in a row, each at once
    bool reported_ = false;
    int64_t retryAt_ = 0;
};

// The one line saying that the desktop blanks the screen before the watch
// would start the saver, or empty when it does not. `desktopSeconds` 0 means
// the desktop never blanks.
std::string blankDelayNote(const char* desktop, unsigned desktopSeconds, unsigned watchSeconds);

// KDE's screen-off delay in seconds from the text of its power management
// settings (Plasma 5: powermanagementprofilesrc, [AC][DPMSControl] idleTime;
// Plasma 6: powerdevilrc, [AC][Display] TurnOffDisplayIdleTimeoutSec), or 0
// when the text sets none.
unsigned kdeScreenOffSeconds(const std::string& text);

// The XDG autostart entry that runs `exec` with `arguments` at each login.
std::string autostartEntry(const std::string& exec, const std::vector<std::string>& arguments);

} // namespace kelvara
