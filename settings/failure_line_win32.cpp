#include "settings/failure_line.h"

#include <windows.h>

#include <cstdio>

namespace kelvara {

// A GUI program has no console of its own, but one started from a terminal
// (or under Wine) still has the standard error it inherited; a debugger sees
// the debug string.
void writeFailureLine(const std::string& line) {
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    OutputDebugStringA(line.c_str());
}

} // namespace kelvara
