#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kelvara {

// Text from outside (an argument, a line of a file) made fit to quote in a
// one-line message: control characters and bytes that are not UTF-8 become
// \xNN, whole UTF-8 characters stay, and anything past about `maxBytes` of
// output is cut at a character boundary and marked with "...".
std::string printableExcerpt(std::string_view text, std::size_t maxBytes = 80);

} // namespace kelvara
