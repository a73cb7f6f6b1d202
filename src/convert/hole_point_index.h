// The point index of a face's hole bridging. Points are the measured hole
// corners, numbered in scan order (hole by hole, corner by corner, as they
// stand in FaceHoles); a point is live while its hole is not in the polygon.
//
// Invariant: every live point in the k-d tree keeps a stored squared
// distance and the slot it was measured to, such that for every usable slot
// s, either d(point, s) >= stored, or s waits pending at a subtree on the
// point's path whose cap is at most d(point, s). The stored distance is exact
// (the distance to its slot) while that slot stays usable; a slot that loses
// its use leaves the distances measured to it stale, too low, until a search
// measures them again. New slots lower the stored distances at once where
// they are within the eager limit of a subtree, and wait pending at subtrees
// beyond it; a search whose limit reaches a cap offers the pending slots
// within its reach first.
//
// Two segment trees over the point numbers find the first point within a
// limit and the least distance of a range: one keeps the stored distances of
// the live points, the other the least cap over the subtrees whose first
// live point each number is.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "convert/corner_table.h"
#include "convert/hole_bridge.h"
#include "convert/hole_point_tree.h"
#include "convert/hole_slot_index.h"
#include "convert/polygon_order.h"

namespace facetor {

inline constexpr std::uint32_t kNoPoint = std::numeric_limits<std::uint32_t>::max();

// A slot pending at a subtree, with the lower bound of its distance to it.
struct PendingSlot {
  float cap;
  std::uint32_t slot;
};

struct PointIndex {
  HolePointTree tree;
  // What each point in the tree knows is kept by its place in the tree's
  // leaf order, so that a leaf reads its points' values in a row.
  std::vector<bool> live;                  // place -> the point's hole is not in yet
  std::vector<float> nearest;              // place -> stored squared distance
  std::vector<std::int32_t> nearestSlot;   // place -> its slot, -1 none
  std::vector<float> nodeMaxNearest;       // node -> largest stored distance of its live points
  std::vector<std::uint32_t> nodeFirstLive;  // node -> smallest live point number below it
  // Per node, the slots pending there in a heap by their bound (least on
  // top), and the least bound (infinity when none): a search whose limit
  // reaches it takes out only the slots within its reach.
  std::vector<float> nodeCap;
  std::vector<std::vector<PendingSlot>> nodePending;
  std::vector<bool> nodeLost;  // node -> pending slots were dropped: measure its points again when opened
  float eagerLimit = std::numeric_limits<float>::infinity();  // slots nearer are offered at once
  std::vector<float> segment;     // least stored distance of the live points, by number range
  std::vector<float> capSegment;  // least cap filed under each number (see above), by number range
  std::vector<std::int32_t> stack;                         // working storage
  std::vector<std::pair<std::int32_t, float>> slotStack;  // working storage of slot searches
};

// The points of every hole's measured corners.
void point_index_build(PointIndex& index, const CornerEntries& entries, const FaceHoles& holes);

// Measures every point against the usable slots of the outer polygon, the
// first `positions` slots.
void points_measure_all(PointIndex& index, const SlotIndex& slots, const PolygonOrder& order, std::size_t positions);

// Sets the eager limit from the nearest squared distance of any pair.
void points_set_eager_limit(PointIndex& index, float nearest);

// Offers the slots that have just become usable (a hole's corners), in an
// order the file cannot know: each lowers the stored distances of the points
// it is nearer to, or waits pending. The eager limit falls with the least
// stored distance as they go. Reorders `offered`.
void points_offer(PointIndex& index, const SlotIndex& slots, std::span<std::uint32_t> offered);

// Takes the points numbered from `first` to before `end` out.
void points_remove(PointIndex& index, std::size_t first, std::size_t end);

// The first live point numbered from `from` to before `to` whose nearest
// usable slot is within `limit`; -1 if none.
std::int64_t points_first_within(PointIndex& index, const SlotIndex& slots, const PolygonOrder& order, std::size_t from,
                                 std::size_t to, float limit);

// The smallest distance of any live point numbered before `to` to its
// nearest usable slot, when it is within `limit` (else some distance beyond
// the limit).
float points_min(PointIndex& index, const SlotIndex& slots, const PolygonOrder& order, std::size_t to, float limit);

// The smallest number of a live point whose squared distance to e is below
// `below`; -1 if none.
std::int64_t points_first_near(PointIndex& index, const HolePointTree::Point& e, float below);

inline std::size_t point_count(const PointIndex& index) { return index.tree.place.size(); }

// The coordinates of a point in the tree.
inline const HolePointTree::Point& point_position(const PointIndex& index, std::uint32_t point) {
  return hole_tree_point(index.tree, point);
}

}  // namespace facetor
