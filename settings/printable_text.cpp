#include "settings/printable_text.h"

#include <cstdio>

namespace kelvara {

namespace {

// Length of the well-formed UTF-8 character at the start of `s`, 0 when the
// bytes there are not one (overlong forms, surrogates and values past
// U+10FFFF included).
std::size_t utf8Length(std::string_view s) {
    const auto byte = [&s](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char b0 = byte(0);
    std::size_t n = 0;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        n = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        n = 3;
        if (b0 == 0xE0)
            low = 0xA0;
        if (b0 == 0xED)
            high = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        n = 4;
        if (b0 == 0xF0)
            low = 0x90;
        if (b0 == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (s.size() < n || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < n; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    return n;
}

} // namespace

std::string printableExcerpt(std::string_view text, std::size_t maxBytes) {
    std::string out;
    while (!text.empty()) {
        const auto c = static_cast<unsigned char>(text.front());
        const std::size_t n = c >= 0x80 ? utf8Length(text) : 0;
        std::string piece;
        if (c >= 0x20 && c < 0x7F) {
            piece.assign(1, static_cast<char>(c));
        } else if (n > 0) {
            piece.assign(text.substr(0, n));
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            piece = hex;
        }
        if (out.size() + piece.size() > maxBytes) {
            out += "...";
            break;
        }
        out += piece;
        text.remove_prefix(n > 0 ? n : 1);
    }
    return out;
}

} // namespace kelvara
