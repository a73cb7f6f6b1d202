// The measured corners of the holes of one face in a k-d tree, for the hole
// search of the mesh builder: nearest corner to a polygon position and all
// corners within a squared distance, both by the squared distance exactly as
// the search forms it in single precision. Corners leave the tree when their
// hole has been merged.
#pragma once

#include <cstdint>
#include <vector>

#include "convert/corner_table.h"

namespace facetor {

struct HolePointTree {
  struct Point {
    float x, y, z;
    bool live;
  };
  struct Node {
    float low[3], high[3];
    std::uint32_t begin, end;  // range of `order`
    std::int32_t left, right;  // children, -1 for a leaf
    std::int32_t parent;
    std::uint32_t live;        // live points below
  };
  std::vector<Point> points;          // by point id
  std::vector<std::uint32_t> order;   // point ids of the finite points, leaf by leaf
  std::vector<std::int32_t> leafOf;   // point id -> its leaf, -1 when not in the tree
  std::vector<Node> nodes;
  std::vector<std::int32_t> stack;    // scratch for the searches
};

// Squared distance differences, squares and sums each rounded to float.
inline float squared_distance(float px, float py, float pz, const CornerVertex& e) {
  const float dx = px - e.x;
  const float dy = py - e.y;
  const float dz = pz - e.z;
  return dx * dx + dy * dy + dz * dz;
}

// Builds the tree over `points`; points with a coordinate that is not finite
// are never found.
void hole_tree_build(HolePointTree& tree, std::vector<HolePointTree::Point> points);

void hole_tree_remove(HolePointTree& tree, std::uint32_t point);

struct NearestPoint {
  float distance;
  std::int32_t point;  // -1: no live point at a finite distance
};

NearestPoint hole_tree_nearest(HolePointTree& tree, const CornerVertex& q);

struct PointDistance {
  std::uint32_t point;
  float distance;
};

// Appends every live point whose distance to q is below `limit`.
void hole_tree_within(HolePointTree& tree, const CornerVertex& q, double limit, std::vector<PointDistance>& out);

}  // namespace facetor
