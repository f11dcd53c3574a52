#include <sys/resource.h>

#include "render/frame_stats.h"

namespace kelvara {

uint64_t peakResidentKib() {
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) != 0 || usage.ru_maxrss < 0)
        return 0;
    return static_cast<uint64_t>(usage.ru_maxrss); // Linux counts it in KiB
}

} // namespace kelvara
