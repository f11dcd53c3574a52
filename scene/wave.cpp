#include "scene/wave.h"

#include <array>
#include <cassert>
#include <cmath>

#include "scene/limits.h"

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

// Every formula is a function of one term per column and one per row: a column
// shares its x and a row its y, since the wave writes only z. Working out those
// terms once per column and row gives the same doubles as working them out per
// vertex, with far fewer sines and cosines.
using Terms = std::array<double, kMaxDivisions>;

// Writes combine(columnTerm, rowTerm) as the z of every vertex, column by column.
template <typename Combine>
void displace(GridMesh& grid, const Terms& columnTerm, const Terms& rowTerm, Combine combine) {
    const int columns = grid.columns();
    const int rows = grid.rows();
    for (int i = 0; i < columns; ++i)
        for (int j = 0; j < rows; ++j)
            grid.positions[grid.index(i, j)].z = static_cast<float>(combine(columnTerm[i], rowTerm[j]));
}

} // namespace

void applyWave(GridMesh& grid, const Settings& settings, float seconds, WaveCentre centre) {
    const int columns = grid.columns();
    const int rows = grid.rows();
    assert(columns <= kMaxDivisions && rows <= kMaxDivisions);
    if (settings.Mode < kWave1 || settings.Mode > kWave4)
        return; // no formula: the grid keeps its heights
    if (columns == 0 || rows == 0)
        return; // nothing built: not even a first column or row to read

    const double t = static_cast<double>(seconds) * kTimeScale;
    const double a = settings.xyAmplitude;
    const double sx = settings.xySizeX;
    const double sy = settings.xySizeY;
    const double phase1 = static_cast<double>(settings.xyFrequency1) * t * kTimeRate;
    const double phase2 = static_cast<double>(settings.xyFrequency2) * t * kTimeRate;

    Terms colTerm; // filled below for i < columns only
    Terms rowTerm;
    for (int i = 0; i < columns; ++i) {
        const double dx =
            static_cast<double>(grid.positions[grid.index(i, 0)].x) - static_cast<double>(centre.x);
        switch (settings.Mode) {
        case kWave1:
            colTerm[i] = std::cos(dx * sx * kPlaneRate + phase1);
            break;
        // Wave2 takes the raw offsets in units as angles: the pattern depends on the grid spacing.
        case kWave2:
            colTerm[i] = std::sin(dx + phase1);
            break;
        case kWave3:
            colTerm[i] = dx * dx * sx;
            break;
        default:
            colTerm[i] = dx * dx * sx * kRingRate;
            break;
        }
    }
    for (int j = 0; j < rows; ++j) {
        const double dy =
            static_cast<double>(grid.positions[grid.index(0, j)].y) - static_cast<double>(centre.y);
        switch (settings.Mode) {
        case kWave1:
            rowTerm[j] = std::cos(dy * sy * kPlaneRate + phase2);
            break;
        case kWave2:
            rowTerm[j] = a * std::sin(dy + phase2);
            break;
        case kWave3:
            rowTerm[j] = dy * dy * sy;
            break;
        default:
            rowTerm[j] = dy * dy * sy * kRingRateY4;
            break;
        }
    }

    switch (settings.Mode) {
    case kWave1: // A (cos(row) + cos(column))
        displace(grid, colTerm, rowTerm, [a](double c, double r) { return a * (r + c); });
        break;
    case kWave2: // A sin(row) sin(column)
        displace(grid, colTerm, rowTerm, [](double c, double r) { return r * c; });
        break;
    case kWave3: // ring wave about the centre
        displace(grid, colTerm, rowTerm,
                 [a, phase1](double c, double r) { return a * std::sin((c + r) * kRingRate + phase1); });
        break;
    default: // the fourth wave: oval rings, three times as high
        displace(grid, colTerm, rowTerm, [a, phase1](double c, double r) {
            return kHeight4 * a * std::cos(kRingScale4 * (c + r) + phase1);
        });
        break;
    }
}

} // namespace kelvara
