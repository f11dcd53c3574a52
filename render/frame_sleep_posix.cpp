// The frame pacer's sleep on POSIX systems: clock_nanosleep on an absolute
// deadline of CLOCK_MONOTONIC, the clock platformNowMs reads, so a wake-up
// that comes late never pushes the next deadline back.
#include <time.h>

#include <cerrno>
#include <cmath>

#include "render/frame_pacer.h"

namespace kelvara {

SleepUntilMs makePreciseSleep() {
    return [](double deadlineMs) {
        if (!(deadlineMs > 0.0))
            return;
        const double seconds = std::floor(deadlineMs / 1000.0);
        timespec deadline{};
        deadline.tv_sec = static_cast<time_t>(seconds);
        deadline.tv_nsec = static_cast<long>((deadlineMs - seconds * 1000.0) * 1e6);
        if (deadline.tv_nsec >= 1000000000L)
            deadline.tv_nsec = 999999999L;
        // A signal only interrupts the wait; the deadline stays the same.
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
        }
    };
}

} // namespace kelvara
