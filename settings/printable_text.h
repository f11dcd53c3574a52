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

// Blanks as a line of a text file has them around its words: space, tab and
// the carriage return of a file written on Windows.
inline bool isLineBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// `text` without the blanks at either end.
inline std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isLineBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isLineBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace kelvara
