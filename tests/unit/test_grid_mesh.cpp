#include <gtest/gtest.h>

#include <GL/gl.h>

#include "alloc_counter.h"
#include "recording_gl.h"
#include "scene/grid_mesh.h"
#include "scene/limits.h"

using namespace kelvara;
namespace glrec = kelvara::glrec;

namespace {

Settings gridSettings(float xDiv, float yDiv, int32_t smooth = 1) {
    Settings s;
    s.x_div = xDiv;
    s.y_div = yDiv;
    s.xyGoraud = smooth;
    s.Mode = kWave1;
    return s;
}

// Draws and returns the calls between glBegin and glEnd.
std::vector<glrec::Call> drawCalls(GridMesh& grid, const Settings& s) {
    glrec::reset();
    grid.draw(s);
    return glrec::calls();
}

} // namespace

TEST(GridMesh, twentyByFifteenLayout) {
    const Settings s = gridSettings(20, 15);
    GridMesh grid;
    grid.rebuild(s);
    ASSERT_EQ(grid.positions.size(), 300u);
    ASSERT_EQ(grid.texCoords.size(), 300u);
    ASSERT_EQ(grid.smoothNormals.size(), 300u);
    ASSERT_EQ(grid.faceNormals.size(), 300u);
    EXPECT_EQ(grid.index(19, 14), 299u);
    EXPECT_EQ(grid.index(3, 2), 2u * 20u + 3u);

    const Vec3& last = grid.positions[grid.index(19, 14)];
    EXPECT_FLOAT_EQ(last.x, 972.8f);
    EXPECT_FLOAT_EQ(last.y, 716.8f);
    EXPECT_EQ(last.z, 0.0f);
    const Vec3& lastTex = grid.texCoords[grid.index(19, 14)];
    EXPECT_FLOAT_EQ(lastTex.x, 0.95f);
    EXPECT_NEAR(lastTex.y, 1.0f - 14.0f / 15.0f, 1e-6); // 1 - 14 * (1/15) in float
    EXPECT_EQ(lastTex.z, 0.0f);

    // Every vertex carries s = x / 1024 and t = 1 - y / 768 of its flat place.
    for (int j = 0; j < 15; ++j)
        for (int i = 0; i < 20; ++i) {
            const std::size_t k = grid.index(i, j);
            EXPECT_NEAR(grid.texCoords[k].x, grid.positions[k].x / 1024.0f, 1e-6);
            EXPECT_NEAR(grid.texCoords[k].y, 1.0f - grid.positions[k].y / 768.0f, 1e-6);
        }

    // 19 x 14 cells of four corners each, in one batch.
    const auto calls = drawCalls(grid, s);
    EXPECT_EQ(glrec::callsNamed("glBegin").size(), 1u);
    EXPECT_EQ(glrec::callsNamed("glEnd").size(), 1u);
    EXPECT_EQ(glrec::callsNamed("glVertex3fv").size(), 19u * 14u * 4u);
    EXPECT_EQ(calls.front(), (glrec::Call{"glBegin", {GL_QUADS}}));
    EXPECT_EQ(calls.back().name, "glEnd");
}

TEST(GridMesh, rebuildReplacesEverythingIncludingTheWave) {
    GridMesh grid;
    grid.rebuild(gridSettings(4, 3));
    grid.positions[5].z = 42.0f;
    grid.draw(gridSettings(4, 3));
    grid.rebuild(gridSettings(5, 4));
    ASSERT_EQ(grid.positions.size(), 20u);
    for (std::size_t k = 0; k < 20; ++k) {
        EXPECT_EQ(grid.positions[k].z, 0.0f);
        EXPECT_EQ(grid.faceNormals[k], Vec3());
        EXPECT_EQ(grid.smoothNormals[k], Vec3());
    }
}

TEST(GridMesh, flatSmoothNormalsFadeAtTheFarEdges) {
    const int xd = 6, yd = 5;
    const Settings s = gridSettings(xd, yd, 1);
    GridMesh grid;
    grid.rebuild(s);
    grid.draw(s);
    for (int j = 0; j < yd; ++j)
        for (int i = 0; i < xd; ++i) {
            const Vec3& n = grid.smoothNormals[grid.index(i, j)];
            float expected;
            if (i == xd - 1 || j == yd - 1)
                expected = 0.0f; // never computed
            else if (i == xd - 2 && j == yd - 2)
                expected = 0.25f; // three of its four cells are uncomputed
            else if (i == xd - 2 || j == yd - 2)
                expected = 0.5f;
            else
                expected = 1.0f;
            EXPECT_EQ(n, Vec3(0, 0, expected)) << "vertex " << i << "," << j;
        }
}

TEST(GridMesh, smoothEmissionGivesEachCornerItsOwnNormal) {
    const Settings s = gridSettings(3, 2, 1);
    GridMesh grid;
    grid.rebuild(s);
    const auto calls = drawCalls(grid, s);
    // Two cells; corners (i,j), (i+1,j), (i+1,j+1), (i,j+1); normal, texcoord, vertex each.
    ASSERT_EQ(calls.size(), 2u + 2u * 4u * 3u);
    const int corners[2][4][2] = {{{0, 0}, {1, 0}, {1, 1}, {0, 1}}, {{1, 0}, {2, 0}, {2, 1}, {1, 1}}};
    std::size_t c = 1;
    for (const auto& cell : corners)
        for (const auto& corner : cell) {
            const std::size_t k = grid.index(corner[0], corner[1]);
            const Vec3& n = grid.smoothNormals[k];
            EXPECT_EQ(calls[c++], (glrec::Call{"glNormal3fv", {n.x, n.y, n.z}}));
            EXPECT_EQ(calls[c++], (glrec::Call{"glTexCoord2f", {grid.texCoords[k].x, grid.texCoords[k].y}}));
            const Vec3& p = grid.positions[k];
            EXPECT_EQ(calls[c++], (glrec::Call{"glVertex3fv", {p.x, p.y, p.z}}));
        }
    // Flat 3 x 2 grid: (0,0) sees cell (0,0) and (1,0) only.
    EXPECT_EQ(calls[1], (glrec::Call{"glNormal3fv", {0, 0, 0.5}}));
}

TEST(GridMesh, flatEmissionSendsOneNormalPerCell) {
    const Settings s = gridSettings(3, 3, 0);
    GridMesh grid;
    grid.rebuild(s);
    const auto calls = drawCalls(grid, s);
    ASSERT_EQ(calls.size(), 2u + 4u * (1u + 4u * 2u));
    for (std::size_t cell = 0; cell < 4; ++cell) {
        const std::size_t at = 1 + cell * 9;
        EXPECT_EQ(calls[at], (glrec::Call{"glNormal3fv", {0, 0, 1}})) << toString(calls[at]);
        for (std::size_t k = 1; k < 9; ++k)
            EXPECT_NE(calls[at + k].name, "glNormal3fv");
    }
    // The smooth normals are left as they were when flat shading is on.
    for (const Vec3& n : grid.smoothNormals)
        EXPECT_EQ(n, Vec3());
}

TEST(GridMesh, faceNormalIgnoresTheFourthCorner) {
    const Settings s = gridSettings(4, 4, 0);
    GridMesh grid;
    grid.rebuild(s);
    // Lift corner (1, 2) of cell (1, 1): that cell's normal stays (0, 0, 1).
    grid.positions[grid.index(1, 2)].z = 30.0f;
    grid.draw(s);
    EXPECT_EQ(grid.faceNormals[grid.index(1, 1)], Vec3(0, 0, 1));
    // The cells that use it as a first, second or third corner tilt.
    EXPECT_NE(grid.faceNormals[grid.index(1, 2)], Vec3(0, 0, 1));
    EXPECT_NE(grid.faceNormals[grid.index(0, 2)], Vec3(0, 0, 1));
    EXPECT_NE(grid.faceNormals[grid.index(0, 1)], Vec3(0, 0, 1));
    // A first-column vertex enters only the face normal of cell (0, j).
    grid.positions[grid.index(1, 2)].z = 0.0f;
    grid.positions[grid.index(0, 2)].z = -25.0f;
    grid.draw(s);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            if (!(i == 0 && j == 2)) {
                EXPECT_EQ(grid.faceNormals[grid.index(i, j)], Vec3(0, 0, 1)) << i << "," << j;
            }
    const Vec3& tilted = grid.faceNormals[grid.index(0, 2)];
    EXPECT_NEAR(tilted.x * tilted.x + tilted.y * tilted.y + tilted.z * tilted.z, 1.0f, 1e-6);
    EXPECT_GT(tilted.z, 0.0f);
}

TEST(GridMesh, degenerateDivisionsDrawAnEmptyBatch) {
    for (const auto& [xd, yd] : {std::pair{0.0f, 19.0f}, {25.0f, 0.0f}, {-3.0f, 19.0f}, {1.0f, 19.0f},
                                  {25.0f, 1.0f}, {0.5f, 0.5f}, {std::numeric_limits<float>::quiet_NaN(), 5.0f}}) {
        const Settings s = gridSettings(xd, yd);
        GridMesh grid;
        grid.rebuild(s);
        const auto calls = drawCalls(grid, s);
        ASSERT_EQ(calls.size(), 2u) << xd << "x" << yd;
        EXPECT_EQ(calls[0], (glrec::Call{"glBegin", {GL_QUADS}}));
        EXPECT_EQ(calls[1].name, "glEnd");
    }
    // One column or one row is still built, just never drawn.
    GridMesh grid;
    grid.rebuild(gridSettings(1, 19));
    EXPECT_EQ(grid.positions.size(), 19u);
}

TEST(GridMesh, hugeDivisionsAreBoundedAndTheSettingKept) {
    Settings s = gridSettings(999999999.0f, 999999999.0f);
    const Settings before = s;
    GridMesh grid;
    grid.rebuild(s);
    EXPECT_EQ(grid.columns(), kMaxDivisions);
    EXPECT_EQ(grid.rows(), kMaxDivisions);
    EXPECT_EQ(grid.positions.size(), static_cast<std::size_t>(kMaxDivisions) * kMaxDivisions);
    // The bounded grid still spans the picture the same way.
    EXPECT_FLOAT_EQ(grid.positions[grid.index(1, 0)].x, 1024.0f / kMaxDivisions);
    EXPECT_FLOAT_EQ(grid.texCoords[grid.index(0, 1)].y, 1.0f - 1.0f / kMaxDivisions);
    EXPECT_EQ(s.x_div, before.x_div);
    EXPECT_EQ(s.y_div, before.y_div);

    glrec::setMode(glrec::Mode::Count);
    glrec::reset();
    grid.draw(s);
    glrec::setMode(glrec::Mode::Record);
    EXPECT_EQ(glrec::callCount(), 2u + (kMaxDivisions - 1u) * (kMaxDivisions - 1u) * 4u * 3u);
}

TEST(GridMesh, fractionalDivisionsNeverIndexPastTheArrays) {
    // A stored 2.5 runs the loops three times: the arrays must hold all of them.
    const Settings s = gridSettings(2.5f, 3.5f);
    GridMesh grid;
    grid.rebuild(s);
    EXPECT_EQ(grid.columns(), 3);
    EXPECT_EQ(grid.rows(), 4);
    EXPECT_EQ(grid.positions.size(), 12u);
    EXPECT_FLOAT_EQ(grid.positions[grid.index(2, 0)].x, 2.0f * 1024.0f / 2.5f);
    grid.draw(s);
}

TEST(GridMesh, drawingAllocatesNothing) {
    const Settings s = gridSettings(25, 19);
    GridMesh grid;
    grid.rebuild(s);
    glrec::setMode(glrec::Mode::Count);
    const std::size_t n = kelvara::testing::allocationsDuring([&] {
        for (int f = 0; f < 10; ++f)
            grid.draw(s);
    });
    glrec::setMode(glrec::Mode::Record);
    EXPECT_EQ(n, 0u);
}
