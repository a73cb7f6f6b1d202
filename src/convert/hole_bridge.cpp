#include "convert/hole_bridge.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "convert/id_table.h"

namespace facetor {
namespace {

constexpr float kTolerance = 1e-6f;
constexpr std::size_t kSmallFacePairs = 4096;

bool finite(const CornerVertex& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// The squared distance exactly as the scan forms it: differences, squares
// and sums each rounded to single precision.
float squared_distance(const CornerVertex& p, const CornerVertex& e) {
  const float dx = p.x - e.x;
  const float dy = p.y - e.y;
  const float dz = p.z - e.z;
  return dx * dx + dy * dy + dz * dz;
}

bool improves(float d, float best) { return d - best < -kTolerance; }

struct Choice {
  std::size_t hole = 0;
  std::size_t corner = 0;
  std::size_t position = 0;
  bool found = false;
};

// The polygon as nodes (one per position, stable while positions shift),
// with a uniform grid of their finite positions.
struct Bridger {
  std::vector<CornerVertex>& entries;
  std::vector<std::uint32_t> nodeEntry{};  // node -> entry
  std::vector<std::uint32_t> order{};      // the polygon: nodes by position
  std::vector<std::uint32_t> position{};   // node -> its current position
  bool useGrid = false;
  double origin[3] = {0, 0, 0};
  double cell = 1;
  struct Cell {
    std::int64_t c[3];
    std::int32_t head;
  };
  std::vector<Cell> cells{};
  IdTable cellIndex{};
  std::vector<std::int32_t> nextInCell{};  // node -> next node of its cell
  std::vector<std::pair<std::uint32_t, float>> candidates{};
};

std::int64_t cell_coordinate(const Bridger& b, int axis, double value) {
  const double limit = 4611686018427387904.0;  // 2^62
  const double scaled = std::floor((value - b.origin[axis]) / b.cell);
  return static_cast<std::int64_t>(std::clamp(scaled, -limit, limit));
}

std::uint64_t cell_hash(const std::int64_t (&c)[3]) {
  return combine_hash(combine_hash(mix_hash(static_cast<std::uint64_t>(c[0])), static_cast<std::uint64_t>(c[1])),
                      static_cast<std::uint64_t>(c[2]));
}

std::int32_t find_cell(const Bridger& b, const std::int64_t (&c)[3]) {
  return id_table_find(b.cellIndex, cell_hash(c), [&](std::int32_t id) {
    const Bridger::Cell& cell = b.cells[static_cast<std::size_t>(id)];
    return cell.c[0] == c[0] && cell.c[1] == c[1] && cell.c[2] == c[2];
  });
}

std::uint32_t add_node(Bridger& b, std::uint32_t entry) {
  const auto node = static_cast<std::uint32_t>(b.nodeEntry.size());
  b.nodeEntry.push_back(entry);
  b.position.push_back(0);
  b.nextInCell.push_back(-1);
  const CornerVertex& v = b.entries[entry];
  if (!b.useGrid || !finite(v)) return node;
  const std::int64_t c[3] = {cell_coordinate(b, 0, v.x), cell_coordinate(b, 1, v.y), cell_coordinate(b, 2, v.z)};
  std::int32_t id = find_cell(b, c);
  if (id < 0) {
    id = static_cast<std::int32_t>(b.cells.size());
    b.cells.push_back(Bridger::Cell{{c[0], c[1], c[2]}, -1});
    id_table_insert(b.cellIndex, cell_hash(c), id);
  }
  b.nextInCell[node] = b.cells[static_cast<std::size_t>(id)].head;
  b.cells[static_cast<std::size_t>(id)].head = static_cast<std::int32_t>(node);
  return node;
}

// The grid's cells are about as many as the points, spread over their extent.
void plan_grid(Bridger& b, const std::vector<std::uint32_t>& polygon, const std::vector<HoleCorners>& holes) {
  double low[3] = {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
                   std::numeric_limits<double>::infinity()};
  double high[3] = {-low[0], -low[1], -low[2]};
  std::size_t points = 0;
  auto take = [&](std::uint32_t entry) {
    const CornerVertex& v = b.entries[entry];
    if (!finite(v)) return;
    const double p[3] = {v.x, v.y, v.z};
    for (int a = 0; a < 3; ++a) {
      low[a] = std::min(low[a], p[a]);
      high[a] = std::max(high[a], p[a]);
    }
    ++points;
  };
  for (std::uint32_t entry : polygon) take(entry);
  for (const HoleCorners& hole : holes) {
    for (std::uint32_t entry : hole.inserted) take(entry);
  }
  if (points == 0) return;
  double extent = 0;
  for (int a = 0; a < 3; ++a) {
    extent = std::max(extent, high[a] - low[a]);
    b.origin[a] = low[a];
  }
  const double perSide = std::ceil(std::sqrt(static_cast<double>(points)));
  b.cell = extent > 0 ? extent / perSide : 1.0;
  b.useGrid = std::isfinite(b.cell) && b.cell > 0;
}

// Offers the pairs of one hole corner to the running choice, in position
// order; only positions nearer than the best so far can improve it.
void measure_corner(Bridger& b, const CornerVertex& p, std::size_t hole, std::size_t corner, float& best,
                    Choice& choice) {
  auto offer = [&](std::uint32_t node, float d) {
    if (improves(d, best)) {
      best = d;
      choice = Choice{hole, corner, b.position[node], true};
    }
  };
  const double radius = std::sqrt(static_cast<double>(best)) * 1.0001 + 1e-30;
  double cellCount = 1;
  std::int64_t from[3] = {0, 0, 0}, to[3] = {0, 0, 0};
  if (b.useGrid && std::isfinite(radius)) {
    const double centre[3] = {p.x, p.y, p.z};
    for (int a = 0; a < 3; ++a) {
      from[a] = cell_coordinate(b, a, centre[a] - radius);
      to[a] = cell_coordinate(b, a, centre[a] + radius);
      cellCount *= static_cast<double>(to[a] - from[a]) + 1;
    }
  }
  if (!b.useGrid || !std::isfinite(radius) || cellCount > static_cast<double>(b.order.size())) {
    for (std::uint32_t node : b.order) {
      const CornerVertex& e = b.entries[b.nodeEntry[node]];
      if (!e.bridged) offer(node, squared_distance(p, e));
    }
    return;
  }
  b.candidates.clear();
  for (std::int64_t x = from[0]; x <= to[0]; ++x) {
    for (std::int64_t y = from[1]; y <= to[1]; ++y) {
      for (std::int64_t z = from[2]; z <= to[2]; ++z) {
        const std::int64_t c[3] = {x, y, z};
        const std::int32_t id = find_cell(b, c);
        if (id < 0) continue;
        for (std::int32_t node = b.cells[static_cast<std::size_t>(id)].head; node >= 0;
             node = b.nextInCell[static_cast<std::size_t>(node)]) {
          const CornerVertex& e = b.entries[b.nodeEntry[static_cast<std::size_t>(node)]];
          if (e.bridged) continue;
          const float d = squared_distance(p, e);
          if (improves(d, best)) b.candidates.emplace_back(static_cast<std::uint32_t>(node), d);
        }
      }
    }
  }
  std::sort(b.candidates.begin(), b.candidates.end(),
            [&](const auto& l, const auto& r) { return b.position[l.first] < b.position[r.first]; });
  for (const auto& [node, d] : b.candidates) offer(node, d);
}

Choice choose_bridge(Bridger& b, const std::vector<HoleCorners>& holes, const std::vector<bool>& merged) {
  float best = std::numeric_limits<float>::infinity();
  Choice choice;
  for (std::size_t h = 0; h < holes.size() && best > 0; ++h) {
    if (merged[h]) continue;
    for (std::size_t c = 0; c < holes[h].measured.size() && best > 0; ++c) {
      const CornerVertex& p = b.entries[holes[h].measured[c]];
      if (finite(p)) measure_corner(b, p, h, c, best, choice);
    }
  }
  // Once the best distance is 0 no pair can improve on it (distances are
  // never negative), so the rest of the scan is skipped.
  if (!choice.found) {
    for (std::size_t h = 0; h < holes.size(); ++h) {
      if (!merged[h]) return Choice{h, 0, 0, true};
    }
  }
  return choice;
}

// Puts the hole's corners after the bridge position, from the chosen corner
// backwards round to it again, then the bridge point once more.
void join(Bridger& b, const HoleCorners& hole, const Choice& choice) {
  const std::uint32_t bridgeNode = b.order[choice.position];
  const std::uint32_t bridgeEntry = b.nodeEntry[bridgeNode];
  b.entries[bridgeEntry].bridged = true;
  const std::size_t m = hole.inserted.size();
  std::vector<std::uint32_t> added;
  added.reserve(m + 2);
  std::size_t c = choice.corner;
  for (std::size_t step = 0; step <= m; ++step) {
    added.push_back(add_node(b, hole.inserted[c]));
    c = (c == 0) ? m - 1 : c - 1;
  }
  added.push_back(add_node(b, bridgeEntry));
  b.order.insert(b.order.begin() + static_cast<std::ptrdiff_t>(choice.position + 1), added.begin(), added.end());
  for (std::size_t i = choice.position + 1; i < b.order.size(); ++i) b.position[b.order[i]] = static_cast<std::uint32_t>(i);
}

}  // namespace

void bridge_holes(std::vector<CornerVertex>& entries, std::vector<std::uint32_t>& polygon,
                  const std::vector<HoleCorners>& holes) {
  if (holes.empty() || polygon.empty()) return;
  Bridger b{entries};
  // Small faces are measured pair by pair; the grid pays off for large ones.
  std::size_t holeCorners = 0, finalLength = polygon.size();
  for (const HoleCorners& hole : holes) {
    holeCorners += hole.measured.size();
    finalLength += hole.inserted.size() + 2;
  }
  if (holeCorners * finalLength > kSmallFacePairs) plan_grid(b, polygon, holes);
  for (std::uint32_t entry : polygon) b.order.push_back(add_node(b, entry));
  for (std::size_t i = 0; i < b.order.size(); ++i) b.position[b.order[i]] = static_cast<std::uint32_t>(i);
  std::vector<bool> merged(holes.size(), false);
  for (std::size_t n = 0; n < holes.size(); ++n) {
    const Choice choice = choose_bridge(b, holes, merged);
    join(b, holes[choice.hole], choice);
    merged[choice.hole] = true;
  }
  polygon.clear();
  for (std::uint32_t node : b.order) polygon.push_back(b.nodeEntry[node]);
}

}  // namespace facetor
