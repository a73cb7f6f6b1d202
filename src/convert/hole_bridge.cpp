#include "convert/hole_bridge.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>

#include "convert/hole_point_tree.h"
#include "convert/polygon_order.h"
#include "io/release.h"
#include "mesh/tolerance.h"

namespace facetor {
namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr float kNone = -1;  // a limit that no squared distance (never negative) is within
constexpr std::uint32_t kNoPoint = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint32_t kNoPlace = kNoPoint;
// Slots that the next searches are likely to reach are measured against the
// points at once, farther ones later: "likely" is within this multiple of the
// nearest pair's distance plus this margin (a bridge's searches reach the
// nearest distance plus a few tolerances). Values from timing 2,000 and
// 8,000 random, collinear, circular and NaN/huge holes: margins of 4 and 16
// tolerances reach their caps often (up to 4x slower), 256 and 1024 are equal.
constexpr float kEagerScale = 4;
constexpr float kEagerMargin = 256 * kTolerance;
// Holes packed closer than the tolerance (lattices, clusters) would put every
// slot within that margin, so that each new slot is measured against a large
// part of the points: the margin is then at most this multiple of the nearest
// distance. From timing lattices of 2,000 to 32,000 holes 1e-7 apart: without
// it 8,000 take 2 s and time grows 16x per 4x holes; 16 to 300 keep the growth
// near 5x; 100 slows random holes least (+20% at 8,000).
constexpr float kEagerLeastMargin = 100;
// Faces whose scan measures at most this many pairs in all are bridged by the
// scan itself, which then costs less than setting up the indexes. A quad with
// one quad hole measures 40 pairs; on a million-quad grid with 100,000 such
// faces, any bound from 64 to 4,096 takes a third off the conversion time.
// It allows up to 6 holes.
constexpr std::size_t kScanPairs = 1024;
constexpr std::size_t kScanHoles = 8;  // more than kScanPairs allows
// Polygons of up to this many positions are measured against every hole
// corner directly at the start: a tree search from a corner far from them
// all walks the path to each of them. On a quad with 2,000 or 8,000
// scattered holes this takes 30% off the instructions of the conversion.
constexpr std::size_t kDirectPositions = 16;

// Whether a pair at squared distance d replaces the best so far, computed as
// the scan computes it (the difference rounded to float).
bool beats(float d, float best) {
  const float difference = d - best;
  return difference < -kTolerance;
}

// The largest squared distance that beats `best` (every smaller one does too,
// since rounding keeps the order), or kNone. Against no best yet, every finite
// distance beats.
float beat_limit(float best) {
  if (best == kInfinity) return std::numeric_limits<float>::max();
  float d = std::max(best - kTolerance, 0.0f);  // within a few units in the last place of the answer
  while (!beats(d, best)) {
    if (d == 0) return kNone;
    d = std::nextafter(d, 0.0f);
  }
  for (float up = std::nextafter(d, kInfinity); beats(up, best); up = std::nextafter(d, kInfinity)) d = up;
  return d;
}

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

// A slot pending at a subtree, with the lower bound of its distance to it.
struct PendingSlot {
  float cap;
  std::uint32_t slot;
};

// Heap order of pending slots: the least cap on top.
bool nearer_last(const PendingSlot& l, const PendingSlot& r) { return l.cap > r.cap; }

// The search state of one face.
//
// Points are the measured hole corners, numbered in scan order (hole by hole,
// corner by corner). Slots are the polygon positions that can ever serve as
// a bridge point: the outer polygon's, and each hole corner's first copy once
// the hole is in (the second copy of the chosen corner and the bridge point's
// copy always follow a slot of the same entry, so they never come first).
//
// Each live point keeps the squared distance to its nearest usable slot, and
// that slot: a lower bound of the true distance (new slots lower it at once;
// slots that lose their use leave it stale), exact while its slot is usable,
// except that far new slots may wait pending at one of the point's subtrees,
// whose cap bounds their distance from below. A segment tree over the point
// numbers gives the first point within a limit; a k-d tree over the slots,
// knowing per subtree the first and last usable slot in polygon order, gives
// a point's first slot within a limit.
struct Bridger {
  std::vector<CornerVertex>& entries;
  std::span<const HoleCorners> holes;

  HolePointTree pointTree{};
  std::vector<std::uint32_t> firstPoint{};  // hole -> its first point
  std::vector<std::uint32_t> pointHole{};
  // What each point in the tree knows is kept by its place in the tree's
  // leaf order, so that a leaf reads its points' values in a row.
  std::vector<std::uint32_t> pointPlace{};   // point -> place, kNoPlace when not in the tree
  std::vector<bool> live{};                  // place -> the point's hole is not in yet
  std::vector<float> nearest{};              // place -> squared distance
  std::vector<std::int32_t> nearestSlot{};   // place -> slot, -1 none
  std::vector<float> nodeMaxNearest{};       // point tree node -> largest `nearest` of its live points
  // Slots far from a subtree are not measured against its points at once:
  // the subtree keeps them pending, with a lower bound of their distance to
  // it, in a heap whose least bound is the subtree's cap. A search whose
  // limit reaches the cap takes out the slots within its reach and offers
  // them; the others stay untouched. (Taking out the whole list each time
  // filed most of it straight back: on a face of 128,000 scattered holes,
  // 35 of its 38 million filings.)
  std::vector<float> nodeCap{};
  std::vector<std::vector<PendingSlot>> nodePending{};
  std::vector<std::uint32_t> nodeFirstLive{};  // smallest live point number in the subtree
  float eagerLimit = kInfinity;              // slots nearer than this are measured at once
  std::size_t segmentLeaves = 1;
  std::vector<float> segment{};              // minimum `nearest` of the live points, by number range
  // Caps by point number: a subtree's cap is filed under its first live
  // point, so that a search over the points before some number finds the
  // caps it must open without walking subtrees whose capped parts lie after it.
  std::vector<float> capSegment{};

  HolePointTree slotTree{};
  std::vector<std::uint32_t> slotEntry{};
  std::vector<std::int32_t> slotNode{};      // slot -> polygon node, -1 while not in the polygon
  // slot -> in the polygon, finite, and its entry not (yet) a bridge point;
  // kept apart in one bit per slot, since every search reads it.
  std::vector<bool> slotUsable{};
  std::vector<std::uint32_t> firstHoleSlot{};  // hole -> slot of its first corner
  std::vector<std::pair<std::uint32_t, std::uint32_t>> slotsByEntry{};  // (entry, slot), sorted
  // Per slot tree node, the usable slots below it: how many, and the
  // polygon nodes of the first and the last of them in order (-1 when none),
  // kept together since a search reads them together.
  struct SlotSpan {
    std::uint32_t usable = 0;
    std::int32_t first = -1, last = -1;
  };
  std::vector<SlotSpan> slotSpan{};

  PolygonOrder order{};
  std::vector<std::uint32_t> polygonEntry{};  // polygon node -> entry
  std::vector<std::int32_t> stack{};
  std::vector<std::pair<std::int32_t, float>> boundStack{};  // nodes with their bounds
};

// ---- Slots ----

bool usable(const Bridger& b, std::uint32_t slot) { return b.slotUsable[slot]; }

void recount_usable(Bridger& b, std::uint32_t slot) {
  b.slotUsable[slot] = b.slotNode[slot] >= 0 && b.slotTree.leafOf[slot] >= 0 && !b.entries[b.slotEntry[slot]].bridged;
}

std::uint64_t node_key(const Bridger& b, std::int32_t node) {
  return polygon_order_key(b.order, static_cast<std::uint32_t>(node));
}

std::uint64_t slot_key(const Bridger& b, std::int32_t slot) {
  return node_key(b, b.slotNode[static_cast<std::size_t>(slot)]);
}

// Of two polygon nodes (-1: none), the one first or last in order.
std::int32_t earlier(const Bridger& b, std::int32_t l, std::int32_t r) {
  if (l < 0) return r;
  if (r < 0) return l;
  return node_key(b, l) <= node_key(b, r) ? l : r;
}

std::int32_t later(const Bridger& b, std::int32_t l, std::int32_t r) {
  if (l < 0) return r;
  if (r < 0) return l;
  return node_key(b, l) >= node_key(b, r) ? l : r;
}

// Recounts one node of the slot tree from its slots or its children; true
// when anything changed. (Slots keep their order in the polygon, so a node
// whose counts stand needs no parent recounted.)
bool slot_node_update(Bridger& b, std::size_t at) {
  const HolePointTree::Node& n = b.slotTree.nodes[at];
  std::uint32_t count = 0;
  std::int32_t first = -1, last = -1;
  if (n.left < 0) {
    // Each usable slot's key is read once (it reads the polygon order).
    std::uint64_t firstKey = 0, lastKey = 0;
    for (std::uint32_t i = n.begin; i < n.end; ++i) {
      const std::uint32_t slot = b.slotTree.order[i];
      if (!usable(b, slot)) continue;
      const std::int32_t node = b.slotNode[slot];
      const std::uint64_t key = node_key(b, node);
      if (count++ == 0 || key < firstKey) first = node, firstKey = key;
      if (count == 1 || key > lastKey) last = node, lastKey = key;
    }
  } else {
    const Bridger::SlotSpan& l = b.slotSpan[static_cast<std::size_t>(n.left)];
    const Bridger::SlotSpan& r = b.slotSpan[static_cast<std::size_t>(n.right)];
    count = l.usable + r.usable;
    first = earlier(b, l.first, r.first);
    last = later(b, l.last, r.last);
  }
  Bridger::SlotSpan& span = b.slotSpan[at];
  if (count == span.usable && first == span.first && last == span.last) return false;
  span = Bridger::SlotSpan{count, first, last};
  return true;
}

void slot_path_update(Bridger& b, std::int32_t node) {
  for (; node >= 0 && slot_node_update(b, static_cast<std::size_t>(node));
       node = b.slotTree.nodes[static_cast<std::size_t>(node)].parent) {
  }
}

float slot_distance(const Bridger& b, std::uint32_t point, std::uint32_t slot) {
  const HolePointTree::Point& p = b.pointTree.points[point];
  const HolePointTree::Point& e = b.slotTree.points[slot];
  return squared_distance(p.x, p.y, p.z, e.x, e.y, e.z);
}

// Whether a subtree with this bound can hold a distance below `best`: not
// when the bound reaches it, nor when every distance to it overflows.
bool below(float bound, float best) { return bound < best && bound <= std::numeric_limits<float>::max(); }

// Polygon order keys, a range of them: after `low` and before `high`.
constexpr std::uint64_t kNoKey = std::numeric_limits<std::uint64_t>::max();
struct KeyRange {
  std::uint64_t low = kNoKey;  // kNoKey: from the first
  std::uint64_t high = kNoKey;  // exclusive; kNoKey: to the last
  bool above_low(std::uint64_t key) const { return low == kNoKey || key > low; }
  bool holds(std::uint64_t key) const { return key < high && above_low(key); }
  bool whole() const { return low == kNoKey && high == kNoKey; }
};

// Whether a slot is usable and lies inside the key range.
bool usable_within(const Bridger& b, std::uint32_t slot, const KeyRange& keys) {
  return usable(b, slot) && (keys.whole() || keys.holds(slot_key(b, static_cast<std::int32_t>(slot))));
}

// Whether a slot tree node has a usable slot inside the key range.
bool reaches(const Bridger& b, std::size_t at, const KeyRange& keys) {
  const Bridger::SlotSpan& span = b.slotSpan[at];
  return span.usable > 0 &&
         (keys.whole() || (node_key(b, span.first) < keys.high && keys.above_low(node_key(b, span.last))));
}

// The usable slot first in polygon order within the key range whose squared
// distance to the point is within `limit`; -1 if none.
std::int32_t first_slot_within(Bridger& b, std::uint32_t point, float limit, KeyRange keys) {
  const HolePointTree::Point& p = b.pointTree.points[point];
  // Subtrees with usable slots whose bound is within the limit; the key
  // range, which falls as slots are found, is checked when one is taken up.
  auto near = [&](std::int32_t node) {
    const auto at = static_cast<std::size_t>(node);
    return b.slotSpan[at].usable > 0 && hole_tree_bound(b.slotTree.nodes[at], p.x, p.y, p.z) <= limit;
  };
  std::int32_t found = -1;
  b.stack.clear();
  if (!b.slotTree.nodes.empty() && near(0)) b.stack.push_back(0);
  while (!b.stack.empty()) {
    const auto at = static_cast<std::size_t>(b.stack.back());
    b.stack.pop_back();
    const HolePointTree::Node& n = b.slotTree.nodes[at];
    if (!reaches(b, at, keys)) continue;
    if (n.left < 0) {
      for (std::uint32_t i = n.begin; i < n.end; ++i) {
        // The distance first: it reads the leaf in order, the key reads the polygon.
        const std::uint32_t slot = b.slotTree.order[i];
        if (!(squared_distance(p, b.slotTree.sorted[i]) <= limit) || !usable_within(b, slot, keys)) continue;
        found = static_cast<std::int32_t>(slot);
        keys.high = slot_key(b, found);  // only earlier slots can do better now
      }
      continue;
    }
    const std::int32_t l = n.left, r = n.right;
    const bool nearLeft = near(l), nearRight = near(r);
    if (nearLeft && nearRight) {
      // The subtree whose first slot comes first is searched first (pushed last).
      const std::int32_t lFirst = b.slotSpan[static_cast<std::size_t>(l)].first;
      const bool leftFirst = earlier(b, lFirst, b.slotSpan[static_cast<std::size_t>(r)].first) == lFirst;
      b.stack.push_back(leftFirst ? r : l);
      b.stack.push_back(leftFirst ? l : r);
    } else if (nearLeft || nearRight) {
      b.stack.push_back(nearLeft ? l : r);
    }
  }
  return found;
}

// The usable slot within the key range nearest to the point, when its
// squared distance is within `limit`: the first found at the smallest
// squared distance (infinity and -1 if none).
struct NearestSlot {
  float distance = kInfinity;
  std::int32_t slot = -1;
};
NearestSlot nearest_slot(Bridger& b, std::uint32_t point, const KeyRange& keys, float limit = kInfinity) {
  const HolePointTree::Point& p = b.pointTree.points[point];
  NearestSlot best{std::nextafter(limit, kInfinity), -1};  // a distance below it is within the limit
  b.boundStack.clear();
  if (!b.slotTree.nodes.empty() && reaches(b, 0, keys)) {
    b.boundStack.emplace_back(0, hole_tree_bound(b.slotTree.nodes[0], p.x, p.y, p.z));
  }
  while (!b.boundStack.empty() && best.distance > 0) {  // nothing is nearer than 0
    const auto [node, bound] = b.boundStack.back();
    b.boundStack.pop_back();
    if (!below(bound, best.distance)) continue;
    const HolePointTree::Node& n = b.slotTree.nodes[static_cast<std::size_t>(node)];
    if (n.left < 0) {
      for (std::uint32_t i = n.begin; i < n.end; ++i) {
        const std::uint32_t slot = b.slotTree.order[i];
        const float d = squared_distance(p, b.slotTree.sorted[i]);
        if (d < best.distance && usable_within(b, slot, keys)) best = {d, static_cast<std::int32_t>(slot)};
      }
      continue;
    }
    // Children that cannot hold a nearer usable slot in the key range are
    // left out (the key range, which reads the polygon, last); the nearer
    // one is searched first (pushed last).
    std::pair<std::int32_t, float> children[2];
    std::size_t count = 0;
    for (const std::int32_t child : {n.left, n.right}) {
      const auto c = static_cast<std::size_t>(child);
      if (b.slotSpan[c].usable == 0) continue;
      const float bound = hole_tree_bound(b.slotTree.nodes[c], p.x, p.y, p.z);
      if (below(bound, best.distance) && reaches(b, c, keys)) children[count++] = {child, bound};
    }
    if (count == 2 && children[0].second <= children[1].second) std::swap(children[0], children[1]);
    for (std::size_t k = 0; k < count; ++k) b.boundStack.push_back(children[k]);
  }
  return best.slot < 0 ? NearestSlot{} : best;
}

// ---- Points ----

// Segment trees over the point numbers keep the minimum of a value per
// number range: leaves from `leaves` on, node k over its children 2k, 2k+1.
void segment_set(std::vector<float>& tree, std::size_t leaves, std::uint32_t point, float value) {
  std::size_t at = leaves + point;
  tree[at] = value;
  for (at /= 2; at > 0; at /= 2) {
    const float least = std::min(tree[2 * at], tree[2 * at + 1]);
    if (least == tree[at]) break;  // and so are the ranges above
    tree[at] = least;
  }
}

// The first number from `from` to before `to` whose value is within
// `limit`, or -1: the leftmost leaf of the range whose subtree minimum is
// within the limit.
std::int64_t segment_first(const std::vector<float>& tree, std::size_t at, std::size_t low, std::size_t width,
                           std::size_t from, std::size_t to, float limit) {
  if (low + width <= from || low >= to || !(tree[at] <= limit)) return -1;
  if (width == 1) return static_cast<std::int64_t>(low);
  const std::size_t half = width / 2;
  const std::int64_t found = segment_first(tree, 2 * at, low, half, from, to, limit);
  return found >= 0 ? found : segment_first(tree, 2 * at + 1, low + half, half, from, to, limit);
}

std::int64_t first_stored_within(const Bridger& b, std::size_t from, std::size_t to, float limit) {
  return segment_first(b.segment, 1, 0, b.segmentLeaves, from, to, limit);
}

// The smallest stored distance of the points numbered before `to`.
float segment_min(const Bridger& b, std::size_t at, std::size_t low, std::size_t width, std::size_t to) {
  if (low >= to) return kInfinity;
  if (low + width <= to) return b.segment[at];
  const std::size_t half = width / 2;
  return std::min(segment_min(b, 2 * at, low, half, to), segment_min(b, 2 * at + 1, low + half, half, to));
}

// Files again the caps of the subtrees whose first live point is `point`:
// those on the path up from its leaf, as far as the point stays first.
void cap_file(Bridger& b, std::uint32_t point) {
  if (point == kNoPoint) return;
  float least = kInfinity;
  for (std::int32_t node = b.pointTree.leafOf[point]; node >= 0 && b.nodeFirstLive[static_cast<std::size_t>(node)] == point;
       node = b.pointTree.nodes[static_cast<std::size_t>(node)].parent) {
    least = std::min(least, b.nodeCap[static_cast<std::size_t>(node)]);
  }
  segment_set(b.capSegment, b.segmentLeaves, point, least);
}

// Recounts one subtree's largest stored distance and first live point from
// its points or its children; returns the first live point it had before.
std::uint32_t point_node_update(Bridger& b, std::size_t at) {
  const HolePointTree::Node& n = b.pointTree.nodes[at];
  float most = -kInfinity;
  std::uint32_t firstLive = kNoPoint;
  if (n.left < 0) {
    for (std::uint32_t i = n.begin; i < n.end; ++i) {
      if (!b.live[i]) continue;
      most = std::max(most, b.nearest[i]);
      firstLive = std::min(firstLive, b.pointTree.order[i]);
    }
  } else {
    const auto l = static_cast<std::size_t>(n.left), r = static_cast<std::size_t>(n.right);
    most = std::max(b.nodeMaxNearest[l], b.nodeMaxNearest[r]);
    firstLive = std::min(b.nodeFirstLive[l], b.nodeFirstLive[r]);
  }
  b.nodeMaxNearest[at] = most;
  // A subtree whose points are all in needs no slot any more; its cap would
  // only draw searches to it.
  if (firstLive == kNoPoint && !b.nodePending[at].empty()) {
    b.nodeCap[at] = kInfinity;
    release_storage(b.nodePending[at]);
  }
  return std::exchange(b.nodeFirstLive[at], firstLive);
}

// Brings the subtrees up to date on the path up from a leaf. When a point
// has gone in, the subtrees it was first in get new first live points (fewer
// going up), and the caps of all those points are filed again.
void point_path_update(Bridger& b, std::int32_t node) {
  std::array<std::uint32_t, 66> refile;  // the tree is at most 64 levels deep
  std::size_t refiles = 0;
  for (; node >= 0; node = b.pointTree.nodes[static_cast<std::size_t>(node)].parent) {
    const auto at = static_cast<std::size_t>(node);
    const float mostBefore = b.nodeMaxNearest[at];
    const std::uint32_t before = point_node_update(b, at);
    const std::uint32_t firstLive = b.nodeFirstLive[at];
    if (firstLive == before) {
      if (b.nodeMaxNearest[at] == mostBefore) break;  // and so does every subtree above
      continue;
    }
    if (refiles == 0) refile[refiles++] = before;  // the point that went in
    if (refile[refiles - 1] != firstLive) refile[refiles++] = firstLive;
  }
  for (std::size_t k = 0; k < refiles; ++k) cap_file(b, refile[k]);
}

void set_nearest_at(Bridger& b, std::uint32_t place, float distance, std::int32_t slot) {
  b.nearest[place] = distance;
  b.nearestSlot[place] = slot;
  segment_set(b.segment, b.segmentLeaves, b.pointTree.order[place], distance);
}

// Measures a point against every usable slot.
void measure_point(Bridger& b, std::uint32_t point) {
  const NearestSlot nearest = nearest_slot(b, point, KeyRange{});
  set_nearest_at(b, b.pointPlace[point], nearest.distance, nearest.slot);
  point_path_update(b, b.pointTree.leafOf[point]);
}

// Makes a point's stored distance exact again if its slot has lost its use.
void refresh_point(Bridger& b, std::uint32_t point) {
  const std::int32_t slot = b.nearestSlot[b.pointPlace[point]];
  if (slot >= 0 && !usable(b, static_cast<std::uint32_t>(slot))) measure_point(b, point);
}

void offer_below(Bridger& b, std::uint32_t slot, std::int32_t top, float eager);

// Offers their pending slots to every subtree that holds live points
// numbered before `to` and whose cap is within `limit`, so that afterwards
// each of those points' stored distance is a lower bound again (exact while
// its slot is usable), or its true distance is beyond the limit. True when
// any was offered.
bool offer_pending(Bridger& b, float limit, std::size_t to) {
  limit = std::min(limit, std::numeric_limits<float>::max());  // caps are finite
  bool offered = false;
  std::vector<std::int32_t> opened;
  for (;;) {
    const std::int64_t first = segment_first(b.capSegment, 1, 0, b.segmentLeaves, 0, to, limit);
    if (first < 0) return offered;
    const auto point = static_cast<std::uint32_t>(first);
    opened.clear();
    for (std::int32_t node = b.pointTree.leafOf[point]; node >= 0 && b.nodeFirstLive[static_cast<std::size_t>(node)] == point;
         node = b.pointTree.nodes[static_cast<std::size_t>(node)].parent) {
      if (b.nodeCap[static_cast<std::size_t>(node)] <= limit) opened.push_back(node);
    }
    // The slots within the eager limit are taken from the heaps and
    // measured now (or pending further down); the farther ones stay, under
    // caps the limit does not reach, and are not looked at again until it does.
    const float eager = std::max(b.eagerLimit, limit);
    std::vector<std::vector<std::uint32_t>> slots;
    for (std::int32_t node : opened) {
      std::vector<PendingSlot>& heap = b.nodePending[static_cast<std::size_t>(node)];
      std::vector<std::uint32_t>& taken = slots.emplace_back();
      while (!heap.empty() && heap.front().cap <= eager) {
        std::pop_heap(heap.begin(), heap.end(), nearer_last);
        taken.push_back(heap.back().slot);
        heap.pop_back();
      }
      b.nodeCap[static_cast<std::size_t>(node)] = heap.empty() ? kInfinity : heap.front().cap;
    }
    cap_file(b, point);
    for (std::size_t k = 0; k < opened.size(); ++k) {
      for (std::uint32_t slot : slots[k]) {
        if (usable(b, slot)) offer_below(b, slot, opened[k], eager);
      }
    }
    offered = true;
  }
}

// The first live point numbered from `from` to before `to` whose nearest
// usable slot is within `limit`; -1 if none.
std::int64_t first_point_within(Bridger& b, std::size_t from, std::size_t to, float limit) {
  for (;;) {
    const std::int64_t found = first_stored_within(b, from, to, limit);
    // Only capped points numbered before the one found can come first: their
    // pending slots are offered now, the others' when a search needs them.
    if (offer_pending(b, limit, found < 0 ? to : static_cast<std::size_t>(found))) continue;
    if (found < 0) return found;
    const auto point = static_cast<std::uint32_t>(found);
    refresh_point(b, point);
    if (b.nearest[b.pointPlace[point]] <= limit) return found;
  }
}

// The smallest distance of any live point numbered before `to` to its
// nearest usable slot, when it is within `limit` (else some distance beyond
// the limit): the smallest stored one, once it is exact.
float points_min(Bridger& b, std::size_t to, float limit) {
  for (;;) {
    const float least = segment_min(b, 1, 0, b.segmentLeaves, to);
    if (offer_pending(b, std::min(least, limit), to)) continue;
    if (least == kInfinity || least > limit) return least;
    const auto point = static_cast<std::uint32_t>(first_stored_within(b, 0, to, least));
    const std::int32_t slot = b.nearestSlot[b.pointPlace[point]];
    if (slot < 0 || usable(b, static_cast<std::uint32_t>(slot))) return least;
    measure_point(b, point);
  }
}

// A slot that has just become usable lowers the stored distance of every
// live point below `top` it is nearer to; subtrees whose bound lies beyond
// `eager` keep it pending instead. Subtrees are skipped when their bound
// reaches their largest stored distance, when that is 0, or when every
// distance to them overflows.
void offer_below(Bridger& b, std::uint32_t slot, std::int32_t top, float eager) {
  const HolePointTree::Point& e = b.slotTree.points[slot];
  b.stack.assign(1, top);
  while (!b.stack.empty()) {
    const auto at = static_cast<std::size_t>(b.stack.back());
    b.stack.pop_back();
    const HolePointTree::Node& n = b.pointTree.nodes[at];
    const float most = b.nodeMaxNearest[at];
    if (!(most > 0)) continue;
    const float cap = hole_tree_bound(n, e.x, e.y, e.z);
    if (cap >= most || cap > std::numeric_limits<float>::max()) continue;
    if (cap > eager) {
      std::vector<PendingSlot>& heap = b.nodePending[at];
      heap.push_back(PendingSlot{cap, slot});
      std::push_heap(heap.begin(), heap.end(), nearer_last);
      if (cap < b.nodeCap[at]) {  // a lower cap is filed again
        b.nodeCap[at] = cap;
        cap_file(b, b.nodeFirstLive[at]);
      }
      continue;
    }
    if (n.left >= 0) {
      b.stack.push_back(n.left);
      b.stack.push_back(n.right);
      continue;
    }
    bool changed = false;
    for (std::uint32_t i = n.begin; i < n.end; ++i) {
      if (!b.live[i]) continue;
      const float d = squared_distance(b.pointTree.sorted[i], e);
      if (d < b.nearest[i]) {
        set_nearest_at(b, i, d, static_cast<std::int32_t>(slot));
        changed = true;
      }
    }
    if (changed) point_path_update(b, static_cast<std::int32_t>(at));
  }
}

// Measures every point against the polygon before any hole is in, and
// counts the subtrees and number ranges once, from the bottom up. A polygon
// of a few positions is measured directly: each point's tree search would
// walk to every one of them.
void measure_all(Bridger& b, std::size_t positions) {
  std::vector<std::uint32_t> direct;
  if (positions <= kDirectPositions) {
    for (std::uint32_t slot = 0; slot < positions; ++slot) {
      if (usable(b, slot)) direct.push_back(slot);
    }
  }
  for (std::uint32_t place = 0; place < b.pointTree.order.size(); ++place) {
    const std::uint32_t point = b.pointTree.order[place];
    NearestSlot best;
    if (positions > kDirectPositions) best = nearest_slot(b, point, KeyRange{});
    for (std::uint32_t slot : direct) {
      const float d = squared_distance(b.pointTree.sorted[place], b.slotTree.points[slot]);
      if (d < best.distance) best = {d, static_cast<std::int32_t>(slot)};
    }
    b.nearest[place] = best.distance;
    b.nearestSlot[place] = best.slot;
    b.segment[b.segmentLeaves + point] = best.distance;
  }
  for (std::size_t at = b.segmentLeaves; at-- > 1;) b.segment[at] = std::min(b.segment[2 * at], b.segment[2 * at + 1]);
  // Children come after their parents.
  for (std::size_t at = b.pointTree.nodes.size(); at-- > 0;) point_node_update(b, at);
}

void offer_slot(Bridger& b, std::uint32_t slot) {
  if (!b.pointTree.nodes.empty()) offer_below(b, slot, 0, b.eagerLimit);
}

// ---- Setting up ----

void build_points(Bridger& b) {
  std::size_t corners = 0;
  for (const HoleCorners& hole : b.holes) corners += hole.measured.size();
  std::vector<HolePointTree::Point> points;
  points.reserve(corners);
  b.pointHole.reserve(corners);
  b.firstPoint.reserve(b.holes.size());
  for (std::size_t h = 0; h < b.holes.size(); ++h) {
    b.firstPoint.push_back(static_cast<std::uint32_t>(points.size()));
    for (std::uint32_t entry : b.holes[h].measured) {
      const CornerVertex& v = b.entries[entry];
      points.push_back(HolePointTree::Point{v.x, v.y, v.z});
      b.pointHole.push_back(static_cast<std::uint32_t>(h));
    }
  }
  const std::size_t count = points.size();
  hole_tree_build(b.pointTree, std::move(points));
  const std::size_t inTree = b.pointTree.order.size();
  b.pointPlace.assign(count, kNoPlace);
  for (std::uint32_t place = 0; place < inTree; ++place) b.pointPlace[b.pointTree.order[place]] = place;
  b.live.assign(inTree, true);
  b.nearest.assign(inTree, kInfinity);
  b.nearestSlot.assign(inTree, -1);
  b.nodeMaxNearest.assign(b.pointTree.nodes.size(), -kInfinity);
  b.nodeFirstLive.assign(b.pointTree.nodes.size(), kNoPoint);
  b.nodeCap.assign(b.pointTree.nodes.size(), kInfinity);
  b.nodePending.resize(b.pointTree.nodes.size());
  while (b.segmentLeaves < count) b.segmentLeaves *= 2;
  b.segment.assign(2 * b.segmentLeaves, kInfinity);
  b.capSegment.assign(2 * b.segmentLeaves, kInfinity);
}

void build_slots(Bridger& b, const std::vector<std::uint32_t>& polygon) {
  // The slots, and the polygon nodes there will be once every hole is in
  // (each adds its corners, the chosen one twice, and the bridge point).
  std::size_t slots = polygon.size(), nodes = polygon.size();
  for (const HoleCorners& hole : b.holes) {
    slots += hole.inserted.size();
    nodes += hole.measured.empty() ? 0 : hole.inserted.size() + 2;
  }
  std::vector<HolePointTree::Point> positions;
  positions.reserve(slots);
  b.slotEntry.reserve(slots);
  b.firstHoleSlot.reserve(b.holes.size());
  auto add = [&](std::uint32_t entry) {
    const CornerVertex& v = b.entries[entry];
    positions.push_back(HolePointTree::Point{v.x, v.y, v.z});
    b.slotEntry.push_back(entry);
  };
  for (std::uint32_t entry : polygon) add(entry);
  for (const HoleCorners& hole : b.holes) {
    b.firstHoleSlot.push_back(static_cast<std::uint32_t>(positions.size()));
    for (std::uint32_t entry : hole.inserted) add(entry);
  }
  const std::size_t count = positions.size();
  hole_tree_build(b.slotTree, std::move(positions));
  b.slotNode.assign(count, -1);
  b.slotUsable.assign(count, false);
  for (std::uint32_t s = 0; s < polygon.size(); ++s) {
    b.slotNode[s] = static_cast<std::int32_t>(s);
    recount_usable(b, s);
  }
  b.slotsByEntry.reserve(count);
  for (std::uint32_t s = 0; s < count; ++s) b.slotsByEntry.emplace_back(b.slotEntry[s], s);
  std::sort(b.slotsByEntry.begin(), b.slotsByEntry.end());
  b.polygonEntry.reserve(nodes);
  b.polygonEntry.assign(polygon.begin(), polygon.end());
  polygon_order_init(b.order, static_cast<std::uint32_t>(polygon.size()), nodes);
  b.slotSpan.assign(b.slotTree.nodes.size(), Bridger::SlotSpan{});
  // Children come after their parents, so a backward pass fills each node
  // after both of its children.
  for (std::size_t at = b.slotTree.nodes.size(); at-- > 0;) slot_node_update(b, at);
}

// ---- One bridge ----

struct Choice {
  std::size_t hole = 0;
  std::size_t corner = 0;
  std::uint32_t node = 0;  // polygon node of the bridge point
};

std::size_t first_unmerged(std::span<const HoleCorners> holes, const std::vector<bool>& merged) {
  std::size_t h = 0;
  while (merged[h] || holes[h].measured.empty()) ++h;
  return h;
}

// A pair of the scan: a point, a slot and their squared distance.
struct Pair {
  std::uint32_t point = 0;
  std::int32_t slot = -1;  // -1: no pair
  float distance = kInfinity;
};

// The pairs before a place in scan order: those of the points numbered
// before `point`, and those of `point` itself whose slots come before `key`.
struct Prefix {
  std::size_t point;
  std::uint64_t key;
};

Prefix prefix_before(const Bridger& b, const Pair& pair) { return Prefix{pair.point, slot_key(b, pair.slot)}; }

bool partial(const Bridger& b, const Prefix& prefix) { return prefix.point < b.pointHole.size(); }

Pair make_pair(Bridger& b, std::int64_t point, std::int32_t slot) {
  if (point < 0 || slot < 0) return Pair{};
  const auto p = static_cast<std::uint32_t>(point);
  return Pair{p, slot, slot_distance(b, p, static_cast<std::uint32_t>(slot))};
}

// The smallest distance of the prefix's pairs when it is within `limit`,
// else some distance beyond the limit.
float prefix_min(Bridger& b, const Prefix& prefix, float limit) {
  float least = points_min(b, prefix.point, limit);
  if (partial(b, prefix)) {
    const auto point = static_cast<std::uint32_t>(prefix.point);
    least = std::min(least, nearest_slot(b, point, KeyRange{kNoKey, prefix.key}, limit).distance);
  }
  return least;
}

// The first pair of the points numbered from `from` to before the prefix's
// end whose distance is within `limit`.
Pair first_pair_from(Bridger& b, std::size_t from, const Prefix& prefix, float limit) {
  const std::int64_t point = first_point_within(b, from, prefix.point, limit);
  if (point >= 0) return make_pair(b, point, first_slot_within(b, static_cast<std::uint32_t>(point), limit, KeyRange{}));
  if (!partial(b, prefix) || prefix.point < from) return Pair{};
  const auto last = static_cast<std::uint32_t>(prefix.point);
  return make_pair(b, last, first_slot_within(b, last, limit, KeyRange{kNoKey, prefix.key}));
}

// The first pair after `after` and inside the prefix whose distance is
// within `limit`.
Pair first_pair_after(Bridger& b, const Pair& after, const Prefix& prefix, float limit) {
  const std::uint64_t key = slot_key(b, after.slot);
  if (partial(b, prefix) && prefix.point == after.point) {
    return make_pair(b, after.point, first_slot_within(b, after.point, limit, KeyRange{key, prefix.key}));
  }
  const Pair same = make_pair(b, after.point, first_slot_within(b, after.point, limit, KeyRange{key, kNoKey}));
  return same.slot >= 0 ? same : first_pair_from(b, after.point + 1, prefix, limit);
}

// The largest squared distance that `least` does not beat: the pairs the
// scan can end on once it has met a pair at distance `least` (every larger
// one is beaten by it).
float settle_limit(float least) {
  float d = least + kTolerance;
  while (beats(least, d)) d = std::nextafter(d, 0.0f);
  for (float up = std::nextafter(d, kInfinity); up <= std::numeric_limits<float>::max() && !beats(least, up);
       up = std::nextafter(d, kInfinity)) {
    d = up;
  }
  return d;
}

// Replays the scan's choice. The scan keeps a best pair and replaces it by
// each later pair that beats it by more than the tolerance. Over the pairs
// before some place in scan order, with smallest distance m, the scan ends
// on a pair within the tolerance of m ("settled": nothing beats it any
// more), namely the first settled pair y, unless the scan's best just before
// y already stands within the tolerance of y: then on the first pair after y
// that beats that best. The best before y is the same question for the pairs
// before y, whose smallest distance is larger than m by more than the
// tolerance; it only matters when y does not beat that smallest distance.
// So the levels are found going back in scan order, and are answered going
// forward. Each pair is found by the indexes with exact float limits, and
// they prune only by sound lower bounds, so no pair the scan would take is
// ever skipped.
Choice choose_bridge(Bridger& b, const std::vector<bool>& merged) {
  struct Level {
    Pair first;  // the first settled pair
    Prefix prefix;
  };
  std::vector<Level> levels;
  Prefix prefix{b.pointHole.size(), 0};
  float least = prefix_min(b, prefix, kInfinity);
  b.eagerLimit = kEagerScale * least + std::min(kEagerMargin, kEagerLeastMargin * least);
  if (least == kInfinity) return Choice{first_unmerged(b.holes, merged), 0, polygon_order_first(b.order)};
  for (;;) {
    const float limit = settle_limit(least);
    const Pair first = first_pair_from(b, 0, prefix, limit);
    levels.push_back(Level{first, prefix});
    // The pairs before the first settled one all lie beyond `limit`: when its
    // own settled range reaches no further, it beats every one of them.
    const float firstLimit = settle_limit(first.distance);
    if (firstLimit <= limit) break;
    const Prefix before = prefix_before(b, first);
    const float earlierLeast = prefix_min(b, before, firstLimit);
    if (earlierLeast == kInfinity || beats(first.distance, earlierLeast)) break;
    prefix = before;
    least = earlierLeast;
  }
  Pair chosen = levels.back().first;
  for (std::size_t k = levels.size() - 1; k-- > 0;) {
    if (!beats(levels[k].first.distance, chosen.distance)) {
      chosen = first_pair_after(b, levels[k].first, levels[k].prefix, beat_limit(chosen.distance));
    } else {
      chosen = levels[k].first;
    }
  }
  const std::uint32_t hole = b.pointHole[chosen.point];
  return Choice{hole, chosen.point - b.firstPoint[hole], static_cast<std::uint32_t>(b.slotNode[static_cast<std::size_t>(chosen.slot)])};
}

void join(Bridger& b, const Choice& choice) {
  const std::uint32_t bridgeEntry = b.polygonEntry[choice.node];
  b.entries[bridgeEntry].bridged = true;
  const auto bySlot = std::equal_range(b.slotsByEntry.begin(), b.slotsByEntry.end(), std::make_pair(bridgeEntry, 0u),
                                       [](const auto& l, const auto& r) { return l.first < r.first; });
  for (auto it = bySlot.first; it != bySlot.second; ++it) {
    b.slotUsable[it->second] = false;
    slot_path_update(b, b.slotTree.leafOf[it->second]);
  }

  const HoleCorners& hole = b.holes[choice.hole];
  const std::size_t m = hole.measured.size();
  for (std::size_t c = 0; c < m; ++c) {
    const std::uint32_t point = b.firstPoint[choice.hole] + static_cast<std::uint32_t>(c);
    const std::uint32_t place = b.pointPlace[point];
    if (place == kNoPlace || !b.live[place]) continue;
    b.live[place] = false;
    segment_set(b.segment, b.segmentLeaves, point, kInfinity);
    point_path_update(b, b.pointTree.leafOf[point]);
  }

  std::vector<std::uint32_t> added;
  for (std::uint32_t entry : joined_entries(hole, choice.corner, bridgeEntry)) {
    added.push_back(static_cast<std::uint32_t>(b.polygonEntry.size()));
    b.polygonEntry.push_back(entry);
  }
  polygon_order_insert(b.order, choice.node, added);
  // Corner k follows the chosen corner c by (c - k) mod m places.
  for (std::size_t k = 0; k < m; ++k) {
    const std::uint32_t slot = b.firstHoleSlot[choice.hole] + static_cast<std::uint32_t>(k);
    b.slotNode[slot] = static_cast<std::int32_t>(added[(choice.corner + m - k) % m]);
    recount_usable(b, slot);
    if (b.slotTree.leafOf[slot] < 0) continue;
    slot_path_update(b, b.slotTree.leafOf[slot]);
    if (usable(b, slot)) offer_slot(b, slot);
  }
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
  Bridger b{entries, holes};
  build_points(b);
  build_slots(b, polygon);
  measure_all(b, polygon.size());
  std::vector<bool> merged(holes.size(), false);
  std::size_t remaining = 0;
  for (const HoleCorners& hole : holes) remaining += hole.measured.empty() ? 0 : 1;
  for (; remaining > 0; --remaining) {
    const Choice choice = choose_bridge(b, merged);
    join(b, choice);
    merged[choice.hole] = true;
  }
  std::vector<std::uint32_t> nodes = polygon_order_nodes(b.order);
  for (std::uint32_t& node : nodes) node = b.polygonEntry[node];
  polygon = std::move(nodes);
}

}  // namespace facetor
