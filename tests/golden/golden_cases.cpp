#include "golden_cases.h"

namespace kelvara::golden {

namespace {

OffscreenRun baseRun() {
    OffscreenRun run;
    run.width = 512;
    run.height = 384;
    run.seed = 1;
    run.intervalMs = 1000.0 / 60.0;
    return run;
}

// A camera held still, tilted 25 degrees so the bottom comes nearer, at zoom
// 0.7: the waves' relief shows, and the whole picture stays in view. (A swing
// time below 1 holds each oscillator at its high bound.)
void tiltedCamera(Settings& s) {
    s.rotX0 = -25;
    s.rotX1 = 0;
    s.rotY0 = 0;
    s.rotZ0 = 0;
    s.zoom0 = 7;
    s.zoom1 = 0;
    s.xyAmplitude = 20;
}

GoldenCase waveCase(int32_t mode) {
    GoldenCase c{"wave" + std::to_string(mode), baseRun()};
    c.run.settings.Mode = mode;
    tiltedCamera(c.run.settings);
    c.run.frames = 90;
    return c;
}

} // namespace

std::vector<GoldenCase> goldenCases() {
    std::vector<GoldenCase> cases;

    // Frame 2 is the first that draws the cut picture. With the camera moving,
    // the default zoom swing makes it a speck at that frame, so the camera
    // stays still here.
    GoldenCase intact{"explode_intact", baseRun()};
    intact.run.settings.enableMovement = 0;
    intact.run.frames = 2;
    cases.push_back(intact);

    // Default settings: shards launched, turning and splitting, the camera swinging.
    GoldenCase flight{"explode_flight", baseRun()};
    flight.run.frames = 120;
    cases.push_back(flight);

    // The logo in place of the desktop, through the same set-up.
    GoldenCase logo{"logo_intact", baseRun()};
    logo.run.settings.useOGL = 1;
    logo.run.settings.enableMovement = 0;
    logo.run.frames = 2;
    cases.push_back(logo);

    for (int32_t mode = 1; mode <= 4; ++mode) {
        cases.push_back(waveCase(mode));
    }
    return cases;
}

OffscreenRun goldenRun(const std::string& name) {
    for (const GoldenCase& c : goldenCases()) {
        if (c.name == name) {
            return c.run;
        }
    }
    return baseRun();
}

RgbImage goldenDesktop() {
    return makeTestPattern(1024, 768);
}

} // namespace kelvara::golden
