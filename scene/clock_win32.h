#pragma once

#include <cstdint>

namespace kelvara {

// The Windows clock's rule, apart from the system calls so both builds can test
// it: counter / frequency * 1000 when the performance counter works (frequency
// non-zero), else the multimedia timer's whole milliseconds.
double clockMsFrom(int64_t frequency, int64_t counter, uint32_t multimediaMs);

} // namespace kelvara
