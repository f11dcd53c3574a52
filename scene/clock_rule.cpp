#include "scene/clock_win32.h"

namespace kelvara {

double clockMsFrom(int64_t frequency, int64_t counter, uint32_t multimediaMs) {
    if (frequency != 0)
        return static_cast<double>(counter) / static_cast<double>(frequency) * 1000.0;
    return static_cast<double>(multimediaMs);
}

} // namespace kelvara
