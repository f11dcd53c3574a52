#pragma once

#include "scene/grid_mesh.h"
#include "settings/settings.h"

namespace kelvara {

// The point the wave offsets are measured from (the middle of the virtual screen).
struct WaveCentre {
    float x = 512.0f;
    float y = 384.0f;
};

// Writes the z of every grid vertex from the wave formula of `Mode` (1 to 4) at
// the given seconds since start; other modes leave z as it is. Heights are
// computed in double precision and stored as floats. Allocates nothing.
void applyWave(GridMesh& grid, const Settings& settings, float seconds, WaveCentre centre = {});

} // namespace kelvara
