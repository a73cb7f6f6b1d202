// A static k-d tree over the points of one face's hole search (hole corners,
// or the polygon positions a face can ever have). The tree only orders the
// points in space; which of them take part, and what each subtree knows about
// them, is kept by the caller in arrays indexed by tree node, brought up to
// date along the path from a leaf to the root.
#pragma once

#include <cstdint>
#include <vector>

#include "convert/corner_table.h"

namespace facetor {

struct HolePointTree {
  struct Point {
    float x, y, z;
  };
  struct Node {
    float low[3], high[3];
    std::uint32_t begin, end;  // range of `order`
    std::int32_t left, right;  // children, -1 for a leaf
    std::int32_t parent;
  };
  // A point with its id, moved as one while the tree is built, so that the
  // partitioning reads the coordinates in a row, and kept so: a leaf reads
  // its points' coordinates and ids in a row.
  struct Placed {
    Point p;
    std::uint32_t id;
  };
  std::vector<Placed> placed;         // the finite points, leaf by leaf (their "places")
  // Point id -> its place; the points not in the tree take the places after
  // those of `placed`, in the order of their ids, so that places number all
  // the points.
  std::vector<std::uint32_t> place;
  std::vector<std::int32_t> leafOf;   // point id -> its leaf, -1 when not in the tree
  std::vector<Node> nodes;            // node 0 is the root (when there is any)
};

// The coordinates of a point in the tree.
inline const HolePointTree::Point& hole_tree_point(const HolePointTree& tree, std::uint32_t id) {
  return tree.placed[tree.place[id]].p;
}

// Squared distance as the hole search forms it: differences, squares and
// sums each rounded to float.
inline float squared_distance(float px, float py, float pz, float ex, float ey, float ez) {
  const float dx = px - ex;
  const float dy = py - ey;
  const float dz = pz - ez;
  return dx * dx + dy * dy + dz * dz;
}

inline float squared_distance(const HolePointTree::Point& p, const HolePointTree::Point& e) {
  return squared_distance(p.x, p.y, p.z, e.x, e.y, e.z);
}

// Builds the tree over `count` points numbered from 0, given those with
// finite coordinates in any order (the others are left out: their distance to
// anything is never finite).
void hole_tree_build(HolePointTree& tree, std::size_t count, std::vector<HolePointTree::Placed> finite);

// Adds point `id` at p to a list for hole_tree_build when p is finite.
void hole_tree_add(std::vector<HolePointTree::Placed>& points, std::uint32_t id, HolePointTree::Point p);
// A lower bound of squared_distance from (x, y, z) to any point inside the
// node's box (infinity when every such distance overflows): the same float
// operations as squared_distance, on the gaps from the point to the box on
// each axis. A point of the box is at least the gap away on each axis, and
// rounding to nearest keeps the order of differences, squares and sums of
// numbers that are not negative, so the bound is never above the distance
// that squared_distance computes for any point of the box. (Inline: the
// searches call it at every node they visit.)
inline float hole_tree_bound(const HolePointTree::Node& node, float x, float y, float z) {
  auto gap = [](float p, float low, float high) { return p < low ? low - p : p > high ? p - high : 0.0f; };
  const float dx = gap(x, node.low[0], node.high[0]);
  const float dy = gap(y, node.low[1], node.high[1]);
  const float dz = gap(z, node.low[2], node.high[2]);
  return dx * dx + dy * dy + dz * dz;
}

}  // namespace facetor
