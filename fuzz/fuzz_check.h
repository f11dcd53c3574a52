#pragma once

// Invariant checks for the fuzz targets. Unlike assert they stay in release
// builds (the replay tests run RelWithDebInfo, which defines NDEBUG), and a
// violation aborts so that libFuzzer keeps the input as a crash.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#define KELVARA_FUZZ_CHECK(condition)                                                                        \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s:%d: invariant violated: %s\n", __FILE__, __LINE__, #condition);        \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

namespace kelvara::fuzz {

// The input split at every '\n' into words, as a shell would hand a line of
// arguments over (a word may hold any other byte, NUL included).
inline std::vector<std::string> splitWords(const uint8_t* data, std::size_t size) {
    std::vector<std::string> words;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            if (start < text.size())
                words.emplace_back(text.substr(start));
            break;
        }
        words.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

} // namespace kelvara::fuzz
