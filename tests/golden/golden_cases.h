#pragma once

#include <string>
#include <vector>

#include "tools/offscreen.h"

namespace kelvara::golden {

// One stored picture: the scene with the built-in pattern as the desktop, at
// 512 x 384, seed 1 and 60 frames a second unless the case says otherwise.
struct GoldenCase {
    std::string name; // file name in ref/ without ".png"
    OffscreenRun run;
};

// The cases of the golden tests and the README's pictures, in one place.
std::vector<GoldenCase> goldenCases();

// The run of a case by name; an empty name gives the common starting point.
OffscreenRun goldenRun(const std::string& name = {});

// The desktop every case shows.
RgbImage goldenDesktop();

} // namespace kelvara::golden
