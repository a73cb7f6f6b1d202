#include "convert/hole_bridge.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "convert/hole_point_tree.h"
#include "convert/polygon_order.h"

namespace facetor {
namespace {

constexpr float kTolerance = 1e-6f;
constexpr std::size_t kSmallFacePairs = 1024;

bool improves(float d, float best) { return d - best < -kTolerance; }

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

std::size_t first_unmerged(const std::vector<HoleCorners>& holes, const std::vector<bool>& merged) {
  std::size_t h = 0;
  while (merged[h] || holes[h].measured.empty()) ++h;
  return h;
}

std::size_t holes_with_corners(const std::vector<HoleCorners>& holes) {
  std::size_t count = 0;
  for (const HoleCorners& hole : holes) count += hole.measured.empty() ? 0 : 1;
  return count;
}

// ---- The plain scan, for small faces ----

void bridge_by_scan(std::vector<CornerVertex>& entries, std::vector<std::uint32_t>& polygon,
                    const std::vector<HoleCorners>& holes) {
  std::vector<bool> merged(holes.size(), false);
  for (std::size_t n = holes_with_corners(holes); n > 0; --n) {
    float best = std::numeric_limits<float>::infinity();
    std::size_t hole = 0, corner = 0, position = 0;
    bool found = false;
    for (std::size_t h = 0; h < holes.size(); ++h) {
      if (merged[h]) continue;
      for (std::size_t c = 0; c < holes[h].measured.size(); ++c) {
        const CornerVertex& p = entries[holes[h].measured[c]];
        for (std::size_t j = 0; j < polygon.size(); ++j) {
          const CornerVertex& e = entries[polygon[j]];
          if (e.bridged) continue;
          const float d = squared_distance(p.x, p.y, p.z, e);
          if (improves(d, best)) {
            best = d;
            hole = h;
            corner = c;
            position = j;
            found = true;
          }
        }
      }
    }
    if (!found) hole = first_unmerged(holes, merged);
    const std::uint32_t bridgeEntry = polygon[position];
    entries[bridgeEntry].bridged = true;
    const std::vector<std::uint32_t> added = joined_entries(holes[hole], corner, bridgeEntry);
    polygon.insert(polygon.begin() + static_cast<std::ptrdiff_t>(position + 1), added.begin(), added.end());
    merged[hole] = true;
  }
}

// ---- The indexed search, for large faces ----
//
// Every polygon position that can still be a bridge point sits in a heap
// keyed by a lower bound of its distance to the nearest unmerged hole corner
// (exact when computed; it can only grow as holes are merged, and it is
// computed afresh when the corner it was measured to has left). The top of
// the heap gives the smallest distance of any pair. The scan's choice is
// then settled by the pairs below the first gap wider than twice the
// tolerance above that smallest distance: the first of them in scan order
// beats any earlier pair above the gap, and no pair above the gap beats it or
// anything after it. So only those pairs are replayed, in scan order.

constexpr double kGap = 2e-6;  // wider than twice the tolerance, with room for roundings

struct HeapItem {
  float key;
  std::uint32_t node;
  std::uint32_t point;  // the hole corner the key was measured to
};

struct Pair {
  std::uint32_t point;
  std::uint32_t node;
  float distance;
};

struct IndexedBridge {
  std::vector<CornerVertex>& entries;
  const std::vector<HoleCorners>& holes;
  HolePointTree tree{};
  std::vector<std::uint32_t> firstPoint{};  // hole -> id of its first corner
  std::vector<std::uint32_t> pointHole{};   // point id -> hole
  std::vector<std::uint32_t> nodeEntry{};   // node -> entry
  PolygonOrder order{};
  std::vector<HeapItem> heap{};
  std::vector<Pair> pairs{};
  std::vector<std::uint32_t> visit{};
  // Per node, the hole corners nearer than some limit, found by an earlier
  // search: corners only ever leave, so the live ones among them are still
  // all the corners nearer than that limit.
  std::vector<double> nearLimit{};  // node -> limit searched, -1 if none
  std::vector<std::uint32_t> nearBegin{}, nearCount{};
  std::vector<PointDistance> near{};
};

bool heap_less(const HeapItem& l, const HeapItem& r) { return l.key < r.key; }

void heap_push(std::vector<HeapItem>& heap, HeapItem item) {
  std::size_t at = heap.size();
  heap.push_back(item);
  while (at > 0) {
    const std::size_t up = (at - 1) / 2;
    if (!heap_less(heap[at], heap[up])) break;
    std::swap(heap[at], heap[up]);
    at = up;
  }
}

void heap_sift_down(std::vector<HeapItem>& heap, std::size_t at) {
  for (;;) {
    std::size_t least = at;
    for (std::size_t child = 2 * at + 1; child <= 2 * at + 2 && child < heap.size(); ++child) {
      if (heap_less(heap[child], heap[least])) least = child;
    }
    if (least == at) return;
    std::swap(heap[at], heap[least]);
    at = least;
  }
}

void heap_pop(std::vector<HeapItem>& heap) {
  heap.front() = heap.back();
  heap.pop_back();
  if (!heap.empty()) heap_sift_down(heap, 0);
}

bool usable(const IndexedBridge& b, std::uint32_t node) {
  const CornerVertex& e = b.entries[b.nodeEntry[node]];
  return !e.bridged && std::isfinite(e.x) && std::isfinite(e.y) && std::isfinite(e.z);
}

// A key that still holds: the node can be a bridge point and the corner it
// was measured to has not left.
bool current(const IndexedBridge& b, const HeapItem& item) {
  return std::isfinite(item.key) && usable(b, item.node) && b.tree.points[item.point].live;
}

// Measures a node against the unmerged hole corners and files it.
void file_node(IndexedBridge& b, std::uint32_t node) {
  if (!usable(b, node)) return;
  const NearestPoint nearest = hole_tree_nearest(b.tree, b.entries[b.nodeEntry[node]]);
  if (nearest.point >= 0) heap_push(b.heap, HeapItem{nearest.distance, node, static_cast<std::uint32_t>(nearest.point)});
}

// Brings an exact key to the top of the heap; false when no pair is left.
bool settle_top(IndexedBridge& b) {
  while (!b.heap.empty()) {
    const HeapItem top = b.heap.front();
    if (current(b, top)) return true;
    heap_pop(b.heap);
    file_node(b, top.node);
  }
  return false;
}

void compact_near(IndexedBridge& b) {
  std::vector<PointDistance> kept;
  for (std::size_t node = 0; node < b.nodeEntry.size(); ++node) {
    const std::size_t first = b.nearBegin[node], count = b.nearCount[node];
    b.nearBegin[node] = static_cast<std::uint32_t>(kept.size());
    for (std::size_t i = first; i < first + count; ++i) {
      if (b.tree.points[b.near[i].point].live) kept.push_back(b.near[i]);
    }
    b.nearCount[node] = static_cast<std::uint32_t>(kept.size() - b.nearBegin[node]);
  }
  b.near = std::move(kept);
}

// Calls visit(at) for every heap entry whose key is below `limit`: the heap
// order lets the walk skip whole subtrees at or above it. Stops early when
// visit returns false.
template <typename Visit>
bool for_each_below(IndexedBridge& b, double limit, Visit visit) {
  b.visit.assign(1, 0);
  while (!b.visit.empty()) {
    const std::uint32_t at = b.visit.back();
    b.visit.pop_back();
    if (at >= b.heap.size() || static_cast<double>(b.heap[at].key) >= limit) continue;
    b.visit.push_back(2 * at + 1);
    b.visit.push_back(2 * at + 2);
    if (!visit(at)) return false;
  }
  return true;
}

// How many gathered entries are worth keeping before the caller scans instead.
std::size_t gather_budget(const IndexedBridge& b) { return 4 * (b.nodeEntry.size() + b.tree.points.size()) + 65536; }

// Searches a little beyond the limit asked for, so that a slightly larger
// limit next time still finds the answer here. Stale lists are dropped when
// they outweigh the live ones.
void search_near(IndexedBridge& b, std::uint32_t node, double limit) {
  const std::size_t budget = gather_budget(b);
  if (b.near.size() > budget) compact_near(b);
  if (b.near.size() > budget / 2) {
    b.near.clear();
    std::fill(b.nearLimit.begin(), b.nearLimit.end(), -1.0);
  }
  const double wider = limit * 1.25;
  b.nearLimit[node] = wider;
  b.nearBegin[node] = static_cast<std::uint32_t>(b.near.size());
  hole_tree_within(b.tree, b.entries[b.nodeEntry[node]], wider, b.near);
  b.nearCount[node] = static_cast<std::uint32_t>(b.near.size() - b.nearBegin[node]);
}

// The heap entries with keys below `limit` whose corner has left (or whose
// node has become a bridge point) are measured again where they stand: keys
// only grow, so each sinks within its own subtree, and taking the deepest
// first leaves the places of the others as they were.
void refresh_below(IndexedBridge& b, double limit) {
  std::vector<std::uint32_t> stale;
  for_each_below(b, limit, [&](std::uint32_t at) {
    if (!current(b, b.heap[at])) stale.push_back(at);
    return true;
  });
  std::sort(stale.begin(), stale.end(), std::greater<>());
  for (std::uint32_t at : stale) {
    HeapItem& item = b.heap[at];
    item.key = std::numeric_limits<float>::infinity();
    if (usable(b, item.node)) {
      const NearestPoint nearest = hole_tree_nearest(b.tree, b.entries[b.nodeEntry[item.node]]);
      if (nearest.point >= 0) {
        item.key = nearest.distance;
        item.point = static_cast<std::uint32_t>(nearest.point);
      }
    }
    heap_sift_down(b.heap, at);
  }
}

// Every pair nearer than `limit`: the nodes come from the heap entries with
// keys below it, their hole corners from the tree.
// False when they are too many to be worth gathering (points piled up on
// one spot): the caller then scans instead.
bool collect_pairs(IndexedBridge& b, double limit) {
  refresh_below(b, limit);
  const std::size_t budget = gather_budget(b);
  b.pairs.clear();
  return for_each_below(b, limit, [&](std::uint32_t at) {
    const std::uint32_t node = b.heap[at].node;
    if (!usable(b, node)) return true;
    if (b.nearLimit[node] < limit) search_near(b, node, limit);
    const auto first = b.near.begin() + b.nearBegin[node];
    for (auto f = first; f != first + b.nearCount[node]; ++f) {
      if (b.tree.points[f->point].live && static_cast<double>(f->distance) < limit) {
        b.pairs.push_back(Pair{f->point, node, f->distance});
      }
    }
    return b.pairs.size() <= budget;
  });
}

// The largest distance below the first wide gap among the pairs nearer than
// `limit` (everything else being at `limit` or beyond), or NaN if there is
// no such gap.
float cut_below_gap(std::vector<Pair>& pairs, double limit) {
  std::sort(pairs.begin(), pairs.end(), [](const Pair& l, const Pair& r) { return l.distance < r.distance; });
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    const double next = i + 1 < pairs.size() ? static_cast<double>(pairs[i + 1].distance) : limit;
    if (next - static_cast<double>(pairs[i].distance) > kGap) return pairs[i].distance;
  }
  return std::numeric_limits<float>::quiet_NaN();
}

struct Choice {
  std::size_t hole = 0;
  std::size_t corner = 0;
  std::uint32_t node = 0;
};

// One step of the plain scan over the polygon as it stands.
Choice scan_step(const IndexedBridge& b, const std::vector<bool>& merged) {
  const std::vector<std::uint32_t> nodes = polygon_order_nodes(b.order);
  float best = std::numeric_limits<float>::infinity();
  Choice choice{first_unmerged(b.holes, merged), 0, nodes.front()};
  for (std::size_t h = 0; h < b.holes.size(); ++h) {
    if (merged[h]) continue;
    for (std::size_t c = 0; c < b.holes[h].measured.size(); ++c) {
      const CornerVertex& p = b.entries[b.holes[h].measured[c]];
      for (std::uint32_t node : nodes) {
        const CornerVertex& e = b.entries[b.nodeEntry[node]];
        if (e.bridged) continue;
        const float d = squared_distance(p.x, p.y, p.z, e);
        if (improves(d, best)) {
          best = d;
          choice = Choice{h, c, node};
        }
      }
    }
  }
  return choice;
}

Choice choose_bridge(IndexedBridge& b, const std::vector<bool>& merged) {
  if (!settle_top(b)) return Choice{first_unmerged(b.holes, merged), 0, polygon_order_first(b.order)};
  const double nearest = b.heap.front().key;
  float cut = std::numeric_limits<float>::quiet_NaN();
  for (double width = 4e-6; std::isnan(cut); width *= 4) {
    const double limit = nearest + nearest * 1e-9 + width;
    if (!collect_pairs(b, limit)) return scan_step(b, merged);
    cut = cut_below_gap(b.pairs, limit);
  }
  std::erase_if(b.pairs, [&](const Pair& p) { return p.distance > cut; });
  std::sort(b.pairs.begin(), b.pairs.end(), [&](const Pair& l, const Pair& r) {
    if (l.point != r.point) return l.point < r.point;
    return polygon_order_key(b.order, l.node) < polygon_order_key(b.order, r.node);
  });
  float best = std::numeric_limits<float>::infinity();
  Choice choice;
  for (const Pair& p : b.pairs) {
    if (!improves(p.distance, best)) continue;
    best = p.distance;
    choice.hole = b.pointHole[p.point];
    choice.corner = p.point - b.firstPoint[choice.hole];
    choice.node = p.node;
  }
  return choice;
}

void add_node(IndexedBridge& b, std::uint32_t entry) {
  b.nodeEntry.push_back(entry);
  b.nearLimit.push_back(-1);
  b.nearBegin.push_back(0);
  b.nearCount.push_back(0);
}

void join(IndexedBridge& b, const Choice& choice) {
  const std::uint32_t bridgeEntry = b.nodeEntry[choice.node];
  b.entries[bridgeEntry].bridged = true;
  const HoleCorners& hole = b.holes[choice.hole];
  for (std::size_t c = 0; c < hole.measured.size(); ++c) {
    hole_tree_remove(b.tree, b.firstPoint[choice.hole] + static_cast<std::uint32_t>(c));
  }
  std::vector<std::uint32_t> added;
  for (std::uint32_t entry : joined_entries(hole, choice.corner, bridgeEntry)) {
    added.push_back(static_cast<std::uint32_t>(b.nodeEntry.size()));
    add_node(b, entry);
  }
  polygon_order_insert(b.order, choice.node, added);
  for (std::uint32_t node : added) file_node(b, node);
}

void bridge_indexed(std::vector<CornerVertex>& entries, std::vector<std::uint32_t>& polygon,
                    const std::vector<HoleCorners>& holes) {
  IndexedBridge b{entries, holes};
  std::vector<HolePointTree::Point> points;
  for (std::size_t h = 0; h < holes.size(); ++h) {
    b.firstPoint.push_back(static_cast<std::uint32_t>(points.size()));
    for (std::uint32_t entry : holes[h].measured) {
      const CornerVertex& v = entries[entry];
      points.push_back(HolePointTree::Point{v.x, v.y, v.z, true});
      b.pointHole.push_back(static_cast<std::uint32_t>(h));
    }
  }
  hole_tree_build(b.tree, std::move(points));
  for (std::uint32_t entry : polygon) add_node(b, entry);
  polygon_order_init(b.order, static_cast<std::uint32_t>(polygon.size()));
  for (std::uint32_t node = 0; node < polygon.size(); ++node) file_node(b, node);
  std::vector<bool> merged(holes.size(), false);
  for (std::size_t n = holes_with_corners(holes); n > 0; --n) {
    const Choice choice = choose_bridge(b, merged);
    join(b, choice);
    merged[choice.hole] = true;
  }
  polygon.clear();
  for (std::uint32_t node : polygon_order_nodes(b.order)) polygon.push_back(b.nodeEntry[node]);
}

}  // namespace

void bridge_holes_indexed(std::vector<CornerVertex>& entries, std::vector<std::uint32_t>& polygon,
                          const std::vector<HoleCorners>& holes) {
  if (holes.empty() || polygon.empty()) return;
  bridge_indexed(entries, polygon, holes);
}

void bridge_holes(std::vector<CornerVertex>& entries, std::vector<std::uint32_t>& polygon,
                  const std::vector<HoleCorners>& holes) {
  if (holes.empty() || polygon.empty()) return;
  std::size_t holeCorners = 0, finalLength = polygon.size();
  for (const HoleCorners& hole : holes) {
    holeCorners += hole.measured.size();
    finalLength += hole.inserted.size() + 2;
  }
  if (holeCorners * finalLength <= kSmallFacePairs) {
    bridge_by_scan(entries, polygon, holes);
  } else {
    bridge_indexed(entries, polygon, holes);
  }
}

}  // namespace facetor
