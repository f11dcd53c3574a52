#include "settings/failure_line.h"

#include <cstdio>

namespace kelvara {

void writeFailureLine(const std::string& line) {
    std::fputs(line.c_str(), stderr);
}

} // namespace kelvara
