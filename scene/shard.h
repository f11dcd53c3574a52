#pragma once

#include <cstdint>

#include "scene/vec3.h"

namespace kelvara {

// One piece of the exploding picture: a textured box showing one picture cell
// on all six faces. Field order is part of the design; copy copies everything.
class Shard {
  public:
    Shard() = default;
    Shard(const Shard&) = default;
    Shard& operator=(const Shard&) = default;
    Shard(Shard&&) = default;
    Shard& operator=(Shard&&) = default;
    virtual ~Shard() = default;

    // One motion step: damp (x 0.95, once per call whatever step is), move by
    // step * velocity, turn by step * spin, zero the components below the rest
    // threshold and come to rest when all three are zero. Resting shards do not move.
    void update(float step, float restThreshold);

    // Emits the box at its position and rotation; leaves the model-view matrix as
    // it found it.
    void draw() const;

    Vec3 frontCorner;           // left, lower, front (z of the +z face) bound relative to position
    Vec3 backCorner;            // right, upper, back (z of the -z face) bound
    Vec3 position;              // scene units on the 1024 x 768 virtual screen
    Vec3 rotation;              // degrees about X, Y, Z
    Vec3 spin;                  // degrees per unit of step
    Vec3 velocity;              // scene units per unit of step
    float texCorner[4][2] = {}; // (s, t) at left-lower, right-lower, right-upper, left-upper
    int32_t generation = 0;
    bool launched = false;
    bool resting = true;
};

inline constexpr float kShardDamping = 0.95f;
inline constexpr float kRestThreshold = 0.05f;

} // namespace kelvara
