#include "scene/explode.h"

#include <algorithm>
#include <cstdint>

#include "scene/limits.h"

namespace kelvara {

namespace {

// A stopped shard of this generation vanishes without children, so a cut
// shard's family has at most four generations (0 to 3).
constexpr int32_t kLastGeneration = 3;

// Six draws, always in this order (the sequence a seed gives is part of what
// the scene shows). Velocity in scene units per unit of step, spin in degrees.
void giveRandomMotion(Shard& s, Rng& rng) {
    s.velocity.z = static_cast<float>(rng.next() % 100 - 30);      // -30..69, mostly towards the camera
    s.velocity.y = static_cast<float>(rng.next() % 60 - 30);       // -30..29
    s.velocity.x = static_cast<float>(rng.next() % 60 - 30);       // -30..29
    s.spin.z = static_cast<float>(rng.next() % 100) * 0.1f - 5.0f; // -5.0..4.9
    s.spin.y = static_cast<float>(rng.next() % 100) * 0.1f - 5.0f;
    s.spin.x = static_cast<float>(rng.next() % 100) * 0.1f - 5.0f;
}

bool isStopped(const Shard& s) {
    return s.launched && s.resting;
}

void launchWaiting(std::vector<Shard>& shards, Rng& rng) {
    std::size_t waiting = 0;
    for (const Shard& s : shards)
        waiting += s.launched ? 0 : 1;
    if (waiting == 0)
        return; // no draw at all: nothing to decide

    // The count stays as it was before the pass, so each waiting shard leaves
    // with the same chance of 1 in `waiting`: about one launch per frame.
    for (Shard& s : shards) {
        if (s.launched)
            continue;
        if (static_cast<std::size_t>(rng.next()) % waiting == 0) {
            s.launched = true;
            giveRandomMotion(s, rng);
            s.resting = false;
        }
    }
}

void splitStopped(std::vector<Shard>& shards, const Settings& settings, Rng& rng) {
    // A value out of any sensible range (a stored 999999999) still splits, into
    // at most kMaxChildrenPerSplit; the setting itself is left as stored.
    const int32_t children = std::min(settings.genChildren, kMaxChildrenPerSplit);
    if (children <= 0)
        return;

    // Children are appended behind `count` and are never visited here; they
    // start flying anyway.
    const std::size_t count = shards.size();
    for (std::size_t k = 0; k < count; ++k) {
        if (!isStopped(shards[k]) || shards[k].generation >= kLastGeneration)
            continue;
        // A copy: appending may move the storage under a reference.
        const Shard parent = shards[k];
        for (int32_t c = 0; c < children; ++c) {
            if (shards.size() >= kMaxShards)
                break; // children that would pass the bound are not made (nor drawn for)
            Shard child;
            child.generation = parent.generation + 1;
            child.position = parent.position;
            child.frontCorner.set(parent.frontCorner.x * 0.5f, parent.frontCorner.y * 0.5f,
                                  parent.frontCorner.z * 0.5f);
            child.backCorner.set(parent.backCorner.x * 0.5f, parent.backCorner.y * 0.5f,
                                 parent.backCorner.z * 0.5f);
            for (int t = 0; t < 4; ++t) {
                child.texCorner[t][0] = parent.texCorner[t][0];
                child.texCorner[t][1] = parent.texCorner[t][1];
            }
            child.launched = true;
            child.resting = false;
            giveRandomMotion(child, rng);
            shards.push_back(child);
        }
    }
}

} // namespace

void explodeBuild(ShardList& list, const Settings& settings) {
    const float xDiv = boundedDivisions(settings.x_div);
    const float yDiv = boundedDivisions(settings.y_div);
    const int columns = divisionCount(settings.x_div);
    const int rows = divisionCount(settings.y_div);
    if (columns == 0 || rows == 0)
        return;

    const float w = 1024.0f / xDiv;
    const float h = 768.0f / yDiv;
    const float du = 1.0f / xDiv;
    const float dv = 1.0f / yDiv;
    const float depth = 0.3f * (w + h);

    std::vector<Shard>& shards = list.items();
    shards.reserve(shards.size() + static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows));
    for (int i = 0; i < columns; ++i) {
        const float fi = static_cast<float>(i);
        for (int j = 0; j < rows; ++j) {
            const float fj = static_cast<float>(j);
            Shard s;
            s.position.set((fi + 0.5f) * w, (fj + 0.5f) * h, 0.0f);
            // The front face lies in the picture plane, the body behind it.
            s.frontCorner.set(-w / 2.0f, -h / 2.0f, 0.0f);
            s.backCorner.set(w / 2.0f, h / 2.0f, -depth);
            // t runs from 1 at the bottom of the picture (y = 0) down to 0 at the top.
            const float tLow = (yDiv - fj) * dv;
            const float tHigh = (yDiv - fj - 1.0f) * dv;
            s.texCorner[0][0] = fi * du;
            s.texCorner[0][1] = tLow;
            s.texCorner[1][0] = (fi + 1.0f) * du;
            s.texCorner[1][1] = tLow;
            s.texCorner[2][0] = (fi + 1.0f) * du;
            s.texCorner[2][1] = tHigh;
            s.texCorner[3][0] = fi * du;
            s.texCorner[3][1] = tHigh;
            shards.push_back(s);
        }
    }
}

void explodeStep(ShardList& list, const Settings& settings, Rng& rng) {
    std::vector<Shard>& shards = list.items();
    launchWaiting(shards, rng);
    splitStopped(shards, settings, rng);
    // One pass that keeps the order of the others; the storage is kept for the
    // next cut, so a steady cycle stops allocating once the list has peaked.
    std::erase_if(shards, isStopped);
    if (shards.empty())
        explodeBuild(list, settings);
}

} // namespace kelvara
