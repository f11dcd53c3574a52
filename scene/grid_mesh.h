#pragma once

#include <cstddef>
#include <vector>

#include "scene/vec3.h"
#include "settings/settings.h"

namespace kelvara {

// The textured surface of the wave modes: x_div columns by y_div rows of
// vertices over the 1024 x 768 virtual screen. Vertex (i, j) lives at index
// j * columns() + i. Cell spacing is 1024 / x_div, so the mesh stops one cell
// short of the right and top edges.
class GridMesh {
  public:
    // Replaces the arrays for the current x_div and y_div (bounded by
    // kMaxDivisions; the stored settings are not changed). The size used here is
    // remembered, so a later draw or wave can never index past the arrays.
    void rebuild(const Settings& settings);

    // Recomputes face normals (and smooth normals when xyGoraud is on) from the
    // current positions and emits every cell as one GL_QUADS batch.
    void draw(const Settings& settings);

    int columns() const { return columns_; }
    int rows() const { return rows_; }
    std::size_t index(int i, int j) const {
        return static_cast<std::size_t>(j) * static_cast<std::size_t>(columns_) + static_cast<std::size_t>(i);
    }

    std::vector<Vec3> positions;     // virtual-screen units; only z changes after a rebuild
    std::vector<Vec3> texCoords;     // (s, t, 0)
    std::vector<Vec3> smoothNormals; // not unit length: GL_NORMALIZE rescales them
    std::vector<Vec3> faceNormals;   // normal of the cell whose first corner is this vertex

  private:
    int columns_ = 0;
    int rows_ = 0;
};

} // namespace kelvara
