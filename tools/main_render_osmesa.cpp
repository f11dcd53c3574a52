// kelvara-render: the scene rendered off-screen into PNG pictures, with no
// window and no X server (Mesa's OSMesa). The same seed, settings and frame
// interval give the same pictures; the golden tests and the README's pictures
// come from here.
#include <cstdio>
#include <string>

#include "tools/offscreen.h"
#include "tools/png_io.h"
#include "tools/render_options.h"

using namespace kelvara;

namespace {

// The desktop stands in at the size of a 1024 x 768 screen; the texture step
// scales it like a captured screen.
constexpr int32_t kPatternWidth = 1024;
constexpr int32_t kPatternHeight = 768;

} // namespace

int main(int argc, char** argv) {
    RenderOptions options;
    std::string error;
    if (!parseRenderOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "kelvara-render: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(renderHelpText().c_str(), stdout);
        return 0;
    }

    RgbImage desktop;
    if (options.picture.empty()) {
        desktop = makeTestPattern(kPatternWidth, kPatternHeight);
    } else if (!readPng(options.picture, desktop, error)) {
        std::fprintf(stderr, "kelvara-render: %s\n", error.c_str());
        return 1;
    }

    const bool numbered = !options.run.captureAt.empty();
    const FrameSink save = [&](int32_t frame, const RgbImage& picture, std::string& why) {
        const std::string path = numbered ? renderOutputPath(options.out, frame) : options.out;
        return writePng(path, picture, why);
    };
    if (!renderOffscreen(options.run, desktop, save, error)) {
        std::fprintf(stderr, "kelvara-render: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
