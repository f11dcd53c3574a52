#pragma once

#include <string>

namespace kelvara {

// The command line of kelvara-limit.
struct LimitOptions {
    double seconds = 10;        // run length from the first frame presented, > 0, at most a day
    bool waitForRetrace = true; // --no-vsync turns it off
    std::string statsFile;      // empty: no statistics file
    bool help = false;
};

struct ParsedLimitOptions {
    bool ok = false;
    std::string error; // one line, when !ok
    LimitOptions options;
};

// Reads argv (argv[0] is the program's name); options take one or two dashes.
ParsedLimitOptions parseLimitOptions(int argc, const char* const* argv);

inline constexpr const char* kLimitUsage =
    "usage: kelvara-limit [--seconds S] [--no-vsync] [--stats FILE]\n"
    "Draws one full-screen textured, lit quad per frame with the saver's GL state\n"
    "for S seconds (default 10): the frame rate this display allows the saver.\n";

} // namespace kelvara
