// Platform clock for POSIX systems: CLOCK_MONOTONIC, read in milliseconds with
// nanosecond resolution. Counts from an unspecified origin (boot on Linux), like
// the Windows performance counter does.
#include "scene/frame_timer.h"

#include <time.h>

namespace kelvara {

double platformNowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) * 1e-6;
}

} // namespace kelvara
