// The slot index of a face's hole bridging. Slots are the polygon positions
// that can ever serve as a bridge point: the outer polygon's, and each hole
// corner's first copy once its hole is in (the second copy of the chosen
// corner and the bridge point's copy always follow a slot of the same entry,
// so they never come first in polygon order).
//
// Invariant: a slot is usable exactly when it is in the polygon, its
// coordinates are finite and its entry has not served as a bridge point; and
// every node of the k-d tree over the slots knows how many usable slots lie
// below it and the polygon nodes of the first and the last of them in
// polygon order. Every search reads usability only through these, so each
// change of a slot is followed by slot_update on its leaf.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "convert/corner_table.h"
#include "convert/hole_bridge.h"
#include "convert/hole_point_tree.h"
#include "convert/polygon_order.h"

namespace facetor {

struct SlotIndex {
  HolePointTree tree;
  std::vector<std::uint32_t> entry;         // slot -> entry
  // What each slot in the tree knows is kept by its place in the tree's leaf
  // order, so that a leaf reads its slots' values in a row; one bit each,
  // since every search reads them.
  std::vector<bool> inPolygon;              // place -> in the polygon
  std::vector<bool> usable;                 // place -> usable
  std::vector<std::uint32_t> sameEntry;     // slot -> the next slot of its entry, round a ring
  // Per tree node, the usable slots below it: how many, and the polygon nodes
  // of the first and the last of them in order (-1 when none), kept together
  // since a search reads them together.
  struct Span {
    std::uint32_t usable = 0;
    std::int32_t first = -1, last = -1;
  };
  std::vector<Span> span;
};

// The slots of the outer polygon, by position, and of every hole's inserted
// corners in a row after them; those of the outer polygon are in it. The
// subtrees are counted by slot_index_count once the polygon is laid out.
void slot_index_build(SlotIndex& index, const CornerEntries& entries, std::span<const std::uint32_t> polygon,
                      const FaceHoles& holes);
void slot_index_count(SlotIndex& index, const PolygonOrder& order);

// The polygon node of a slot, once it is in the polygon: its place in the
// tree, so that the nodes of a leaf's slots are read in a row.
inline std::uint32_t slot_node(const SlotIndex& index, std::uint32_t slot) { return index.tree.place[slot]; }

inline bool slot_usable(const SlotIndex& index, std::uint32_t slot) { return index.usable[index.tree.place[slot]]; }

// Puts a slot into the polygon.
inline void slot_place(SlotIndex& index, std::uint32_t slot) { index.inPolygon[index.tree.place[slot]] = true; }

// Recounts the slot's usability and the tree path above it. `bridged` says
// whether the slot's entry has served as a bridge point.
void slot_update(SlotIndex& index, const PolygonOrder& order, std::uint32_t slot, bool bridged);

inline std::uint64_t slot_key(const SlotIndex& index, const PolygonOrder& order, std::uint32_t slot) {
  return polygon_order_key(order, slot_node(index, slot));
}

// Polygon order keys, a range of them: after `low` and before `high`.
inline constexpr std::uint64_t kNoKey = std::numeric_limits<std::uint64_t>::max();
struct KeyRange {
  std::uint64_t low = kNoKey;   // kNoKey: from the first
  std::uint64_t high = kNoKey;  // exclusive; kNoKey: to the last
  bool above_low(std::uint64_t key) const { return low == kNoKey || key > low; }
  bool holds(std::uint64_t key) const { return key < high && above_low(key); }
  bool whole() const { return low == kNoKey && high == kNoKey; }
};

// The usable slot first in polygon order within the key range whose squared
// distance to p is within `limit`; -1 if none. `stack` is working storage.
std::int32_t slots_first_within(const SlotIndex& index, const PolygonOrder& order, const HolePointTree::Point& p,
                                float limit, KeyRange keys, std::vector<std::int32_t>& stack);

// The usable slot within the key range nearest to p, when its squared
// distance is within `limit`: the first found at the smallest squared
// distance (infinity and -1 if none).
struct NearestSlot {
  float distance = std::numeric_limits<float>::infinity();
  std::int32_t slot = -1;
};
NearestSlot slots_nearest(const SlotIndex& index, const PolygonOrder& order, const HolePointTree::Point& p,
                          const KeyRange& keys, float limit, std::vector<std::pair<std::int32_t, float>>& stack);

}  // namespace facetor
