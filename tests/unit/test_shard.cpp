#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <vector>

#include "gl/recording_gl.h"
#include "scene/gl.h"
#include "scene/shard.h"
#include "unit/alloc_counter.h"

using namespace kelvara;

namespace {

constexpr float kSixtyHertzStep = 25.0f / 60.0f;

Shard flying(Vec3 velocity, Vec3 spin = {}) {
    Shard s;
    s.launched = true;
    s.resting = false;
    s.velocity = velocity;
    s.spin = spin;
    return s;
}

// Updates until the shard rests; returns how many updates that took (or
// `limit` + 1 when it never did).
int updatesToRest(Shard s, float step, int limit = 1000) {
    for (int n = 1; n <= limit; ++n) {
        s.update(step, kRestThreshold);
        if (s.resting)
            return n;
    }
    return limit + 1;
}

void expectSameShard(const Shard& a, const Shard& b) {
    EXPECT_EQ(a.frontCorner, b.frontCorner);
    EXPECT_EQ(a.backCorner, b.backCorner);
    EXPECT_EQ(a.position, b.position);
    EXPECT_EQ(a.rotation, b.rotation);
    EXPECT_EQ(a.spin, b.spin);
    EXPECT_EQ(a.velocity, b.velocity);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(a.texCorner[k][0], b.texCorner[k][0]) << k;
        EXPECT_EQ(a.texCorner[k][1], b.texCorner[k][1]) << k;
    }
    EXPECT_EQ(a.generation, b.generation);
    EXPECT_EQ(a.launched, b.launched);
    EXPECT_EQ(a.resting, b.resting);
}

} // namespace

TEST(Shard, newShardSitsInPlaceAndCopiesWhole) {
    const Shard s;
    EXPECT_EQ(s.rotation, Vec3());
    EXPECT_EQ(s.spin, Vec3());
    EXPECT_EQ(s.velocity, Vec3());
    EXPECT_EQ(s.generation, 0);
    EXPECT_FALSE(s.launched);
    EXPECT_TRUE(s.resting);

    Shard a = flying({1, 2, 3}, {4, 5, 6});
    a.frontCorner = {-1, -2, 0};
    a.backCorner = {1, 2, -3};
    a.position = {7, 8, 9};
    a.rotation = {10, 11, 12};
    a.texCorner[2][1] = 0.5f;
    a.generation = 2;
    const Shard copied(a);
    expectSameShard(copied, a);
    Shard assigned;
    assigned = a;
    expectSameShard(assigned, a);

    // Field order is fixed: the fields lie in declaration order.
    const auto at = [&](const void* p) { return static_cast<const char*>(p) - reinterpret_cast<const char*>(&a); };
    const std::ptrdiff_t offsets[] = {at(&a.frontCorner), at(&a.backCorner), at(&a.position), at(&a.rotation),
                            at(&a.spin),        at(&a.velocity),   at(&a.texCorner), at(&a.generation),
                            at(&a.launched),    at(&a.resting)};
    for (std::size_t k = 1; k < std::size(offsets); ++k)
        EXPECT_LT(offsets[k - 1], offsets[k]) << "field " << k;
}

TEST(Shard, updateDampsThenMovesAndTurns) {
    Shard s = flying({10, 0, 0}, {1, 0, 0});
    s.position = {100, 200, 0};
    s.update(1.0f, kRestThreshold);
    EXPECT_FLOAT_EQ(s.velocity.x, 9.5f);
    EXPECT_FLOAT_EQ(s.position.x, 109.5f); // moved by the damped velocity
    EXPECT_EQ(s.position.y, 200.0f);
    EXPECT_EQ(s.rotation, Vec3(1, 0, 0));
    EXPECT_FALSE(s.resting);

    // Spin is not damped: the turn per update stays step x spin.
    s.update(2.0f, kRestThreshold);
    EXPECT_EQ(s.rotation, Vec3(3, 0, 0));
    EXPECT_EQ(s.spin, Vec3(1, 0, 0));
}

TEST(Shard, restComesAfterAFixedNumberOfUpdatesWhateverTheStep) {
    // v * 0.95^n < 0.05 first holds at n = 90 for 5, 125 for 30, 141 for 69.
    const struct {
        float speed;
        int updates;
    } cases[] = {{5, 90}, {30, 125}, {69, 141}};
    for (const auto& c : cases) {
        for (const float step : {1.0f, kSixtyHertzStep, 0.0f, 3.0f}) {
            for (const float sign : {1.0f, -1.0f}) {
                const float v = sign * c.speed;
                EXPECT_EQ(updatesToRest(flying({v, 0, 0}), step), c.updates) << "x " << v << " step " << step;
                EXPECT_EQ(updatesToRest(flying({0, v, 0}), step), c.updates) << "y " << v << " step " << step;
                EXPECT_EQ(updatesToRest(flying({0, 0, v}), step), c.updates) << "z " << v << " step " << step;
            }
        }
    }
    // The slowest component decides.
    EXPECT_EQ(updatesToRest(flying({5, -69, 30}), 1.0f), 141);
}

TEST(Shard, sixtyHertzFlightCoversTheWorkedDistance) {
    Shard s = flying({0, 0, 69});
    s.position = {10, 20, 0};
    int n = 0;
    while (!s.resting && n < 1000) {
        s.update(kSixtyHertzStep, kRestThreshold);
        ++n;
    }
    EXPECT_EQ(n, 141);
    // step * 69 * (0.95 + 0.95^2 + ... + 0.95^141): every update moves by the damped velocity.
    EXPECT_NEAR(s.position.z, 545.86f, 0.01f);
    EXPECT_EQ(s.position.x, 10.0f);
    EXPECT_EQ(s.position.y, 20.0f);
    EXPECT_EQ(s.velocity, Vec3());

    // Resting now: further updates change nothing.
    const Vec3 at = s.position;
    s.update(kSixtyHertzStep, kRestThreshold);
    EXPECT_EQ(s.position, at);
}

TEST(Shard, restTestLooksAtTheDampedVelocityWithStrictBounds) {
    // 1 x 0.95 is exactly 0.95f: a component equal to the threshold after damping stays.
    for (const float v : {1.0f, -1.0f}) {
        Shard s = flying({v, 0, 0});
        s.update(1.0f, 0.95f);
        EXPECT_EQ(s.velocity.x, v * 0.95f);
        EXPECT_FALSE(s.resting);
    }

    // 0.052 damps to 0.0494, inside the band: zeroed in the first update, after
    // the move; the shard flies on along y until that component too is zero.
    Shard s = flying({0.052f, 3.0f, 0});
    s.update(2.0f, kRestThreshold);
    EXPECT_EQ(s.velocity.x, 0.0f);
    EXPECT_NEAR(s.position.x, 2.0f * 0.0494f, 1e-6f);
    EXPECT_FALSE(s.resting);
    const float xAfterFirst = s.position.x;
    int n = 1;
    while (!s.resting && n < 1000) {
        s.update(2.0f, kRestThreshold);
        ++n;
    }
    EXPECT_EQ(n, 80); // 3 * 0.95^n < 0.05 first at n = 80
    EXPECT_EQ(s.position.x, xAfterFirst);
}

TEST(Shard, stillFlyingShardRestsAtOnceButTurnsOnce) {
    Shard s = flying({0, 0, 0}, {2, -3, 4});
    s.position = {5, 6, 7};
    s.update(0.5f, kRestThreshold);
    EXPECT_TRUE(s.resting);
    EXPECT_EQ(s.position, Vec3(5, 6, 7));
    EXPECT_EQ(s.rotation, Vec3(1, -1.5f, 2));
    s.update(0.5f, kRestThreshold);
    EXPECT_EQ(s.rotation, Vec3(1, -1.5f, 2));
}

TEST(Shard, zeroStepOnlyDecaysVelocity) {
    Shard s = flying({10, -20, 40}, {1, 1, 1});
    s.position = {1, 2, 3};
    float expected[3] = {10, -20, 40};
    for (int k = 0; k < 3; ++k) {
        s.update(0.0f, kRestThreshold);
        for (float& e : expected)
            e *= 0.95f;
    }
    EXPECT_EQ(s.velocity, Vec3(expected[0], expected[1], expected[2]));
    EXPECT_EQ(s.position, Vec3(1, 2, 3));
    EXPECT_EQ(s.rotation, Vec3());
    EXPECT_FALSE(s.resting);
}

TEST(Shard, restingShardIgnoresEveryUpdate) {
    Shard inPlace;
    inPlace.velocity = {50, 60, 70};
    inPlace.spin = {1, 2, 3};
    inPlace.position = {4, 5, 6};
    Shard stopped = inPlace;
    stopped.launched = true;
    for (const Shard& original : {inPlace, stopped}) {
        Shard s = original;
        for (int k = 0; k < 100; ++k)
            s.update(k % 2 ? 1.0f : kSixtyHertzStep, kRestThreshold);
        expectSameShard(s, original);
    }
}

TEST(Shard, drawEmitsTheBoxFaceByFace) {
    Shard s;
    s.frontCorner = {-2, -3, 0};
    s.backCorner = {5, 7, -11};
    s.position = {100, 200, 3};
    s.rotation = {10, 20, 30};
    const float tex[4][2] = {{0.25f, 0.75f}, {0.5f, 0.75f}, {0.5f, 0.5f}, {0.25f, 0.5f}};
    for (int k = 0; k < 4; ++k) {
        s.texCorner[k][0] = tex[k][0];
        s.texCorner[k][1] = tex[k][1];
    }

    using glrec::Call;
    // The corners of the box above: front plane z = 0, back plane z = -11.
    const std::vector<double> c0{-2, -3, 0}, c1{5, -3, 0}, c2{5, 7, 0}, c3{-2, 7, 0};
    const std::vector<double> c4{-2, -3, -11}, c5{5, -3, -11}, c6{5, 7, -11}, c7{-2, 7, -11};
    std::vector<Call> expected;
    const auto normal = [&](double x, double y, double z) { expected.push_back({"glNormal3fv", {x, y, z}}); };
    const auto vertex = [&](int t, const std::vector<double>& c) {
        expected.push_back({"glTexCoord2fv", {tex[t][0], tex[t][1]}});
        expected.push_back({"glVertex3fv", c});
    };
    expected.push_back({"glPushMatrix", {}});
    expected.push_back({"glTranslatef", {100, 200, 3}});
    expected.push_back({"glRotatef", {10, 1, 0, 0}});
    expected.push_back({"glRotatef", {20, 0, 1, 0}});
    expected.push_back({"glRotatef", {30, 0, 0, 1}});
    expected.push_back({"glBegin", {GL_QUAD_STRIP}});
    normal(0, 0, 1);
    vertex(0, c0);
    vertex(1, c1);
    vertex(3, c3);
    vertex(2, c2);
    expected.push_back({"glEnd", {}});
    expected.push_back({"glBegin", {GL_QUAD_STRIP}});
    normal(0, 1, 0);
    vertex(3, c3);
    vertex(2, c2);
    normal(0, 0, -1);
    vertex(0, c7);
    vertex(1, c6);
    normal(0, -1, 0);
    vertex(3, c4);
    vertex(2, c5);
    normal(0, 0, 1);
    vertex(0, c0);
    vertex(1, c1);
    expected.push_back({"glEnd", {}});
    expected.push_back({"glBegin", {GL_QUADS}});
    normal(-1, 0, 0);
    vertex(0, c3);
    vertex(1, c7);
    vertex(2, c4);
    vertex(3, c0);
    normal(1, 0, 0);
    vertex(0, c6);
    vertex(1, c2);
    vertex(2, c1);
    vertex(3, c5);
    expected.push_back({"glEnd", {}});
    expected.push_back({"glPopMatrix", {}});

    glrec::setMode(glrec::Mode::Record);
    glrec::reset();
    s.draw();
    const std::vector<Call>& calls = glrec::calls();
    ASSERT_EQ(calls.size(), expected.size());
    for (std::size_t k = 0; k < calls.size(); ++k)
        EXPECT_EQ(calls[k], expected[k]) << "call " << k << ": " << glrec::toString(calls[k]) << ", expected "
                                         << glrec::toString(expected[k]);
    // Three batches, 20 vertices.
    EXPECT_EQ(glrec::callsNamed("glVertex3fv").size(), 20u);
    glrec::reset();
}

TEST(Shard, updateAndDrawAllocateNothing) {
    glrec::setMode(glrec::Mode::Count); // the recorder's own log would allocate
    glrec::reset();
    Shard s = flying({30, -20, 69}, {1, 2, 3});
    s.backCorner = {4, 3, -2};
    const std::size_t allocations = kelvara::testing::allocationsDuring([&] {
        for (int k = 0; k < 200; ++k) {
            s.draw();
            s.update(kSixtyHertzStep, kRestThreshold);
        }
    });
    EXPECT_EQ(allocations, 0u);
    EXPECT_TRUE(s.resting);
    EXPECT_EQ(glrec::callCount(), 200u * 59u); // 59 calls per box, so the draws did run
    glrec::setMode(glrec::Mode::Record);
    glrec::reset();
}
