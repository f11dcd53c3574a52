#include "scene/grid_mesh.h"

#include <cmath>

#include "scene/gl.h"
#include "scene/limits.h"

namespace kelvara {

void GridMesh::rebuild(const Settings& settings) {
    const float xDiv = boundedDivisions(settings.x_div);
    const float yDiv = boundedDivisions(settings.y_div);
    columns_ = divisionCount(settings.x_div);
    rows_ = divisionCount(settings.y_div);
    const std::size_t count = static_cast<std::size_t>(columns_) * static_cast<std::size_t>(rows_);

    // assign() keeps no stale element: every array is the new size, zero-filled.
    positions.assign(count, Vec3{});
    texCoords.assign(count, Vec3{});
    smoothNormals.assign(count, Vec3{});
    faceNormals.assign(count, Vec3{});
    if (count == 0)
        return;

    const float w = 1024.0f / xDiv;
    const float h = 768.0f / yDiv;
    const float du = 1.0f / xDiv;
    const float dv = 1.0f / yDiv;
    for (int i = 0; i < columns_; ++i) {
        for (int j = 0; j < rows_; ++j) {
            const std::size_t k = index(i, j);
            const float fi = static_cast<float>(i);
            const float fj = static_cast<float>(j);
            texCoords[k] = Vec3(fi * du, 1.0f - fj * dv, 0.0f);
            positions[k] = Vec3(fi * w, fj * h, 0.0f);
        }
    }
}

void GridMesh::draw(const Settings& settings) {
    const int cols = columns_;
    const int rowCount = rows_;
    const bool smooth = settings.xyGoraud != 0;

    // Face normals first, then smooth normals: a smooth normal needs the face
    // normals of neighbouring cells from this same frame.
    for (int j = 0; j < rowCount - 1; ++j) {
        for (int i = 0; i < cols - 1; ++i) {
            const std::size_t g = index(i, j);
            const std::size_t o = g + static_cast<std::size_t>(cols);
            const Vec3& p0 = positions[g];
            const Vec3& p1 = positions[g + 1];
            const Vec3& p2 = positions[o + 1];
            const Vec3 a(p0.x - p1.x, p0.y - p1.y, p0.z - p1.z);
            const Vec3 b(p2.x - p1.x, p2.y - p1.y, p2.z - p1.z);
            const Vec3 n(b.y * a.z - b.z * a.y, b.z * a.x - b.x * a.z, b.x * a.y - b.y * a.x);
            const float inv = 1.0f / std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
            faceNormals[g] = Vec3(n.x * inv, n.y * inv, n.z * inv);
        }
    }
    if (smooth) {
        for (int j = 0; j < rowCount - 1; ++j) {
            for (int i = 0; i < cols - 1; ++i) {
                const std::size_t g = index(i, j);
                const std::size_t o = g + static_cast<std::size_t>(cols);
                // The cell itself and its +x, +x+y and +y neighbours, in that order;
                // uncomputed entries of the last column and row count as zero.
                const Vec3& f0 = faceNormals[g];
                const Vec3& f1 = faceNormals[g + 1];
                const Vec3& f2 = faceNormals[o + 1];
                const Vec3& f3 = faceNormals[o];
                smoothNormals[g] =
                    Vec3(0.25f * (f0.x + f1.x + f2.x + f3.x), 0.25f * (f0.y + f1.y + f2.y + f3.y),
                         0.25f * (f0.z + f1.z + f2.z + f3.z));
            }
        }
    }

    glBegin(GL_QUADS);
    for (int j = 0; j < rowCount - 1; ++j) {
        for (int i = 0; i < cols - 1; ++i) {
            const std::size_t g = index(i, j);
            const std::size_t o = g + static_cast<std::size_t>(cols);
            const std::size_t corners[4] = {g, g + 1, o + 1, o};
            if (!smooth)
                glNormal3fv(faceNormals[g].data());
            for (const std::size_t c : corners) {
                if (smooth)
                    glNormal3fv(smoothNormals[c].data());
                glTexCoord2f(texCoords[c].x, texCoords[c].y);
                glVertex3fv(positions[c].data());
            }
        }
    }
    glEnd();
}

} // namespace kelvara
