#include "settings/failure_line.h"

#include <cstdarg>
#include <cstdio>

namespace kelvara {

void reportFailure(const char* format, ...) {
    // Formatted whole before the write, so lines from two threads never mix.
    std::va_list args;
    va_start(args, format);
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    writeFailureLine(std::string("kelvara: ") + text + "\n");
}

} // namespace kelvara
