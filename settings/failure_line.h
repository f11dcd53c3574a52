#pragma once

#include <string>

namespace kelvara {

// The one way a failure is told: a line naming the call and its reason,
// written with the program's prefix ("kelvara: ") and a newline added here,
// so a caller passes neither. Natively it goes to standard error; the Windows
// build writes it to the standard error it may have inherited (a terminal,
// Wine) and to the debugger, and shows nothing on the screen: the few message
// boxes a user sees are the host's own.
[[gnu::format(printf, 1, 2)]] void reportFailure(const char* format, ...);

// Where a finished line goes; one for each platform (failure_line_*.cpp).
void writeFailureLine(const std::string& line);

} // namespace kelvara
