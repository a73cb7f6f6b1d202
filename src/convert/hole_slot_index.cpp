#include "convert/hole_slot_index.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace facetor {
namespace {

std::uint64_t node_key(const PolygonOrder& order, std::int32_t node) {
  return polygon_order_key(order, static_cast<std::uint32_t>(node));
}

// Of two polygon nodes (-1: none), the one first or last in order.
std::int32_t earlier(const PolygonOrder& order, std::int32_t l, std::int32_t r) {
  if (l < 0) return r;
  if (r < 0) return l;
  return node_key(order, l) <= node_key(order, r) ? l : r;
}

std::int32_t later(const PolygonOrder& order, std::int32_t l, std::int32_t r) {
  if (l < 0) return r;
  if (r < 0) return l;
  return node_key(order, l) >= node_key(order, r) ? l : r;
}

// Recounts one tree node from its slots or its children; true when anything
// changed. (Slots keep their order in the polygon, so a node whose counts
// stand needs no parent recounted.)
bool recount(SlotIndex& index, const PolygonOrder& order, std::size_t at) {
  const HolePointTree::Node& n = index.tree.nodes[at];
  std::uint32_t count = 0;
  std::int32_t first = -1, last = -1;
  if (n.left < 0) {
    // Each usable slot's key is read once (it reads the polygon order).
    std::uint64_t firstKey = 0, lastKey = 0;
    for (std::uint32_t i = n.begin; i < n.end; ++i) {
      if (!index.usable[i]) continue;
      const auto node = static_cast<std::int32_t>(i);  // a slot's node is its place
      const std::uint64_t key = node_key(order, node);
      if (count++ == 0 || key < firstKey) first = node, firstKey = key;
      if (count == 1 || key > lastKey) last = node, lastKey = key;
    }
  } else {
    const SlotIndex::Span& l = index.span[static_cast<std::size_t>(n.left)];
    const SlotIndex::Span& r = index.span[static_cast<std::size_t>(n.right)];
    count = l.usable + r.usable;
    first = earlier(order, l.first, r.first);
    last = later(order, l.last, r.last);
  }
  SlotIndex::Span& span = index.span[at];
  if (count == span.usable && first == span.first && last == span.last) return false;
  span = SlotIndex::Span{count, first, last};
  return true;
}

// Whether the slot at a place is usable and lies inside the key range.
bool usable_within(const SlotIndex& index, const PolygonOrder& order, std::uint32_t place, const KeyRange& keys) {
  return index.usable[place] && (keys.whole() || keys.holds(polygon_order_key(order, place)));
}

// Whether a tree node has a usable slot inside the key range.
bool reaches(const SlotIndex& index, const PolygonOrder& order, std::size_t at, const KeyRange& keys) {
  const SlotIndex::Span& span = index.span[at];
  return span.usable > 0 && (keys.high == kNoKey || node_key(order, span.first) < keys.high) &&
         (keys.low == kNoKey || node_key(order, span.last) > keys.low);
}

// Whether a subtree with this bound can hold a distance below `best`: not
// when the bound reaches it, nor when every distance to it overflows.
bool below(float bound, float best) { return bound < best && bound <= std::numeric_limits<float>::max(); }

}  // namespace

void slot_index_build(SlotIndex& index, const CornerEntries& entries, std::span<const std::uint32_t> polygon,
                      const FaceHoles& holes) {
  const std::size_t count = polygon.size() + holes.inserted.size();
  std::vector<HolePointTree::Placed> positions;
  positions.reserve(count);
  index.entry.reserve(count);
  auto add = [&](std::uint32_t entry) {
    const CornerVertex& v = entries[entry];
    hole_tree_add(positions, static_cast<std::uint32_t>(index.entry.size()), HolePointTree::Point{v.x, v.y, v.z});
    index.entry.push_back(entry);
  };
  for (std::uint32_t entry : polygon) add(entry);
  for (std::uint32_t entry : holes.inserted) add(entry);
  hole_tree_build(index.tree, count, std::move(positions));
  index.inPolygon.assign(count, false);
  index.usable.assign(count, false);
  for (std::uint32_t s = 0; s < polygon.size(); ++s) {
    slot_place(index, s);
    index.usable[slot_node(index, s)] = index.tree.leafOf[s] >= 0 && !entries[index.entry[s]].bridged;
  }
  // The slots of each entry, linked round a ring.
  std::vector<std::uint32_t> byEntry(count);
  for (std::uint32_t s = 0; s < count; ++s) byEntry[s] = s;
  std::stable_sort(byEntry.begin(), byEntry.end(),
                   [&index](std::uint32_t l, std::uint32_t r) { return index.entry[l] < index.entry[r]; });
  index.sameEntry.resize(count);
  for (std::size_t k = 0, start = 0; k < count; ++k) {
    const bool last = k + 1 == count || index.entry[byEntry[k + 1]] != index.entry[byEntry[k]];
    index.sameEntry[byEntry[k]] = last ? byEntry[start] : byEntry[k + 1];
    if (last) start = k + 1;
  }
}

void slot_index_count(SlotIndex& index, const PolygonOrder& order) {
  index.span.assign(index.tree.nodes.size(), SlotIndex::Span{});
  // Children come after their parents, so a backward pass counts each node
  // after both of its children.
  for (std::size_t at = index.tree.nodes.size(); at-- > 0;) recount(index, order, at);
}

void slot_update(SlotIndex& index, const PolygonOrder& order, std::uint32_t slot, bool bridged) {
  std::int32_t leaf = index.tree.leafOf[slot];
  const std::uint32_t place = index.tree.place[slot];
  index.usable[place] = index.inPolygon[place] && leaf >= 0 && !bridged;
  for (; leaf >= 0 && recount(index, order, static_cast<std::size_t>(leaf));
       leaf = index.tree.nodes[static_cast<std::size_t>(leaf)].parent) {
  }
}

std::int32_t slots_first_within(const SlotIndex& index, const PolygonOrder& order, const HolePointTree::Point& p,
                                float limit, KeyRange keys, std::vector<std::int32_t>& stack) {
  // Subtrees with usable slots whose bound is within the limit; the key
  // range, which falls as slots are found, is checked when one is taken up.
  auto near = [&](std::int32_t node) {
    const auto at = static_cast<std::size_t>(node);
    return index.span[at].usable > 0 && hole_tree_bound(index.tree.nodes[at], p.x, p.y, p.z) <= limit;
  };
  std::int32_t found = -1;
  stack.clear();
  if (!index.tree.nodes.empty() && near(0)) stack.push_back(0);
  while (!stack.empty()) {
    const auto at = static_cast<std::size_t>(stack.back());
    stack.pop_back();
    const HolePointTree::Node& n = index.tree.nodes[at];
    if (!reaches(index, order, at, keys)) continue;
    if (n.left < 0) {
      for (std::uint32_t i = n.begin; i < n.end; ++i) {
        // The distance first: it reads the leaf in order, the key reads the polygon.
        if (!(squared_distance(p, index.tree.placed[i].p) <= limit) || !usable_within(index, order, i, keys)) continue;
        found = static_cast<std::int32_t>(index.tree.placed[i].id);
        keys.high = polygon_order_key(order, i);  // only earlier slots can do better now
      }
      continue;
    }
    const std::int32_t l = n.left, r = n.right;
    const bool nearLeft = near(l), nearRight = near(r);
    if (nearLeft && nearRight) {
      // The subtree whose first slot comes first is searched first (pushed last).
      const std::int32_t lFirst = index.span[static_cast<std::size_t>(l)].first;
      const bool leftFirst = earlier(order, lFirst, index.span[static_cast<std::size_t>(r)].first) == lFirst;
      stack.push_back(leftFirst ? r : l);
      stack.push_back(leftFirst ? l : r);
    } else if (nearLeft || nearRight) {
      stack.push_back(nearLeft ? l : r);
    }
  }
  return found;
}

NearestSlot slots_nearest(const SlotIndex& index, const PolygonOrder& order, const HolePointTree::Point& p,
                          const KeyRange& keys, float limit, std::vector<std::pair<std::int32_t, float>>& stack) {
  NearestSlot best{std::nextafter(limit, std::numeric_limits<float>::infinity()), -1};  // below it is within the limit
  stack.clear();
  if (!index.tree.nodes.empty() && reaches(index, order, 0, keys)) {
    stack.emplace_back(0, hole_tree_bound(index.tree.nodes[0], p.x, p.y, p.z));
  }
  while (!stack.empty() && best.distance > 0) {  // nothing is nearer than 0
    const auto [node, bound] = stack.back();
    stack.pop_back();
    if (!below(bound, best.distance)) continue;
    const HolePointTree::Node& n = index.tree.nodes[static_cast<std::size_t>(node)];
    if (n.left < 0) {
      for (std::uint32_t i = n.begin; i < n.end; ++i) {
        const float d = squared_distance(p, index.tree.placed[i].p);
        if (d < best.distance && usable_within(index, order, i, keys)) best = {d, static_cast<std::int32_t>(index.tree.placed[i].id)};
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
      if (index.span[c].usable == 0) continue;
      const float childBound = hole_tree_bound(index.tree.nodes[c], p.x, p.y, p.z);
      if (below(childBound, best.distance) && reaches(index, order, c, keys)) children[count++] = {child, childBound};
    }
    if (count == 2 && children[0].second <= children[1].second) std::swap(children[0], children[1]);
    for (std::size_t k = 0; k < count; ++k) stack.push_back(children[k]);
  }
  return best.slot < 0 ? NearestSlot{} : best;
}

}  // namespace facetor
