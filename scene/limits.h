#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvara {

// Bounds the scene puts on settings that nothing else validates. A user can type
// 999999999 into the grid or children boxes, and a stored value can hold
// anything; the stored setting is never changed, the scene just builds less.
//
// Divisions per axis: 256 gives cells of 4 by 3 virtual-screen units, finer than
// a pixel on most displays at zoom 1, and keeps the grid at 65,536 vertices
// (3 MiB for the four arrays) and the explode cut at 65,536 shards.
inline constexpr int kMaxDivisions = 256;

// Shards alive at once. A full cut of kMaxDivisions squared shards with room for
// the children of a busy split: about 15 MiB of shards at most. Children that
// would exceed it are simply not made, so the cycle still runs to an empty list.
inline constexpr std::size_t kMaxShards = 131072;

// Children made per split. With g children a cut shard leads to g + g^2 + g^3
// shards over its life; 16 keeps that at 4,368.
inline constexpr int32_t kMaxChildrenPerSplit = 16;

// The number of loop steps `for (i = 0; i < div; ++i)` takes for a division
// setting, after bounding it: 0 for NaN, negative or zero, at most kMaxDivisions.
int divisionCount(float div);

// The division value the geometry is computed from (cell size 1024 / div):
// the setting itself when it is within the bound, else the bound. 0 when the
// setting gives no division at all.
float boundedDivisions(float div);

// Float to int truncating towards zero, saturating at the int range and giving
// 0 for NaN, where a plain cast would be undefined.
int32_t truncToInt(float v);

} // namespace kelvara
