#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "gl/recording_gl.h"
#include "scene/explode.h"
#include "scene/limits.h"
#include "unit/alloc_counter.h"

using namespace kelvara;

namespace {

constexpr float kSixtyHertzStep = 25.0f / 60.0f;

Settings explodeSettings(float xDiv, float yDiv, int32_t children) {
    Settings s;
    s.x_div = xDiv;
    s.y_div = yDiv;
    s.genChildren = children;
    return s;
}

// The generator written out on its own, in 64-bit arithmetic, so the expected
// draws do not come from the code under test.
struct Reference {
    uint64_t state;
    int next() {
        state = (state * 214013u + 2531011u) % 4294967296u;
        return static_cast<int>((state / 65536u) % 32768u);
    }
};

std::vector<int> referenceDraws(uint32_t seed, int n) {
    Reference r{seed};
    std::vector<int> out;
    for (int k = 0; k < n; ++k)
        out.push_back(r.next());
    return out;
}

uint32_t stateAfter(uint32_t seed, int draws) {
    Reference r{seed};
    for (int k = 0; k < draws; ++k)
        r.next();
    return static_cast<uint32_t>(r.state);
}

// The motion six consecutive draws starting at `d[at]` give.
void expectMotionFrom(const Shard& s, const std::vector<int>& d, std::size_t at) {
    EXPECT_EQ(s.velocity.z, static_cast<float>(d[at] % 100 - 30));
    EXPECT_EQ(s.velocity.y, static_cast<float>(d[at + 1] % 60 - 30));
    EXPECT_EQ(s.velocity.x, static_cast<float>(d[at + 2] % 60 - 30));
    EXPECT_NEAR(s.spin.z, (d[at + 3] % 100) / 10.0 - 5.0, 1e-5);
    EXPECT_NEAR(s.spin.y, (d[at + 4] % 100) / 10.0 - 5.0, 1e-5);
    EXPECT_NEAR(s.spin.x, (d[at + 5] % 100) / 10.0 - 5.0, 1e-5);
}

Shard flyingShard(float marker) {
    Shard s;
    s.launched = true;
    s.resting = false;
    s.velocity = {10, 0, 0};
    s.position = {marker, 0, 0};
    return s;
}

Shard stoppedShard(float marker, int32_t generation) {
    Shard s;
    s.launched = true;
    s.generation = generation;
    s.position = {marker, 0, 0};
    s.frontCorner = {-8, -6, 0};
    s.backCorner = {8, 6, -4.2f};
    return s;
}

// One explode frame as the frame loop runs it: draw, update, step.
void runFrame(ShardList& list, const Settings& settings, Rng& rng, bool draw = false) {
    if (draw)
        for (const Shard& s : list.items())
            s.draw();
    for (Shard& s : list.items())
        s.update(kSixtyHertzStep, kRestThreshold);
    explodeStep(list, settings, rng);
}

bool isIntactPicture(const ShardList& list, std::size_t cells) {
    return list.size() == cells && std::all_of(list.items().begin(), list.items().end(), [](const Shard& s) {
               return !s.launched && s.resting && s.generation == 0;
           });
}

// The GL recorder in counting mode for the scope: long runs would otherwise log
// millions of calls.
struct CountingGl {
    CountingGl() {
        glrec::setMode(glrec::Mode::Count);
        glrec::reset();
    }
    ~CountingGl() {
        glrec::setMode(glrec::Mode::Record);
        glrec::reset();
    }
};

} // namespace

TEST(Explode, defaultCutTilesPictureColumnByColumn) {
    ShardList list;
    explodeBuild(list, explodeSettings(25, 19, 2));
    ASSERT_EQ(list.size(), 475u);

    const Shard& first = list[0];
    EXPECT_NEAR(first.backCorner.x - first.frontCorner.x, 40.96f, 1e-4f);
    EXPECT_NEAR(first.backCorner.y - first.frontCorner.y, 40.421053f, 1e-4f);
    EXPECT_NEAR(-first.backCorner.z, 24.414316f, 1e-4f);
    EXPECT_EQ(first.frontCorner.z, 0.0f);
    EXPECT_NEAR(first.position.x, 20.48f, 1e-4f);
    EXPECT_NEAR(first.position.y, 20.210526f, 1e-4f);
    EXPECT_EQ(first.position.z, 0.0f);
    const float tex[4][2] = {{0, 1}, {0.04f, 1}, {0.04f, 0.94736844f}, {0, 0.94736844f}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(first.texCorner[k][0], tex[k][0], 1e-6f) << k;
        EXPECT_NEAR(first.texCorner[k][1], tex[k][1], 1e-6f) << k;
    }
    // Column 1, row 0 follows the 19 rows of column 0.
    EXPECT_NEAR(list[19].position.x, 61.44f, 1e-4f);
    EXPECT_NEAR(list[19].position.y, 20.210526f, 1e-4f);
    EXPECT_NEAR(list[18].position.y, 747.78947f, 1e-3f);

    for (int i = 0; i < 25; ++i) {
        for (int j = 0; j < 19; ++j) {
            const Shard& s = list[static_cast<std::size_t>(i * 19 + j)];
            EXPECT_NEAR(s.position.x, (i + 0.5) * 1024.0 / 25, 1e-3) << i << "," << j;
            EXPECT_NEAR(s.position.y, (j + 0.5) * 768.0 / 19, 1e-3) << i << "," << j;
            // Every cell shows its place on the screen: s = x / 1024, t = 1 - y / 768.
            const double left = s.position.x + s.frontCorner.x, right = s.position.x + s.backCorner.x;
            const double low = s.position.y + s.frontCorner.y, high = s.position.y + s.backCorner.y;
            EXPECT_NEAR(s.texCorner[0][0], left / 1024, 1e-5);
            EXPECT_NEAR(s.texCorner[0][1], 1 - low / 768, 1e-5);
            EXPECT_NEAR(s.texCorner[2][0], right / 1024, 1e-5);
            EXPECT_NEAR(s.texCorner[2][1], 1 - high / 768, 1e-5);
            EXPECT_TRUE(!s.launched && s.resting && s.generation == 0);
            EXPECT_EQ(s.velocity, Vec3());
            EXPECT_EQ(s.spin, Vec3());
            EXPECT_EQ(s.rotation, Vec3());
        }
    }
    // The cells reach the picture's edges.
    const Shard& last = list[474];
    EXPECT_NEAR(last.position.x + last.backCorner.x, 1024.0f, 1e-3f);
    EXPECT_NEAR(last.position.y + last.backCorner.y, 768.0f, 1e-3f);
    EXPECT_NEAR(last.texCorner[2][0], 1.0f, 1e-6f);
    EXPECT_NEAR(last.texCorner[2][1], 0.0f, 1e-6f);
}

TEST(Explode, singleCellIsCutByFirstStepAndLaunchedByTheNext) {
    const Settings settings = explodeSettings(1, 1, 2);
    ShardList list;
    Rng rng(99);

    explodeStep(list, settings, rng); // empty list: cut, nothing waiting before that
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(rng.state(), 99u);
    const Shard& s = list[0];
    EXPECT_EQ(s.position, Vec3(512, 384, 0));
    EXPECT_EQ(s.frontCorner, Vec3(-512, -384, 0));
    EXPECT_NEAR(s.backCorner.x, 512.0f, 1e-4f);
    EXPECT_NEAR(s.backCorner.y, 384.0f, 1e-4f);
    EXPECT_NEAR(s.backCorner.z, -537.6f, 1e-3f);
    EXPECT_FALSE(s.launched);

    // One waiting shard: r mod 1 is always 0. Draw 1 decides, draws 2..7 are the motion.
    explodeStep(list, settings, rng);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_TRUE(list[0].launched);
    EXPECT_FALSE(list[0].resting);
    expectMotionFrom(list[0], referenceDraws(99, 7), 1);
    EXPECT_EQ(rng.state(), stateAfter(99, 7));
}

TEST(Explode, launchChanceUsesTheWaitingCountFromBeforeThePass) {
    // Two waiting shards: each leaves when its draw is even, and the second's
    // draw comes after the first's motion draws when the first leaves. A count
    // refreshed after the first launch (1) would launch the second every time.
    const Settings settings = explodeSettings(1, 2, 2);
    int secondStayed = 0;
    for (uint32_t seed = 1; seed <= 64; ++seed) {
        ShardList list;
        explodeBuild(list, settings);
        Rng rng(seed);
        explodeStep(list, settings, rng);

        const std::vector<int> d = referenceDraws(seed, 14);
        const bool firstLeaves = d[0] % 2 == 0;
        const std::size_t second = firstLeaves ? 7 : 1;
        const bool secondLeaves = d[second] % 2 == 0;
        ASSERT_EQ(list.size(), 2u);
        EXPECT_EQ(list[0].launched, firstLeaves) << seed;
        EXPECT_EQ(list[0].resting, !firstLeaves) << seed;
        EXPECT_EQ(list[1].launched, secondLeaves) << seed;
        if (firstLeaves)
            expectMotionFrom(list[0], d, 1);
        else
            EXPECT_EQ(list[0].velocity, Vec3());
        if (secondLeaves)
            expectMotionFrom(list[1], d, second + 1);
        const int used = 2 + (firstLeaves ? 6 : 0) + (secondLeaves ? 6 : 0);
        EXPECT_EQ(rng.state(), stateAfter(seed, used)) << seed;
        secondStayed += firstLeaves && !secondLeaves;
    }
    EXPECT_GT(secondStayed, 0) << "no seed exercised a kept count";
}

TEST(Explode, noWaitingShardMeansNoDraw) {
    ShardList list;
    for (int k = 0; k < 5; ++k)
        list.items().push_back(flyingShard(static_cast<float>(k)));
    Rng rng(1234);
    explodeStep(list, explodeSettings(25, 19, 2), rng);
    EXPECT_EQ(rng.state(), 1234u);
    ASSERT_EQ(list.size(), 5u);
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(list[k].position.x, static_cast<float>(k));
        EXPECT_EQ(list[k].velocity, Vec3(10, 0, 0));
    }
}

TEST(Explode, childrenTakeTheCellAndHalfTheBox) {
    ShardList list;
    Shard parent = stoppedShard(300, 1);
    parent.position = {300, 400, 50};
    parent.rotation = {30, 40, 50};
    parent.spin = {1, 1, 1};
    for (int k = 0; k < 4; ++k) {
        parent.texCorner[k][0] = 0.1f * static_cast<float>(k);
        parent.texCorner[k][1] = 0.9f - 0.1f * static_cast<float>(k);
    }
    list.items().push_back(parent);

    Rng rng(777);
    explodeStep(list, explodeSettings(25, 19, 2), rng);

    // The parent is gone; its two children follow in draw order.
    ASSERT_EQ(list.size(), 2u);
    const std::vector<int> d = referenceDraws(777, 12);
    for (std::size_t c = 0; c < 2; ++c) {
        const Shard& child = list[c];
        EXPECT_EQ(child.generation, 2);
        EXPECT_EQ(child.position, parent.position);
        EXPECT_EQ(child.frontCorner, Vec3(-4, -3, 0));
        EXPECT_EQ(child.backCorner, Vec3(4, 3, -2.1f));
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(child.texCorner[k][0], parent.texCorner[k][0]);
            EXPECT_EQ(child.texCorner[k][1], parent.texCorner[k][1]);
        }
        EXPECT_EQ(child.rotation, Vec3());
        EXPECT_TRUE(child.launched);
        EXPECT_FALSE(child.resting);
        expectMotionFrom(child, d, 6 * c);
    }
    EXPECT_EQ(rng.state(), stateAfter(777, 12));
}

TEST(Explode, randomMotionStaysInItsRanges) {
    // Many splits into 16 children give thousands of fresh motions.
    const Settings settings = explodeSettings(25, 19, 16);
    Rng rng(4242);
    float vMin[3] = {1e9f, 1e9f, 1e9f}, vMax[3] = {-1e9f, -1e9f, -1e9f};
    float sMin = 1e9f, sMax = -1e9f;
    for (int round = 0; round < 250; ++round) {
        ShardList list;
        list.items().push_back(stoppedShard(0, 0));
        explodeStep(list, settings, rng);
        ASSERT_EQ(list.size(), 16u);
        for (const Shard& s : list.items()) {
            const float v[3] = {s.velocity.x, s.velocity.y, s.velocity.z};
            for (int a = 0; a < 3; ++a) {
                ASSERT_EQ(v[a], std::floor(v[a]));
                vMin[a] = std::min(vMin[a], v[a]);
                vMax[a] = std::max(vMax[a], v[a]);
            }
            for (const float w : {s.spin.x, s.spin.y, s.spin.z}) {
                const double tenths = (w + 5.0) * 10.0;
                ASSERT_NEAR(tenths, std::round(tenths), 1e-3) << w;
                sMin = std::min(sMin, w);
                sMax = std::max(sMax, w);
            }
        }
    }
    EXPECT_EQ(vMin[0], -30.0f);
    EXPECT_EQ(vMax[0], 29.0f);
    EXPECT_EQ(vMin[1], -30.0f);
    EXPECT_EQ(vMax[1], 29.0f);
    EXPECT_EQ(vMin[2], -30.0f);
    EXPECT_EQ(vMax[2], 69.0f);
    EXPECT_NEAR(sMin, -5.0f, 1e-5f);
    EXPECT_NEAR(sMax, 4.9f, 1e-5f);
}

TEST(Explode, twoChildrenGiveFourteenDescendantsPerCell) {
    const Settings settings = explodeSettings(1, 1, 2);
    ShardList list;
    Rng rng(2024);
    explodeStep(list, settings, rng); // the cut
    int stops[4] = {};
    std::size_t mostAlive = 0;
    bool sawGreatGrandchild = false;
    int frames = 0;
    for (; frames < 1000; ++frames) {
        for (Shard& s : list.items())
            s.update(kSixtyHertzStep, kRestThreshold);
        for (const Shard& s : list.items()) {
            ASSERT_LE(s.generation, 3);
            stops[s.generation] += s.launched && s.resting;
            if (s.generation == 3 && !sawGreatGrandchild) {
                sawGreatGrandchild = true;
                EXPECT_NEAR(s.backCorner.x - s.frontCorner.x, 1024.0f / 8, 1e-3f);
                EXPECT_NEAR(s.backCorner.y - s.frontCorner.y, 768.0f / 8, 1e-3f);
                EXPECT_NEAR(-s.backCorner.z, 537.6f / 8, 1e-3f);
            }
        }
        explodeStep(list, settings, rng);
        mostAlive = std::max(mostAlive, list.size());
        if (frames > 0 && isIntactPicture(list, 1))
            break;
    }
    ASSERT_LT(frames, 1000) << "the picture was never cut again";
    EXPECT_LE(frames, 4 * 141 + 1);
    EXPECT_TRUE(sawGreatGrandchild);
    EXPECT_EQ(stops[0], 1);
    EXPECT_EQ(stops[1], 2);
    EXPECT_EQ(stops[2], 4);
    EXPECT_EQ(stops[3], 8);
    EXPECT_LE(mostAlive, 8u);
}

TEST(Explode, withoutChildrenThePictureEmptiesAndIsCutAgain) {
    for (const int32_t children : {0, -5}) {
        const Settings settings = explodeSettings(2, 2, children);
        ShardList list;
        Rng rng(31337);
        explodeStep(list, settings, rng);
        ASSERT_TRUE(isIntactPicture(list, 4));
        std::size_t previous = list.size();
        bool recut = false;
        for (int frame = 0; frame < 1000 && !recut; ++frame) {
            runFrame(list, settings, rng);
            for (const Shard& s : list.items())
                ASSERT_EQ(s.generation, 0);
            if (list.size() > previous) {
                recut = true;
                EXPECT_TRUE(isIntactPicture(list, 4));
            }
            previous = list.size();
        }
        EXPECT_TRUE(recut) << children;
    }
}

TEST(Explode, thirdGenerationVanishesWithoutChildren) {
    ShardList list;
    list.items().push_back(stoppedShard(1, 3));
    list.items().push_back(flyingShard(2));
    Rng rng(55);
    explodeStep(list, explodeSettings(25, 19, 999999999), rng);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].position.x, 2.0f);
    EXPECT_EQ(rng.state(), 55u);
}

TEST(Explode, removalKeepsTheOrderOfTheOthers) {
    ShardList list;
    const bool stops[] = {true, false, true, true, false, false, true, false};
    for (int k = 0; k < 8; ++k)
        list.items().push_back(stops[k] ? stoppedShard(static_cast<float>(k), 0) : flyingShard(static_cast<float>(k)));
    Rng rng(8);
    explodeStep(list, explodeSettings(25, 19, 0), rng);
    std::vector<float> markers;
    for (const Shard& s : list.items())
        markers.push_back(s.position.x);
    EXPECT_EQ(markers, (std::vector<float>{1, 4, 5, 7}));

    // With children, they follow the survivors, parent by parent in list order.
    ShardList mixed;
    mixed.items().push_back(stoppedShard(10, 0));
    mixed.items().push_back(flyingShard(11));
    mixed.items().push_back(stoppedShard(12, 1));
    explodeStep(mixed, explodeSettings(25, 19, 1), rng);
    ASSERT_EQ(mixed.size(), 3u);
    EXPECT_EQ(mixed[0].position.x, 11.0f);
    EXPECT_EQ(mixed[1].position.x, 10.0f);
    EXPECT_EQ(mixed[1].generation, 1);
    EXPECT_EQ(mixed[2].position.x, 12.0f);
    EXPECT_EQ(mixed[2].generation, 2);
}

TEST(Explode, noUsableDivisionsBuildNothing) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float cases[][2] = {{0, 19}, {25, 0}, {-3, 19}, {25, -1}, {nan, 19}, {25, nan}, {-inf, 5}};
    for (const auto& c : cases) {
        const Settings settings = explodeSettings(c[0], c[1], 2);
        ShardList list;
        Rng rng(3);
        for (int frame = 0; frame < 5; ++frame)
            runFrame(list, settings, rng, true);
        EXPECT_TRUE(list.empty()) << c[0] << " x " << c[1];
        EXPECT_EQ(rng.state(), 3u);
    }
}

TEST(Explode, splitIsBoundedPerShardAndByTheListLimit) {
    const Settings settings = explodeSettings(25, 19, 999999999);

    // One split: kMaxChildrenPerSplit children, each with its six draws.
    ShardList list;
    list.items().push_back(stoppedShard(0, 0));
    Rng rng(9);
    explodeStep(list, settings, rng);
    EXPECT_EQ(list.size(), static_cast<std::size_t>(kMaxChildrenPerSplit));
    EXPECT_EQ(rng.state(), stateAfter(9, 6 * kMaxChildrenPerSplit));

    // Room for three more: three children are made and drawn for, the rest skipped.
    ShardList full;
    full.items().assign(kMaxShards - 5, flyingShard(1));
    full.items().push_back(stoppedShard(2, 0));
    full.items().push_back(stoppedShard(3, 0)); // finds the list already full
    Rng bounded(9);
    explodeStep(full, settings, bounded);
    EXPECT_EQ(full.size(), kMaxShards - 2); // three children, both parents gone
    EXPECT_EQ(bounded.state(), stateAfter(9, 18));
    for (std::size_t k = kMaxShards - 5; k < full.size(); ++k) {
        EXPECT_EQ(full[k].generation, 1);
        EXPECT_EQ(full[k].position.x, 2.0f);
    }
    EXPECT_EQ(settings.genChildren, 999999999);
}

TEST(Explode, hostileSettingsRunWithinTheBounds) {
    Settings settings = explodeSettings(999999999.0f, 999999999.0f, 999999999);
    const Settings before = settings;
    CountingGl counting;
    ShardList list;
    Rng rng(1);
    explodeStep(list, settings, rng);
    ASSERT_EQ(list.size(), static_cast<std::size_t>(kMaxDivisions) * kMaxDivisions);
    EXPECT_NEAR(list[0].backCorner.x - list[0].frontCorner.x, 4.0f, 1e-6f);
    EXPECT_NEAR(list[0].backCorner.y - list[0].frontCorner.y, 3.0f, 1e-6f);

    // Near the bound every split is cut short; the stopped parents then leave in
    // the same step, so the size seen between frames stays a little below it.
    const std::size_t crowded = kMaxShards - 2048;
    int crowdedFrames = 0;
    for (int frame = 0; frame < 600 && crowdedFrames < 20; ++frame) {
        // Drawing changes no state; drawing now and then shows it copes with
        // a full list and keeps the test quick.
        runFrame(list, settings, rng, frame % 100 == 99);
        ASSERT_LE(list.size(), kMaxShards) << "frame " << frame;
        crowdedFrames += list.size() >= crowded;
    }
    EXPECT_EQ(crowdedFrames, 20) << "the run never came near the bound it is meant to test";
    EXPECT_GT(glrec::callCount(), 0u);
    EXPECT_EQ(std::memcmp(&before, &settings, sizeof settings), 0);
}

TEST(Explode, steadyExplodeAllocatesOnlyToGrowTheList) {
    const Settings settings; // the defaults: 25 x 19, two children
    CountingGl counting;
    ShardList list;
    Rng rng(20260101);
    int growths = 0;
    int cuts = 0;
    bool wasIntact = false;
    for (int frame = 0; frame < 1200; ++frame) {
        const std::size_t capacity = list.items().capacity();
        const std::size_t allocations = kelvara::testing::allocationsDuring([&] { runFrame(list, settings, rng, true); });
        const bool grew = list.items().capacity() > capacity;
        growths += grew;
        if (!grew) {
            ASSERT_EQ(allocations, 0u) << "frame " << frame;
        }
        const bool intact = isIntactPicture(list, 475);
        cuts += intact && !wasIntact;
        wasIntact = intact;
    }
    EXPECT_GE(cuts, 2) << "the run should include a second cut, into storage already there";
    // Geometric growth: a handful of reallocations over the whole run.
    EXPECT_GE(growths, 1);
    EXPECT_LE(growths, 6);
}
