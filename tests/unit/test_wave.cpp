#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "alloc_counter.h"
#include "scene/wave.h"

using namespace kelvara;

namespace {

Settings waveSettings(int32_t mode, float xDiv = 25, float yDiv = 19) {
    Settings s;
    s.Mode = mode;
    s.x_div = xDiv;
    s.y_div = yDiv;
    return s;
}

std::vector<float> heightsAt(const Settings& s, float seconds, WaveCentre centre = {}) {
    GridMesh grid;
    grid.rebuild(s);
    applyWave(grid, s, seconds, centre);
    std::vector<float> z;
    for (const Vec3& p : grid.positions)
        z.push_back(p.z);
    return z;
}

constexpr int32_t kWaveModes[] = {kWave1, kWave2, kWave3, kWave4};

} // namespace

TEST(Wave, heightsStayWithinEachModesBoundAndComeNearIt) {
    // Wave1 adds two waves, Wave2 and Wave3 are single ones, the fourth is three times as high.
    const float bound[] = {0, 2, 1, 1, 3};
    for (const int32_t mode : kWaveModes) {
        for (const float amplitude : {10.0f, 3.0f}) {
            Settings s = waveSettings(mode, 40, 30);
            s.xyAmplitude = amplitude;
            s.xyFrequency2 = 7; // the two waves of Wave1 and Wave2 out of step
            GridMesh grid;
            grid.rebuild(s);
            const std::vector<Vec3> flat = grid.positions;
            const float limit = bound[mode] * amplitude;
            float highest = 0;
            for (int k = 0; k < 400; ++k) {
                applyWave(grid, s, 0.173f * static_cast<float>(k), {});
                for (std::size_t v = 0; v < flat.size(); ++v) {
                    const Vec3& p = grid.positions[v];
                    ASSERT_LE(std::abs(p.z), limit) << "mode " << mode << " vertex " << v;
                    ASSERT_EQ(p.x, flat[v].x);
                    ASSERT_EQ(p.y, flat[v].y);
                    highest = std::max(highest, std::abs(p.z));
                }
            }
            // A wrong scale factor shows here even when it keeps within the bound.
            EXPECT_GT(highest, 0.9f * limit) << "mode " << mode;
        }
    }
}

TEST(Wave, oneVertexByHand) {
    // Vertex (3, 2) of 25 x 19: dx = 122.88 - 512, dy = 80.842105 - 384; at 2 s
    // t = 200, so the F1 phase is 5 rad and the F2 phase 2 rad.
    Settings s = waveSettings(kWave1);
    s.xyAmplitude = 7;
    s.xyFrequency1 = 10;
    s.xyFrequency2 = 4;
    s.xySizeX = 60;
    s.xySizeY = 30;
    const double expected[] = {0, -2.9867108011500982, -2.207782375552758, -6.3429009597128685,
                               -15.002963562757376};
    for (const int32_t mode : kWaveModes) {
        s.Mode = mode;
        GridMesh grid;
        grid.rebuild(s);
        applyWave(grid, s, 2.0f);
        EXPECT_NEAR(grid.positions[grid.index(3, 2)].z, expected[mode], 2e-4) << "mode " << mode;
    }
}

TEST(Wave, settingsThatTakePartAndThoseThatDoNot) {
    struct Change {
        float Settings::*field;
        float value;
        bool matters[5];
    };
    const Change changes[] = {
        {&Settings::xySizeX, 23, {false, true, false, true, true}},
        {&Settings::xySizeY, 41, {false, true, false, true, true}},
        {&Settings::xyFrequency1, 3, {false, true, true, true, true}},
        {&Settings::xyFrequency2, 3, {false, true, true, false, false}},
    };
    for (const int32_t mode : kWaveModes) {
        const Settings base = waveSettings(mode);
        const std::vector<float> reference = heightsAt(base, 1.7f);
        for (const Change& c : changes) {
            Settings changed = base;
            changed.*c.field = c.value;
            const bool same = heightsAt(changed, 1.7f) == reference;
            EXPECT_EQ(same, !c.matters[mode]) << "mode " << mode << " field value " << c.value;
        }
    }
}

TEST(Wave, stillOrFlatSurfaces) {
    for (const int32_t mode : kWaveModes) {
        // No amplitude: flat at every time.
        Settings flat = waveSettings(mode);
        flat.xyAmplitude = 0;
        for (const float seconds : {0.0f, 1.3f, 400.0f})
            for (const float z : heightsAt(flat, seconds))
                ASSERT_EQ(z, 0.0f) << "mode " << mode;

        // No frequency: shaped but still.
        Settings still = waveSettings(mode);
        still.xyFrequency1 = 0;
        still.xyFrequency2 = 0;
        const std::vector<float> early = heightsAt(still, 0.5f);
        EXPECT_EQ(heightsAt(still, 93.0f), early) << "mode " << mode;
        EXPECT_TRUE(std::any_of(early.begin(), early.end(), [](float z) { return z != 0.0f; }))
            << "mode " << mode;
    }
}

TEST(Wave, modesWithoutAFormulaLeaveHeightsAlone) {
    for (const int32_t mode : {5, -1, 7, 0}) {
        const Settings s = waveSettings(mode);
        GridMesh grid;
        grid.rebuild(s);
        for (std::size_t k = 0; k < grid.positions.size(); ++k)
            grid.positions[k].z = static_cast<float>(k % 7);
        const std::vector<Vec3> before = grid.positions;
        applyWave(grid, s, 3.0f);
        EXPECT_EQ(grid.positions, before) << "mode " << mode;
    }
}

TEST(Wave, offsetsAreMeasuredFromTheCentre) {
    // Moving the centre one column to the right moves the ring wave with it.
    const Settings s = waveSettings(kWave3, 16, 12);
    const float w = 1024.0f / 16;
    const std::vector<float> centred = heightsAt(s, 0.8f);
    const std::vector<float> moved = heightsAt(s, 0.8f, {512.0f + w, 384.0f});
    for (int j = 0; j < 12; ++j)
        for (int i = 0; i + 1 < 16; ++i)
            EXPECT_NEAR(moved[j * 16 + i + 1], centred[j * 16 + i], 1e-4) << i << "," << j;
}

TEST(Wave, walksTheBuiltGridNotTheSettingsAndAllocatesNothing) {
    // A grid built at one size and settings that have changed since, or were
    // never built at all, must not be indexed past their arrays.
    const Settings built = waveSettings(kWave1, 4, 3);
    GridMesh grid;
    grid.rebuild(built);
    Settings bigger = built;
    bigger.x_div = 100;
    bigger.y_div = 90;
    const std::size_t allocations =
        kelvara::testing::allocationsDuring([&] { applyWave(grid, bigger, 1.0f); });
    EXPECT_EQ(allocations, 0u);
    ASSERT_EQ(grid.positions.size(), 12u);
    std::vector<float> written;
    for (const Vec3& p : grid.positions)
        written.push_back(p.z);
    EXPECT_EQ(written, heightsAt(built, 1.0f));

    GridMesh unbuilt;
    applyWave(unbuilt, bigger, 1.0f);
    EXPECT_TRUE(unbuilt.positions.empty());

    // Columns but no rows (or the other way round): no vertex at all.
    for (const auto& [x, y] : {std::pair{25.0f, 0.0f}, std::pair{0.0f, 19.0f}, std::pair{25.0f, -3.0f}}) {
        GridMesh line;
        line.rebuild(waveSettings(kWave3, x, y));
        applyWave(line, waveSettings(kWave3, x, y), 1.0f);
        EXPECT_TRUE(line.positions.empty());
    }
}
