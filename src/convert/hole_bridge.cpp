#include "convert/hole_bridge.h"

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

// The entries a merged hole puts after its bridge point: from the chosen
// corner backwards round to it again, then the bridge point once more.
std::vector<std::uint32_t> joined_entries(const HoleCorners& hole, std::size_t corner, std::uint32_t bridgeEntry) {
  const std::size_t m = hole.inserted.size();
  std::vector<std::uint32_t> added;
  added.reserve(m + 2);
  std::size_t c = corner;
  for (std::size_t step = 0; step <= m; ++step) {
    added.push_back(hole.inserted[c]);
    c = (c == 0) ? m - 1 : c - 1;
  }
  added.push_back(bridgeEntry);
  return added;
}

// The indexed bridging of one face: the polygon as it grows (its order and
// each node's entry), the slots and the points.
struct Bridging {
  std::vector<CornerVertex>& entries;
  std::span<const HoleCorners> holes;
  PolygonOrder order{};
  std::vector<std::uint32_t> polygonEntry{};  // polygon node -> entry
  SlotIndex slots{};
  PointIndex points{};
};

struct Choice {
  std::size_t hole = 0;
  std::size_t corner = 0;
  std::uint32_t node = 0;  // polygon node of the bridge point
};

// The holes still to go in, in order: `first` moves past those that are in
// (or have no corners), so that the holes before it are never looked at again.
struct Waiting {
  std::vector<bool> merged;
  std::size_t first = 0;
};

std::size_t first_waiting(std::span<const HoleCorners> holes, Waiting& waiting) {
  while (waiting.merged[waiting.first] || holes[waiting.first].measured.empty()) ++waiting.first;
  return waiting.first;
}

// The scan's pair, or when no pair can be measured, the first hole still to
// go in by its first corner at the polygon's first position.
Choice choose_bridge(Bridging& b, Waiting& waiting) {
  const BridgePair chosen = replay_scan(b.points, b.slots, b.order);
  if (chosen.slot < 0) return Choice{first_waiting(b.holes, waiting), 0, polygon_order_first(b.order)};
  const std::uint32_t hole = b.points.hole[chosen.point];
  return Choice{hole, chosen.point - b.points.firstPoint[hole],
                static_cast<std::uint32_t>(b.slots.node[static_cast<std::size_t>(chosen.slot)])};
}

void join(Bridging& b, const Choice& choice) {
  // An entry's slots lose their use once, when it first serves as a bridge
  // point (with no usable slot left, every later hole joins at a bridged one).
  const std::uint32_t bridgeEntry = b.polygonEntry[choice.node];
  if (!b.entries[bridgeEntry].bridged) {
    b.entries[bridgeEntry].bridged = true;
    const auto bySlot = std::equal_range(b.slots.byEntry.begin(), b.slots.byEntry.end(), std::make_pair(bridgeEntry, 0u),
                                         [](const auto& l, const auto& r) { return l.first < r.first; });
    for (auto it = bySlot.first; it != bySlot.second; ++it) slot_update(b.slots, b.order, it->second, true);
  }

  const HoleCorners& hole = b.holes[choice.hole];
  const std::size_t m = hole.measured.size();
  points_remove_hole(b.points, choice.hole, m);

  std::vector<std::uint32_t> added;
  for (std::uint32_t entry : joined_entries(hole, choice.corner, bridgeEntry)) {
    added.push_back(static_cast<std::uint32_t>(b.polygonEntry.size()));
    b.polygonEntry.push_back(entry);
  }
  polygon_order_insert(b.order, choice.node, added);
  // Corner k follows the chosen corner c by (c - k) mod m places.
  std::vector<std::uint32_t> offered;
  for (std::size_t k = 0; k < m; ++k) {
    const std::uint32_t slot = b.slots.firstHoleSlot[choice.hole] + static_cast<std::uint32_t>(k);
    b.slots.node[slot] = static_cast<std::int32_t>(added[(choice.corner + m - k) % m]);
    slot_update(b.slots, b.order, slot, b.entries[b.slots.entry[slot]].bridged);
    if (b.slots.usable[slot]) offered.push_back(slot);
  }
  points_offer(b.points, b.slots, offered);
}

// ---- Small faces ----

// Whether the scan over the face measures at most kScanPairs pairs: each of
// its bridges measures at most every hole corner against every position of
// the final polygon.
bool scan_is_small(std::size_t positions, std::span<const HoleCorners> holes) {
  if (holes.size() > kScanHoles) return false;
  std::size_t corners = 0;
  for (const HoleCorners& hole : holes) {
    corners += hole.measured.size();
    positions += hole.inserted.size() + 2;
  }
  return corners <= kScanPairs && positions <= kScanPairs &&
         holes.size() * corners * positions <= kScanPairs;
}

// The scan itself: over the unmerged holes, their corners and the polygon
// positions whose entry has not served as a bridge point, in that order, the
// last pair that beats the best so far; the hole then goes in after its
// bridge point, from the chosen corner backwards round to it again, and the
// bridge point once more.
void bridge_by_scan(std::vector<CornerVertex>& entries, std::vector<std::uint32_t>& polygon,
                    std::span<const HoleCorners> holes) {
  bool merged[kScanHoles] = {};
  for (std::size_t h = 0; h < holes.size(); ++h) merged[h] = holes[h].measured.empty();
  for (std::size_t round = 0; round < holes.size(); ++round) {
    float best = kInfinity;
    std::size_t bestHole = 0, bestCorner = 0, bestPosition = 0;
    while (bestHole < holes.size() && merged[bestHole]) ++bestHole;
    if (bestHole == holes.size()) return;
    for (std::size_t h = bestHole; h < holes.size(); ++h) {
      for (std::size_t c = 0; c < holes[h].measured.size() && !merged[h]; ++c) {
        const CornerVertex& p = entries[holes[h].measured[c]];
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
    const std::vector<std::uint32_t>& inserted = holes[bestHole].inserted;
    const auto at = polygon.insert(polygon.begin() + static_cast<std::ptrdiff_t>(bestPosition + 1),
                                   inserted.size() + 2, bridge);
    for (std::size_t k = 0, c = bestCorner; k <= inserted.size(); ++k, c = (c == 0 ? inserted.size() : c) - 1) {
      at[static_cast<std::ptrdiff_t>(k)] = inserted[c];
    }
  }
}

}  // namespace

void bridge_holes(std::vector<CornerVertex>& entries, std::vector<std::uint32_t>& polygon,
                  std::span<const HoleCorners> holes) {
  if (holes.empty() || polygon.empty()) return;
  if (scan_is_small(polygon.size(), holes)) {
    bridge_by_scan(entries, polygon, holes);
    return;
  }
  bridge_holes_indexed(entries, polygon, holes);
}

void bridge_holes_indexed(std::vector<CornerVertex>& entries, std::vector<std::uint32_t>& polygon,
                          std::span<const HoleCorners> holes) {
  if (holes.empty() || polygon.empty()) return;
  Bridging b{entries, holes};
  // The polygon nodes there will be once every hole is in (each adds its
  // corners, the chosen one twice, and the bridge point).
  std::size_t total = polygon.size();
  for (const HoleCorners& hole : holes) total += hole.measured.empty() ? 0 : hole.inserted.size() + 2;
  b.polygonEntry.reserve(total);
  b.polygonEntry.assign(polygon.begin(), polygon.end());
  polygon_order_init(b.order, static_cast<std::uint32_t>(polygon.size()), total);
  point_index_build(b.points, entries, holes);
  slot_index_build(b.slots, entries, polygon, holes, b.order);
  points_measure_all(b.points, b.slots, b.order, polygon.size());
  Waiting waiting{std::vector<bool>(holes.size(), false)};
  std::size_t remaining = 0;
  for (const HoleCorners& hole : holes) remaining += hole.measured.empty() ? 0 : 1;
  for (; remaining > 0; --remaining) {
    const Choice choice = choose_bridge(b, waiting);
    join(b, choice);
    waiting.merged[choice.hole] = true;
  }
  std::vector<std::uint32_t> nodes = polygon_order_nodes(b.order);
  for (std::uint32_t& node : nodes) node = b.polygonEntry[node];
  polygon = std::move(nodes);
}

}  // namespace facetor
