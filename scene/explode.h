#pragma once

#include <cstddef>
#include <vector>

#include "scene/random.h"
#include "scene/shard.h"
#include "settings/settings.h"

namespace kelvara {

// The explode's shards in insertion order. Removal keeps the order of the
// others; appending may move the storage, so callers address shards by index.
class ShardList {
  public:
    void clear() { shards_.clear(); }
    std::size_t size() const { return shards_.size(); }
    bool empty() const { return shards_.empty(); }
    Shard& operator[](std::size_t k) { return shards_[k]; }
    const Shard& operator[](std::size_t k) const { return shards_[k]; }
    std::vector<Shard>& items() { return shards_; }
    const std::vector<Shard>& items() const { return shards_; }

  private:
    std::vector<Shard> shards_;
};

// Cuts the intact picture into x_div by y_div shards (bounded by
// kMaxDivisions), column by column: column i, row j at index i * rows + j.
void explodeBuild(ShardList& list, const Settings& settings);

// One frame of the explode cycle after the draw and update passes: launch at
// random, split stopped shards into genChildren children (bounded by
// kMaxChildrenPerSplit and kMaxShards), remove stopped shards, cut anew when empty.
void explodeStep(ShardList& list, const Settings& settings, Rng& rng);

} // namespace kelvara
