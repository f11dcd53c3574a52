#pragma once

#include <string>

#include "settings/settings.h"
#include "tools/offscreen.h"

namespace kelvara {

// The command line of kelvara-render, the off-screen picture tool.
struct RenderOptions {
    OffscreenRun run;
    std::string picture; // PNG shown as the desktop; empty: the built-in test pattern
    std::string out;     // PNG written; with --at, a name holding one %d (or %0Nd) for the frame
    bool help = false;
};

// Parses argv (getopt_long). Returns false with a one-line reason for anything
// it cannot use: an unknown option, a missing or malformed value, an unknown
// setting, frames out of range, no output file.
bool parseRenderOptions(int argc, char** argv, RenderOptions& options, std::string& error);

// Sets one of the settings from "name=value", by its stored name. Integer
// settings take a whole number, float settings any finite number.
bool applyRenderSetting(Settings& settings, const std::string& assignment, std::string& error);

// The output file for a frame: the pattern with its %d or %0Nd replaced by the
// frame number ("%%" is a literal %). Empty when the pattern holds no
// placeholder or more than one.
std::string renderOutputPath(const std::string& pattern, int32_t frame);

std::string renderHelpText();

} // namespace kelvara
