// Platform clock for Windows: the performance counter, asked for its frequency
// on every call (nothing cached), with the multimedia timer as the fallback
// where the counter is missing.
#include "scene/clock_win32.h"
#include "scene/frame_timer.h"

// <windows.h> first: the others need its types.
#include <windows.h>

#include <mmsystem.h>

namespace kelvara {

double platformNowMs() {
    LARGE_INTEGER frequency{};
    LARGE_INTEGER counter{};
    if (QueryPerformanceFrequency(&frequency) && frequency.QuadPart != 0) {
        QueryPerformanceCounter(&counter);
        return clockMsFrom(frequency.QuadPart, counter.QuadPart, 0);
    }
    return clockMsFrom(0, 0, timeGetTime());
}

} // namespace kelvara
