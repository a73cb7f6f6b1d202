#include "convert/hole_point_index.h"

#include <algorithm>
#include <array>
#include <utility>

#include "io/hash.h"
#include "io/release.h"
#include "mesh/tolerance.h"

namespace facetor {
namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();
// Slots that the next searches are likely to reach are measured against the
// points at once, farther ones later: "likely" is within this multiple of the
// nearest pair's distance plus this margin (a bridge's searches reach the
// nearest distance plus a few tolerances). Values from timing 2,000 and
// 8,000 random, collinear, circular and NaN/huge holes: margins of 4 and 16
// tolerances reach their caps often (up to 4x slower), 256 and 1024 are equal.
// The multiple from counting instructions on round holes nested 0.2 apart:
// at 4 a ring's slots go down to the points of the second ring inside it
// too (squared distances 0.04 and 0.16), at 1.5 only to the first (a fifth
// fewer instructions on 16 rings at 4 MB); on scattered one-corner holes
// 1.5 costs less than 2 or 4, on grids, lattices and piles the same.
constexpr float kEagerScale = 1.5f;
constexpr float kEagerMargin = 256 * kTolerance;
// Holes packed closer than the tolerance (lattices, clusters) would put every
// slot within that margin, so that each new slot is measured against a large
// part of the points: the margin is then at most this multiple of the nearest
// distance. From timing lattices of 2,000 to 32,000 holes 1e-7 apart: without
// it 8,000 take 2 s and time grows 16x per 4x holes; 16 to 300 keep the growth
// near 5x; 100 slows random holes least (+20% at 8,000).
constexpr float kEagerLeastMargin = 100;
// Polygons of up to this many positions are measured against every hole
// corner directly at the start: a tree search from a corner far from them
// all walks the path to each of them. On a quad with 2,000 or 8,000
// scattered holes this takes 30% off the instructions of the conversion.
constexpr std::size_t kDirectPositions = 16;
// A subtree keeps at most this many pending slots per point below it; beyond
// that it keeps only their least bound and measures its points again when a
// search reaches it. One ring of holes nested in many others would leave
// each of them a pending slot per corner for every ring outside it.
constexpr std::size_t kPendingPerPoint = 2;

// Slots of a hole that go in are measured against the points in an order
// the file cannot know: offered round a ring, each corner would lower the
// distances of half of a ring inside it, while in a random order a point's
// distance is lowered about log m times. So are slots taken from a pending
// heap, which come nearest first.
void shuffle_secretly(std::span<std::uint32_t> slots) {
  if (slots.size() < 2) return;
  const HashKey key = process_hash_key();
  for (std::size_t k = slots.size() - 1; k > 0; --k) {
    std::swap(slots[k], slots[keyed_hash(key, {slots[k], k}) % (k + 1)]);
  }
}

float eager_limit(float nearest) { return kEagerScale * nearest + std::min(kEagerMargin, kEagerLeastMargin * nearest); }

// Heap order of pending slots: the least cap on top.
bool nearer_last(const PendingSlot& l, const PendingSlot& r) { return l.cap > r.cap; }

// Segment trees over the point numbers keep the minimum of a value per
// number range, bottom up in 2n values: leaf n + k holds number k, node j
// the least of its children 2j and 2j + 1. A range is covered by the nodes
// met walking up from its two ends, each over numbers in a row.
void segment_set(std::vector<float>& tree, std::uint32_t point, float value) {
  std::size_t at = tree.size() / 2 + point;
  tree[at] = value;
  for (at /= 2; at > 0; at /= 2) {
    const float least = std::min(tree[2 * at], tree[2 * at + 1]);
    if (least == tree[at]) break;  // and so are the ranges above
    tree[at] = least;
  }
}

// The first number from `from` to before `to` whose value is within
// `limit`, or -1: the leftmost leaf below the first covering node whose
// least value is within the limit.
std::int64_t segment_first(const std::vector<float>& tree, std::size_t from, std::size_t to, float limit) {
  const std::size_t n = tree.size() / 2;
  std::array<std::size_t, 64> right;  // the right end's nodes, last first
  std::size_t rights = 0, found = 0;
  for (std::size_t l = from + n, r = to + n; l < r && found == 0; l /= 2, r /= 2) {
    if (l % 2 == 1) {
      if (tree[l] <= limit) found = l;
      ++l;
    }
    if (r % 2 == 1) right[rights++] = --r;
  }
  while (found == 0 && rights > 0) {
    const std::size_t node = right[--rights];
    if (tree[node] <= limit) found = node;
  }
  if (found == 0) return -1;
  while (found < n) found = tree[2 * found] <= limit ? 2 * found : 2 * found + 1;
  return static_cast<std::int64_t>(found - n);
}

std::int64_t first_stored_within(const PointIndex& index, std::size_t from, std::size_t to, float limit) {
  return segment_first(index.segment, from, to, limit);
}

// The smallest stored distance of the points numbered before `to`.
float segment_min(const std::vector<float>& tree, std::size_t to) {
  const std::size_t n = tree.size() / 2;
  float least = kInfinity;
  for (std::size_t l = n, r = to + n; l < r; l /= 2, r /= 2) {
    if (l % 2 == 1) least = std::min(least, tree[l++]);
    if (r % 2 == 1) least = std::min(least, tree[--r]);
  }
  return least;
}

// Files again the caps of the subtrees whose first live point is `point`:
// those on the path up from its leaf, as far as the point stays first.
void cap_file(PointIndex& index, std::uint32_t point) {
  if (point == kNoPoint) return;
  float least = kInfinity;
  for (std::int32_t node = index.tree.leafOf[point];
       node >= 0 && index.nodeFirstLive[static_cast<std::size_t>(node)] == point;
       node = index.tree.nodes[static_cast<std::size_t>(node)].parent) {
    least = std::min(least, index.nodeCap[static_cast<std::size_t>(node)]);
  }
  segment_set(index.capSegment, point, least);
}

// Recounts one subtree's largest stored distance and first live point from
// its points or its children; returns the first live point it had before.
std::uint32_t recount(PointIndex& index, std::size_t at) {
  const HolePointTree::Node& n = index.tree.nodes[at];
  float most = -kInfinity;
  std::uint32_t firstLive = kNoPoint;
  if (n.left < 0) {
    for (std::uint32_t i = n.begin; i < n.end; ++i) {
      if (!index.live[i]) continue;
      most = std::max(most, index.nearest[i]);
      firstLive = std::min(firstLive, index.tree.placed[i].id);
    }
  } else {
    const auto l = static_cast<std::size_t>(n.left), r = static_cast<std::size_t>(n.right);
    most = std::max(index.nodeMaxNearest[l], index.nodeMaxNearest[r]);
    firstLive = std::min(index.nodeFirstLive[l], index.nodeFirstLive[r]);
  }
  index.nodeMaxNearest[at] = most;
  // A subtree whose points are all in needs no slot any more; its cap would
  // only draw searches to it.
  if (firstLive == kNoPoint && index.nodeCap[at] != kInfinity) {
    index.nodeCap[at] = kInfinity;
    index.nodeLost[at] = false;
    release_storage(index.nodePending[at]);
  }
  return std::exchange(index.nodeFirstLive[at], firstLive);
}

// Brings the subtrees up to date on the path up from a leaf. When a point
// has gone in, the subtrees it was first in get new first live points (fewer
// going up), and the caps of all those points are filed again.
void path_update(PointIndex& index, std::int32_t node) {
  std::array<std::uint32_t, 66> refile;  // the tree is at most 64 levels deep
  std::size_t refiles = 0;
  for (; node >= 0; node = index.tree.nodes[static_cast<std::size_t>(node)].parent) {
    const auto at = static_cast<std::size_t>(node);
    const float mostBefore = index.nodeMaxNearest[at];
    const std::uint32_t before = recount(index, at);
    const std::uint32_t firstLive = index.nodeFirstLive[at];
    if (firstLive == before) {
      if (index.nodeMaxNearest[at] == mostBefore) break;  // and so does every subtree above
      continue;
    }
    if (refiles == 0) refile[refiles++] = before;  // the point that went in
    if (refile[refiles - 1] != firstLive) refile[refiles++] = firstLive;
  }
  for (std::size_t k = 0; k < refiles; ++k) cap_file(index, refile[k]);
}

void set_nearest_at(PointIndex& index, std::uint32_t place, float distance, std::int32_t slot) {
  index.nearest[place] = distance;
  index.nearestSlot[place] = slot;
  segment_set(index.segment, index.tree.placed[place].id, distance);
}

// Measures a point against every usable slot.
void measure_point(PointIndex& index, const SlotIndex& slots, const PolygonOrder& order, std::uint32_t point) {
  const NearestSlot nearest =
      slots_nearest(slots, order, point_position(index, point), KeyRange{}, kInfinity, index.slotStack);
  set_nearest_at(index, index.tree.place[point], nearest.distance, nearest.slot);
  path_update(index, index.tree.leafOf[point]);
}

// Makes a point's stored distance exact again if its slot has lost its use.
void refresh_point(PointIndex& index, const SlotIndex& slots, const PolygonOrder& order, std::uint32_t point) {
  const std::int32_t slot = index.nearestSlot[index.tree.place[point]];
  if (slot >= 0 && !slot_usable(slots, static_cast<std::uint32_t>(slot))) measure_point(index, slots, order, point);
}

// A slot that has just become usable lowers the stored distance of every
// live point below `top` it is nearer to; subtrees whose bound lies beyond
// `eager` keep it pending instead. Subtrees are skipped when their bound
// reaches their largest stored distance, when that is 0, or when every
// distance to them overflows.
void offer_below(PointIndex& index, const SlotIndex& slots, std::uint32_t slot, std::int32_t top, float eager) {
  const HolePointTree::Point& e = hole_tree_point(slots.tree, slot);
  index.stack.assign(1, top);
  while (!index.stack.empty()) {
    const auto at = static_cast<std::size_t>(index.stack.back());
    index.stack.pop_back();
    const HolePointTree::Node& n = index.tree.nodes[at];
    const float most = index.nodeMaxNearest[at];
    if (!(most > 0)) continue;
    const float cap = hole_tree_bound(n, e.x, e.y, e.z);
    if (cap >= most || cap > std::numeric_limits<float>::max()) continue;
    if (cap > eager) {
      std::vector<PendingSlot>& heap = index.nodePending[at];
      if (!index.nodeLost[at]) {
        heap.push_back(PendingSlot{cap, slot});
        std::push_heap(heap.begin(), heap.end(), nearer_last);
        if (heap.size() > kPendingPerPoint * (n.end - n.begin)) {
          release_storage(heap);
          index.nodeLost[at] = true;
        }
      }
      if (cap < index.nodeCap[at]) {  // a lower cap is filed again
        index.nodeCap[at] = cap;
        cap_file(index, index.nodeFirstLive[at]);
      }
      continue;
    }
    if (n.left >= 0) {
      index.stack.push_back(n.left);
      index.stack.push_back(n.right);
      continue;
    }
    bool changed = false;
    for (std::uint32_t i = n.begin; i < n.end; ++i) {
      if (!index.live[i]) continue;
      const float d = squared_distance(index.tree.placed[i].p, e);
      if (d < index.nearest[i]) {
        set_nearest_at(index, i, d, static_cast<std::int32_t>(slot));
        changed = true;
      }
    }
    if (changed) path_update(index, static_cast<std::int32_t>(at));
  }
}

// Measures every live point below a subtree against every usable slot, so
// that no slot need wait pending below it any more.
void measure_below(PointIndex& index, const SlotIndex& slots, const PolygonOrder& order, std::int32_t top) {
  const HolePointTree::Node& n = index.tree.nodes[static_cast<std::size_t>(top)];
  for (std::uint32_t place = n.begin; place < n.end; ++place) {
    if (!index.live[place]) continue;
    const NearestSlot nearest =
        slots_nearest(slots, order, index.tree.placed[place].p, KeyRange{}, kInfinity, index.slotStack);
    set_nearest_at(index, place, nearest.distance, nearest.slot);
  }
  // The subtree's nodes are numbered from `top` on, children after their
  // parents: counted again from the bottom up.
  std::size_t end = static_cast<std::size_t>(top) + 1;
  while (end < index.tree.nodes.size() && index.tree.nodes[end].begin >= n.begin && index.tree.nodes[end].end <= n.end &&
         index.tree.nodes[end].begin < n.end) {
    ++end;
  }
  for (std::size_t at = end; at-- > static_cast<std::size_t>(top);) {
    index.nodeCap[at] = kInfinity;
    index.nodeLost[at] = false;
    release_storage(index.nodePending[at]);
    recount(index, at);
  }
  path_update(index, n.parent);
  for (std::uint32_t place = n.begin; place < n.end; ++place) {
    if (index.live[place]) cap_file(index, index.tree.placed[place].id);
  }
}

// Offers their pending slots to every subtree that holds live points
// numbered before `to` and whose cap is within `limit`, so that afterwards
// each of those points' stored distance is a lower bound again (exact while
// its slot is usable), or its true distance is beyond the limit. True when
// any was offered.
bool offer_pending(PointIndex& index, const SlotIndex& slots, const PolygonOrder& order, float limit, std::size_t to) {
  limit = std::min(limit, std::numeric_limits<float>::max());  // caps are finite
  bool offered = false;
  std::vector<std::int32_t> opened;
  for (;;) {
    const std::int64_t first = segment_first(index.capSegment, 0, to, limit);
    if (first < 0) return offered;
    const auto point = static_cast<std::uint32_t>(first);
    opened.clear();
    for (std::int32_t node = index.tree.leafOf[point];
         node >= 0 && index.nodeFirstLive[static_cast<std::size_t>(node)] == point;
         node = index.tree.nodes[static_cast<std::size_t>(node)].parent) {
      if (index.nodeCap[static_cast<std::size_t>(node)] <= limit) opened.push_back(node);
    }
    // The slots within the eager limit are taken from the heaps and
    // measured now (or pending further down); the farther ones stay, under
    // caps the limit does not reach, and are not looked at again until it does.
    const float eager = std::max(index.eagerLimit, limit);
    std::vector<std::vector<std::uint32_t>> taken;
    std::reverse(opened.begin(), opened.end());  // from the top
    for (std::size_t k = 0; k < opened.size(); ++k) {
      const std::int32_t node = opened[k];
      if (index.nodeLost[static_cast<std::size_t>(node)]) {
        measure_below(index, slots, order, node);
        opened.resize(k);  // the subtrees below it are measured too
        break;
      }
      std::vector<PendingSlot>& heap = index.nodePending[static_cast<std::size_t>(node)];
      std::vector<std::uint32_t>& out = taken.emplace_back();
      while (!heap.empty() && heap.front().cap <= eager) {
        std::pop_heap(heap.begin(), heap.end(), nearer_last);
        out.push_back(heap.back().slot);
        heap.pop_back();
      }
      index.nodeCap[static_cast<std::size_t>(node)] = heap.empty() ? kInfinity : heap.front().cap;
      shuffle_secretly(out);
    }
    cap_file(index, point);
    for (std::size_t k = 0; k < opened.size(); ++k) {
      for (std::uint32_t slot : taken[k]) {
        if (slot_usable(slots, slot)) offer_below(index, slots, slot, opened[k], eager);
      }
    }
    offered = true;
  }
}

}  // namespace

void point_index_build(PointIndex& index, const CornerEntries& entries, const FaceHoles& holes) {
  const std::size_t count = holes.measured.size();
  std::vector<HolePointTree::Placed> points;
  points.reserve(count);
  for (std::uint32_t point = 0; point < count; ++point) {
    const CornerVertex& v = entries[holes.measured[point]];
    hole_tree_add(points, point, HolePointTree::Point{v.x, v.y, v.z});
  }
  hole_tree_build(index.tree, count, std::move(points));
  const std::size_t inTree = index.tree.placed.size();
  index.live.assign(inTree, true);
  index.nearest.assign(inTree, kInfinity);
  index.nearestSlot.assign(inTree, -1);
  const std::size_t nodes = index.tree.nodes.size();
  index.nodeMaxNearest.assign(nodes, -kInfinity);
  index.nodeFirstLive.assign(nodes, kNoPoint);
  index.nodeCap.assign(nodes, kInfinity);
  index.nodePending.resize(nodes);
  index.nodeLost.assign(nodes, false);
  index.segment.assign(2 * count, kInfinity);
  index.capSegment.assign(2 * count, kInfinity);
}

// A polygon of a few positions is measured directly: each point's tree
// search would walk to every one of them. The subtrees and number ranges are
// counted once, from the bottom up.
void points_measure_all(PointIndex& index, const SlotIndex& slots, const PolygonOrder& order, std::size_t positions) {
  std::vector<std::uint32_t> direct;
  if (positions <= kDirectPositions) {
    for (std::uint32_t slot = 0; slot < positions; ++slot) {
      if (slot_usable(slots, slot)) direct.push_back(slot);
    }
  }
  for (std::uint32_t place = 0; place < index.tree.placed.size(); ++place) {
    const std::uint32_t point = index.tree.placed[place].id;
    NearestSlot best;
    if (positions > kDirectPositions) {
      best = slots_nearest(slots, order, point_position(index, point), KeyRange{}, kInfinity, index.slotStack);
    }
    for (std::uint32_t slot : direct) {
      const float d = squared_distance(index.tree.placed[place].p, hole_tree_point(slots.tree, slot));
      if (d < best.distance) best = {d, static_cast<std::int32_t>(slot)};
    }
    index.nearest[place] = best.distance;
    index.nearestSlot[place] = best.slot;
    index.segment[index.segment.size() / 2 + point] = best.distance;
  }
  for (std::size_t at = index.segment.size() / 2; at-- > 1;) {
    index.segment[at] = std::min(index.segment[2 * at], index.segment[2 * at + 1]);
  }
  // Children come after their parents.
  for (std::size_t at = index.tree.nodes.size(); at-- > 0;) recount(index, at);
}

void points_set_eager_limit(PointIndex& index, float nearest) { index.eagerLimit = eager_limit(nearest); }

void points_offer(PointIndex& index, const SlotIndex& slots, std::span<std::uint32_t> offered) {
  if (index.tree.nodes.empty()) return;
  shuffle_secretly(offered);
  for (std::uint32_t slot : offered) {
    offer_below(index, slots, slot, 0, index.eagerLimit);
    // The next bridge's searches start near the least stored distance (the
    // root of the segment tree), which the slots offered so far may have
    // lowered: later slots are measured at once only as far as those
    // searches are likely to reach, and wait pending beyond. (A ring that
    // goes in next to another would else lower the distances of every hole
    // within reach of the bridge it came by, however far.)
    index.eagerLimit = std::min(index.eagerLimit, eager_limit(index.segment[1]));
  }
}

void points_remove(PointIndex& index, std::size_t first, std::size_t end) {
  for (std::size_t p = first; p < end; ++p) {
    const auto point = static_cast<std::uint32_t>(p);
    if (index.tree.leafOf[point] < 0) continue;
    const std::uint32_t place = index.tree.place[point];
    if (!index.live[place]) continue;
    index.live[place] = false;
    segment_set(index.segment, point, kInfinity);
    path_update(index, index.tree.leafOf[point]);
  }
}

std::int64_t points_first_within(PointIndex& index, const SlotIndex& slots, const PolygonOrder& order, std::size_t from,
                                 std::size_t to, float limit) {
  for (;;) {
    const std::int64_t found = first_stored_within(index, from, to, limit);
    // Only capped points numbered before the one found can come first: their
    // pending slots are offered now, the others' when a search needs them.
    if (offer_pending(index, slots, order, limit, found < 0 ? to : static_cast<std::size_t>(found))) continue;
    if (found < 0) return found;
    const auto point = static_cast<std::uint32_t>(found);
    refresh_point(index, slots, order, point);
    if (index.nearest[index.tree.place[point]] <= limit) return found;
  }
}

// The smallest stored one, once it is exact. The pending slots are offered
// from the nearest cap out, up to twice its distance plus the eager margin at
// a time: they lower the least stored distance before farther caps are
// opened, so that caps beyond the answer stay shut (the least stored
// distance before them may be far above the answer). Opening the nearest
// cap alone takes more rounds: a quarter more instructions on 64,000
// scattered one-corner holes; four times the distance opens more than the
// answer needs: a ninth more on four pairs of concentric rings side by side.
float points_min(PointIndex& index, const SlotIndex& slots, const PolygonOrder& order, std::size_t to, float limit) {
  for (;;) {
    const float least = segment_min(index.segment, to);
    const float nearestCap = segment_min(index.capSegment, to);
    const float reach = std::min({least, limit, 2 * nearestCap + std::min(kEagerMargin, kEagerLeastMargin * nearestCap)});
    if (nearestCap <= reach && offer_pending(index, slots, order, reach, to)) continue;
    if (least == kInfinity || least > limit) return least;
    const auto point = static_cast<std::uint32_t>(first_stored_within(index, 0, to, least));
    const std::int32_t slot = index.nearestSlot[index.tree.place[point]];
    if (slot < 0 || slot_usable(slots, static_cast<std::uint32_t>(slot))) return least;
    measure_point(index, slots, order, point);
  }
}

std::int64_t points_first_near(PointIndex& index, const HolePointTree::Point& e, float below) {
  std::uint32_t found = kNoPoint;
  // Subtrees with a live point numbered before the one found, within reach;
  // of two, the one whose first live point comes first is searched first.
  auto open = [&](std::int32_t node) {
    const auto at = static_cast<std::size_t>(node);
    return index.nodeFirstLive[at] < found && hole_tree_bound(index.tree.nodes[at], e.x, e.y, e.z) < below;
  };
  index.stack.clear();
  if (!index.tree.nodes.empty()) index.stack.push_back(0);
  while (!index.stack.empty()) {
    const std::int32_t node = index.stack.back();
    index.stack.pop_back();
    if (!open(node)) continue;
    const HolePointTree::Node& n = index.tree.nodes[static_cast<std::size_t>(node)];
    if (n.left < 0) {
      for (std::uint32_t i = n.begin; i < n.end; ++i) {
        const HolePointTree::Placed& p = index.tree.placed[i];
        if (index.live[i] && p.id < found && squared_distance(p.p, e) < below) found = p.id;
      }
      continue;
    }
    const bool leftFirst = index.nodeFirstLive[static_cast<std::size_t>(n.left)] <=
                           index.nodeFirstLive[static_cast<std::size_t>(n.right)];
    index.stack.push_back(leftFirst ? n.right : n.left);
    index.stack.push_back(leftFirst ? n.left : n.right);
  }
  return found == kNoPoint ? -1 : static_cast<std::int64_t>(found);
}

}  // namespace facetor
