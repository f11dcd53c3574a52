#include "scene/wave.h"

#include <cmath>

namespace kelvara {

namespace {

// The formulas' constants are single-precision values promoted to double, so
// both builds see the same (slightly inexact) numbers.
constexpr double kTimeScale = 100.0f;     // waveTime units per second
constexpr double kTimeRate = 0.0025f;     // radians per waveTime unit per unit of frequency
constexpr double kPlaneRate = 0.0001f;    // Wave1: radians per unit per unit of size
constexpr double kRingRate = 0.000001f;   // Wave3 and the fourth wave, along x
constexpr double kRingRateY4 = 0.000002f; // the fourth wave, along y
constexpr double kRingScale4 = 0.25f;
constexpr double kHeight4 = 3.0f;

// Visits every vertex column by column and stores height(dx, dy) as its z.
template <typename Height> void displace(GridMesh& grid, WaveCentre centre, Height height) {
    const int columns = grid.columns();
    const int rows = grid.rows();
    for (int i = 0; i < columns; ++i) {
        for (int j = 0; j < rows; ++j) {
            Vec3& p = grid.positions[grid.index(i, j)];
            const double dx = static_cast<double>(p.x) - static_cast<double>(centre.x);
            const double dy = static_cast<double>(p.y) - static_cast<double>(centre.y);
            p.z = static_cast<float>(height(dx, dy));
        }
    }
}

} // namespace

void applyWave(GridMesh& grid, const Settings& settings, float seconds, WaveCentre centre) {
    const double t = static_cast<double>(seconds) * kTimeScale;
    const double a = settings.xyAmplitude;
    const double sx = settings.xySizeX;
    const double sy = settings.xySizeY;
    // Phases that depend only on time, the same for every vertex.
    const double phase1 = static_cast<double>(settings.xyFrequency1) * t * kTimeRate;
    const double phase2 = static_cast<double>(settings.xyFrequency2) * t * kTimeRate;

    switch (settings.Mode) {
    case kWave1:
        displace(grid, centre, [=](double dx, double dy) {
            return a * (std::cos(dy * sy * kPlaneRate + phase2) + std::cos(dx * sx * kPlaneRate + phase1));
        });
        break;
    case kWave2:
        // The raw offsets in units are the angles: the pattern depends on the grid spacing.
        displace(grid, centre,
                 [=](double dx, double dy) { return a * std::sin(dy + phase2) * std::sin(dx + phase1); });
        break;
    case kWave3:
        displace(grid, centre, [=](double dx, double dy) {
            return a * std::sin((dx * dx * sx + dy * dy * sy) * kRingRate + phase1);
        });
        break;
    case kWave4:
        displace(grid, centre, [=](double dx, double dy) {
            return kHeight4 * a *
                   std::cos(kRingScale4 * (dx * dx * sx * kRingRate + dy * dy * sy * kRingRateY4) + phase1);
        });
        break;
    default:
        break; // no formula: the grid keeps its heights
    }
}

} // namespace kelvara
