#include "convert/hole_bridge.h"
#include "convert/hole_bridge_indexed.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "convert/hole_point_index.h"
#include "convert/hole_slot_index.h"
#include "convert/hole_tie_replay.h"
#include "convert/polygon_order.h"

namespace facetor {
namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();

// Faces whose scan measures at most this many pairs in all are bridged by the
// scan itself, which then costs less than setting up the indexes. A quad with
// one quad hole measures 40 pairs; on a million-quad grid with 100,000 such
// faces, any bound from 64 to 4,096 takes a third off the conversion time.
// It allows up to 6 holes.
constexpr std::size_t kScanPairs = 1024;
constexpr std::size_t kScanHoles = 8;  // more than kScanPairs allows

// The indexed bridging of one face: the polygon as it grows (its order and
// each node's entry), the slots and the points.
struct Bridging {
  CornerEntries& entries;
  const FaceHoles& holes;
  // A slot's node is numbered by the slot index; the nodes that are no slots
  // (the second copy of a hole's chosen corner and of its bridge point) are
  // numbered after them.
  PolygonOrder order{};
  std::vector<std::uint32_t> polygonEntry{};  // polygon node -> entry
  std::uint32_t nextNode = 0;                 // the next node that is no slot
  std::size_t outerSlots = 0;                 // the hole corners' slots come after the outer polygon's
  SlotIndex slots{};
  PointIndex points{};
  ReplayMemory memory{};
};

struct Choice {
  std::size_t hole = 0;
  std::size_t corner = 0;
  std::uint32_t slot = 0;  // the bridge point
};

// The holes still to go in, in order: `first` moves past those that are in
// (or have no corners), so that the holes before it are never looked at again.
struct Waiting {
  std::vector<bool> merged;
  std::size_t first = 0;
};

std::size_t first_waiting(const FaceHoles& holes, Waiting& waiting) {
  while (waiting.merged[waiting.first] || holes.corners(waiting.first) == 0) ++waiting.first;
  return waiting.first;
}

// The scan's pair, or when no pair can be measured, the first hole still to
// go in by its first corner at the polygon's first position (the first of
// the outer polygon: nodes go in after others).
Choice choose_bridge(Bridging& b, Waiting& waiting) {
  const BridgePair chosen = replay_scan(b.points, b.slots, b.order, b.memory);
  if (chosen.slot < 0) return Choice{first_waiting(b.holes, waiting), 0, 0};
  // The hole of the point: the last whose first point is not after it.
  const auto hole = static_cast<std::size_t>(
      std::upper_bound(b.holes.first.begin(), b.holes.first.end(), chosen.point) - b.holes.first.begin() - 1);
  return Choice{hole, chosen.point - b.holes.first[hole], static_cast<std::uint32_t>(chosen.slot)};
}

void join(Bridging& b, const Choice& choice) {
  // An entry's slots lose their use once, when it first serves as a bridge
  // point (with no usable slot left, every later hole joins at a bridged one).
  const std::uint32_t bridgeEntry = b.slots.entry[choice.slot];
  std::vector<std::uint32_t> changed;  // the slots whose use came or went
  if (!b.entries[bridgeEntry].bridged) {
    b.entries[bridgeEntry].bridged = true;
    std::uint32_t slot = choice.slot;
    do {
      if (slot_usable(b.slots, slot)) changed.push_back(slot);
      slot_update(b.slots, b.order, slot, true);
      slot = b.slots.sameEntry[slot];
    } while (slot != choice.slot);
  }

  const std::size_t first = b.holes.first[choice.hole], m = b.holes.corners(choice.hole);
  points_remove(b.points, first, first + m);

  // The hole goes in from the chosen corner backwards round to it again, and
  // the bridge point once more: corner k follows corner c by (c - k) mod m.
  std::vector<std::uint32_t> added;
  added.reserve(m + 2);
  for (std::size_t step = 0; step < m; ++step) {
    const auto slot = static_cast<std::uint32_t>(b.outerSlots + first + (choice.corner + m - step) % m);
    added.push_back(slot_node(b.slots, slot));
  }
  for (std::uint32_t entry : {b.holes.inserted[first + choice.corner], bridgeEntry}) {
    b.polygonEntry[b.nextNode] = entry;
    added.push_back(b.nextNode++);
  }
  polygon_order_insert(b.order, slot_node(b.slots, choice.slot), added);
  std::vector<std::uint32_t> offered;
  for (std::size_t k = 0; k < m; ++k) {
    const auto slot = static_cast<std::uint32_t>(b.outerSlots + first + k);
    slot_place(b.slots, slot);
    slot_update(b.slots, b.order, slot, b.entries[b.slots.entry[slot]].bridged);
    if (slot_usable(b.slots, slot)) offered.push_back(slot);
  }
  changed.insert(changed.end(), offered.begin(), offered.end());
  replay_note_changes(b.memory, b.points, b.slots, b.order, static_cast<std::uint32_t>(first), changed);
  points_offer(b.points, b.slots, offered);
}

// ---- Small faces ----

// Whether the scan over the face measures at most kScanPairs pairs: each of
// its bridges measures at most every hole corner against every position of
// the final polygon.
bool scan_is_small(std::size_t positions, const FaceHoles& holes) {
  if (holes.count() > kScanHoles) return false;
  const std::size_t corners = holes.measured.size();
  positions += corners + 2 * holes.count();
  return corners <= kScanPairs && positions <= kScanPairs && holes.count() * corners * positions <= kScanPairs;
}

// The scan itself: over the unmerged holes, their corners and the polygon
// positions whose entry has not served as a bridge point, in that order, the
// last pair that beats the best so far; the hole then goes in after its
// bridge point, from the chosen corner backwards round to it again, and the
// bridge point once more.
void bridge_by_scan(CornerEntries& entries, std::vector<std::uint32_t>& polygon, const FaceHoles& holes) {
  bool merged[kScanHoles] = {};
  for (std::size_t h = 0; h < holes.count(); ++h) merged[h] = holes.corners(h) == 0;
  for (std::size_t round = 0; round < holes.count(); ++round) {
    float best = kInfinity;
    std::size_t bestHole = 0, bestCorner = 0, bestPosition = 0;
    while (bestHole < holes.count() && merged[bestHole]) ++bestHole;
    if (bestHole == holes.count()) return;
    for (std::size_t h = bestHole; h < holes.count(); ++h) {
      for (std::size_t c = 0; c < holes.corners(h) && !merged[h]; ++c) {
        const CornerVertex& p = entries[holes.measured[holes.first[h] + c]];
        for (std::size_t j = 0; j < polygon.size(); ++j) {
          const CornerVertex& e = entries[polygon[j]];
          if (e.bridged) continue;
          const float d = squared_distance(p.x, p.y, p.z, e.x, e.y, e.z);
          if (beats(d, best)) best = d, bestHole = h, bestCorner = c, bestPosition = j;
        }
      }
    }
    const std::uint32_t bridge = polygon[bestPosition];
    entries[bridge].bridged = merged[bestHole] = true;
    const std::span<const std::uint32_t> inserted = holes.inserted.subspan(holes.first[bestHole], holes.corners(bestHole));
    const auto at = polygon.insert(polygon.begin() + static_cast<std::ptrdiff_t>(bestPosition + 1),
                                   inserted.size() + 2, bridge);
    for (std::size_t k = 0, c = bestCorner; k <= inserted.size(); ++k, c = (c == 0 ? inserted.size() : c) - 1) {
      at[static_cast<std::ptrdiff_t>(k)] = inserted[c];
    }
  }
}

}  // namespace

void bridge_holes(CornerEntries& entries, std::vector<std::uint32_t>& polygon, const FaceHoles& holes) {
  if (holes.count() == 0 || polygon.empty()) return;
  if (scan_is_small(polygon.size(), holes)) {
    bridge_by_scan(entries, polygon, holes);
    return;
  }
  bridge_holes_indexed(entries, polygon, holes);
}

void bridge_holes_indexed(CornerEntries& entries, std::vector<std::uint32_t>& polygon,
                          const FaceHoles& holes) {
  if (holes.count() == 0 || polygon.empty()) return;
  Bridging b{entries, holes};
  // The polygon nodes there will be once every hole is in (each adds its
  // corners, the chosen one twice, and the bridge point).
  std::size_t remaining = 0;
  for (std::size_t h = 0; h < holes.count(); ++h) remaining += holes.corners(h) == 0 ? 0 : 1;
  b.outerSlots = polygon.size();
  point_index_build(b.points, entries, holes);
  slot_index_build(b.slots, entries, polygon, holes);
  const std::size_t slots = b.slots.entry.size(), total = slots + 2 * remaining;
  b.polygonEntry.resize(total);
  for (std::uint32_t slot = 0; slot < slots; ++slot) b.polygonEntry[slot_node(b.slots, slot)] = b.slots.entry[slot];
  b.nextNode = static_cast<std::uint32_t>(slots);
  std::vector<std::uint32_t> outer(polygon.size());
  for (std::uint32_t slot = 0; slot < polygon.size(); ++slot) outer[slot] = slot_node(b.slots, slot);
  polygon_order_init(b.order, outer, total);
  slot_index_count(b.slots, b.order);
  points_measure_all(b.points, b.slots, b.order, polygon.size());
  Waiting waiting{std::vector<bool>(holes.count(), false)};
  for (; remaining > 0; --remaining) {
    const Choice choice = choose_bridge(b, waiting);
    join(b, choice);
    waiting.merged[choice.hole] = true;
  }
  // The indexes go before the polygon is laid out, which needs as much again.
  b.points = PointIndex{};
  b.slots = SlotIndex{};
  std::vector<std::uint32_t> nodes = polygon_order_nodes(b.order);
  for (std::uint32_t& node : nodes) node = b.polygonEntry[node];
  polygon = std::move(nodes);
}

}  // namespace facetor
