// The hole search's tie rule, and its replay through the indexes.
//
// The scan measures every pair of a live hole corner (a point) and a usable
// polygon position (a slot), points in number order and slots in polygon
// order for each, and keeps a best pair: each pair that beats the best by
// more than the tolerance (the difference of the squared distances rounded
// to float) replaces it. The replay finds the pair the scan ends on without
// measuring every pair; its result is the scan's on every input.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "convert/hole_point_index.h"
#include "convert/hole_slot_index.h"
#include "convert/polygon_order.h"
#include "mesh/tolerance.h"

namespace facetor {

// Whether a pair at squared distance d replaces the best so far, computed as
// the scan computes it (the difference rounded to float).
inline bool beats(float d, float best) {
  const float difference = d - best;
  return difference < -kTolerance;
}

// A pair of the scan: a point, a slot and their squared distance.
struct BridgePair {
  std::uint32_t point = 0;
  std::int32_t slot = -1;  // -1: no pair
  float distance = std::numeric_limits<float>::infinity();
};

// A place in scan order: a point, and a slot of it (-1: before all of them).
struct ScanPlace {
  std::uint32_t point = kNoPoint;  // kNoPoint: after every pair
  std::int32_t slot = -1;
};

// What a replay leaves for the next one on the same face: the scan's best
// over the pairs before each of its levels. That best depends only on the
// pairs below `threshold` (see the replay), so it stands until a pair below
// it comes or goes before the level; `unchangedTo` is the first place where
// one did since.
struct ReplayMemory {
  struct Level {
    BridgePair first;  // the level's first settled pair
    BridgePair best;   // the scan's best over the pairs before the first settled pair of the level above
    BridgePair below;  // the scan's best over the pairs before `first`; slot -2 when not known
  };
  std::vector<Level> levels;  // their first settled pairs in scan order (the lowest level last)
  float threshold = 0;
  ScanPlace unchangedTo{};
};

// The pair the scan ends on over the live points and the usable slots, or
// a pair without a slot when no pair has a finite distance. Uses and renews
// the memory.
BridgePair replay_scan(PointIndex& points, const SlotIndex& slots, const PolygonOrder& order, ReplayMemory& memory);

// Notes that the pairs of the points from `firstPoint` on (a hole's) went,
// and that the pairs of `slots` came or went, which ends what the memory
// knows at the first of those places with a pair below its threshold.
void replay_note_changes(ReplayMemory& memory, PointIndex& points, const SlotIndex& slots, const PolygonOrder& order,
                         std::uint32_t firstPoint, std::span<const std::uint32_t> changed);

}  // namespace facetor
