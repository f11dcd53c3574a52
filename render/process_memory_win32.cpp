// <windows.h> first: the others need its types.
#include <windows.h>

#include <psapi.h>

#include "render/frame_stats.h"

namespace kelvara {

uint64_t peakResidentKib() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return 0;
    return static_cast<uint64_t>(counters.PeakWorkingSetSize) / 1024;
}

} // namespace kelvara
