#include "convert/hole_point_tree.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace facetor {
namespace {

constexpr std::uint32_t kLeafSize = 8;

float coordinate(const HolePointTree::Point& p, int axis) { return axis == 0 ? p.x : axis == 1 ? p.y : p.z; }

std::int32_t build_node(HolePointTree& tree, std::uint32_t begin, std::uint32_t end, std::int32_t parent) {
  const auto id = static_cast<std::int32_t>(tree.nodes.size());
  HolePointTree::Node node{};
  node.begin = begin;
  node.end = end;
  node.left = node.right = -1;
  node.parent = parent;
  node.live = end - begin;
  for (int a = 0; a < 3; ++a) {
    node.low[a] = std::numeric_limits<float>::infinity();
    node.high[a] = -std::numeric_limits<float>::infinity();
  }
  for (std::uint32_t i = begin; i < end; ++i) {
    for (int a = 0; a < 3; ++a) {
      const float v = coordinate(tree.points[tree.order[i]], a);
      node.low[a] = std::min(node.low[a], v);
      node.high[a] = std::max(node.high[a], v);
    }
  }
  tree.nodes.push_back(node);
  if (end - begin <= kLeafSize) {
    for (std::uint32_t i = begin; i < end; ++i) tree.leafOf[tree.order[i]] = id;
    return id;
  }
  int axis = 0;
  for (int a = 1; a < 3; ++a) {
    if (static_cast<double>(node.high[a]) - node.low[a] > static_cast<double>(node.high[axis]) - node.low[axis]) axis = a;
  }
  const std::uint32_t middle = begin + (end - begin) / 2;
  std::nth_element(tree.order.begin() + begin, tree.order.begin() + middle, tree.order.begin() + end,
                   [&](std::uint32_t l, std::uint32_t r) {
                     return coordinate(tree.points[l], axis) < coordinate(tree.points[r], axis);
                   });
  const std::int32_t left = build_node(tree, begin, middle, id);
  const std::int32_t right = build_node(tree, middle, end, id);
  tree.nodes[static_cast<std::size_t>(id)].left = left;
  tree.nodes[static_cast<std::size_t>(id)].right = right;
  return id;
}

// A lower bound of the single-precision squared distance from q to any
// point of the node: the exact box distance less a margin for the roundings
// of the differences, squares and sums (and for results near the underflow).
double box_bound(const HolePointTree::Node& node, const CornerVertex& q) {
  const double p[3] = {q.x, q.y, q.z};
  double sum = 0;
  for (int a = 0; a < 3; ++a) {
    double gap = 0;
    if (p[a] < node.low[a]) gap = static_cast<double>(node.low[a]) - p[a];
    else if (p[a] > node.high[a]) gap = p[a] - static_cast<double>(node.high[a]);
    sum += gap * gap;
  }
  return sum * (1 - 1e-5) - 1e-37;
}

}  // namespace

void hole_tree_build(HolePointTree& tree, std::vector<HolePointTree::Point> points) {
  tree.points = std::move(points);
  tree.order.clear();
  tree.nodes.clear();
  tree.leafOf.assign(tree.points.size(), -1);
  for (std::uint32_t i = 0; i < tree.points.size(); ++i) {
    const HolePointTree::Point& p = tree.points[i];
    if (std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) tree.order.push_back(i);
  }
  for (HolePointTree::Point& p : tree.points) p.live = false;
  for (std::uint32_t id : tree.order) tree.points[id].live = true;
  if (!tree.order.empty()) build_node(tree, 0, static_cast<std::uint32_t>(tree.order.size()), -1);
}

void hole_tree_remove(HolePointTree& tree, std::uint32_t point) {
  if (!tree.points[point].live) return;
  tree.points[point].live = false;
  for (std::int32_t node = tree.leafOf[point]; node >= 0; node = tree.nodes[static_cast<std::size_t>(node)].parent) {
    --tree.nodes[static_cast<std::size_t>(node)].live;
  }
}

NearestPoint hole_tree_nearest(HolePointTree& tree, const CornerVertex& q) {
  NearestPoint best{std::numeric_limits<float>::infinity(), -1};
  if (tree.nodes.empty()) return best;
  tree.stack.assign(1, 0);
  while (!tree.stack.empty()) {
    const HolePointTree::Node& node = tree.nodes[static_cast<std::size_t>(tree.stack.back())];
    tree.stack.pop_back();
    if (node.live == 0 || box_bound(node, q) >= best.distance) continue;
    if (node.left < 0) {
      for (std::uint32_t i = node.begin; i < node.end; ++i) {
        const HolePointTree::Point& p = tree.points[tree.order[i]];
        if (!p.live) continue;
        const float d = squared_distance(p.x, p.y, p.z, q);
        if (d < best.distance) best = NearestPoint{d, static_cast<std::int32_t>(tree.order[i])};
      }
      continue;
    }
    // The nearer child is searched first (pushed last).
    const double toLeft = box_bound(tree.nodes[static_cast<std::size_t>(node.left)], q);
    const double toRight = box_bound(tree.nodes[static_cast<std::size_t>(node.right)], q);
    if (toLeft <= toRight) {
      tree.stack.push_back(node.right);
      tree.stack.push_back(node.left);
    } else {
      tree.stack.push_back(node.left);
      tree.stack.push_back(node.right);
    }
  }
  return best;
}

void hole_tree_within(HolePointTree& tree, const CornerVertex& q, double limit, std::vector<PointDistance>& out) {
  if (tree.nodes.empty()) return;
  tree.stack.assign(1, 0);
  while (!tree.stack.empty()) {
    const HolePointTree::Node& node = tree.nodes[static_cast<std::size_t>(tree.stack.back())];
    tree.stack.pop_back();
    if (node.live == 0 || box_bound(node, q) >= limit) continue;
    if (node.left >= 0) {
      tree.stack.push_back(node.right);
      tree.stack.push_back(node.left);
      continue;
    }
    for (std::uint32_t i = node.begin; i < node.end; ++i) {
      const HolePointTree::Point& p = tree.points[tree.order[i]];
      if (!p.live) continue;
      const float d = squared_distance(p.x, p.y, p.z, q);
      if (static_cast<double>(d) < limit) out.push_back(PointDistance{tree.order[i], d});
    }
  }
}

}  // namespace facetor
