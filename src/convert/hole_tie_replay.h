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

// The pair the scan ends on over the live points and the usable slots, or
// a pair without a slot when no pair has a finite distance.
BridgePair replay_scan(PointIndex& points, const SlotIndex& slots, const PolygonOrder& order);

}  // namespace facetor
