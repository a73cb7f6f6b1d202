#include "convert/hole_bridge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace facetor {
namespace {

// The plain scan: for each unmerged hole, each of its corners, each polygon
// position whose entry is not bridged yet, keep the pair that beats the best
// so far by more than 1e-6.
void reference_bridge(std::vector<CornerVertex>& entries, std::vector<std::uint32_t>& polygon,
                      const std::vector<HoleCorners>& holes) {
  if (polygon.empty()) return;
  std::vector<bool> merged(holes.size(), false);
  for (std::size_t n = 0; n < holes.size(); ++n) {
    float best = std::numeric_limits<float>::infinity();
    std::size_t bestHole = 0, bestCorner = 0, bestPosition = 0;
    bool found = false;
    for (std::size_t h = 0; h < holes.size(); ++h) {
      if (merged[h]) continue;
      for (std::size_t c = 0; c < holes[h].measured.size(); ++c) {
        const CornerVertex& p = entries[holes[h].measured[c]];
        for (std::size_t j = 0; j < polygon.size(); ++j) {
          const CornerVertex& e = entries[polygon[j]];
          if (e.bridged) continue;
          const float dx = p.x - e.x, dy = p.y - e.y, dz = p.z - e.z;
          const float d = dx * dx + dy * dy + dz * dz;
          if (d - best < -1e-6f) {
            best = d;
            bestHole = h;
            bestCorner = c;
            bestPosition = j;
            found = true;
          }
        }
      }
    }
    if (!found) {
      bestHole = 0;
      while (merged[bestHole]) ++bestHole;
      bestCorner = 0;
      bestPosition = 0;
    }
    const std::uint32_t bridge = polygon[bestPosition];
    entries[bridge].bridged = true;
    const HoleCorners& hole = holes[bestHole];
    const std::size_t m = hole.inserted.size();
    std::vector<std::uint32_t> added;
    std::size_t c = bestCorner;
    for (std::size_t step = 0; step <= m; ++step) {
      added.push_back(hole.inserted[c]);
      c = c == 0 ? m - 1 : c - 1;
    }
    added.push_back(bridge);
    polygon.insert(polygon.begin() + static_cast<std::ptrdiff_t>(bestPosition + 1), added.begin(), added.end());
    merged[bestHole] = true;
  }
}

// Random faces: clustered and scattered points, exact duplicates, distances
// that tie within the tolerance, and now and then NaN or infinite values.
TEST(HoleBridge, ChoosesExactlyWhatThePlainScanChooses) {
  std::mt19937 random(12345);
  for (int trial = 0; trial < 400; ++trial) {
    const int style = trial % 4;
    std::uniform_real_distribution<float> wide(-50, 50), narrow(0, 1e-5f);
    std::uniform_int_distribution<int> pick(0, 99);
    auto coordinate = [&]() -> float {
      const int roll = pick(random);
      if (style == 3 && roll < 3) return std::numeric_limits<float>::quiet_NaN();
      if (style == 3 && roll < 5) return std::numeric_limits<float>::infinity();
      if (style == 1) return std::round(wide(random) / 10) * 10;  // many equal values
      if (style == 2) return narrow(random);                    // ties within 1e-6
      return wide(random);
    };
    std::vector<CornerVertex> entries(60 + pick(random) * 3);
    for (CornerVertex& e : entries) {
      e.x = coordinate();
      e.y = coordinate();
      e.z = style == 0 ? 0.0f : coordinate();
    }
    std::uniform_int_distribution<std::uint32_t> entry(0, static_cast<std::uint32_t>(entries.size() - 1));
    // Odd trials are large enough to be searched through the grid.
    const bool large = trial % 2 == 1;
    std::vector<std::uint32_t> polygon(3 + pick(random) % (large ? 80 : 20));
    for (auto& p : polygon) p = entry(random);
    std::vector<HoleCorners> holes(1 + pick(random) % (large ? 40 : 6) + (large ? 20 : 0));
    for (HoleCorners& hole : holes) {
      const int corners = 1 + pick(random) % 5;
      for (int c = 0; c < corners; ++c) {
        hole.measured.push_back(entry(random));
        hole.inserted.push_back(pick(random) < 70 ? hole.measured.back() : entry(random));
      }
    }
    std::vector<CornerVertex> expectedEntries = entries;
    std::vector<std::uint32_t> expected = polygon;
    reference_bridge(expectedEntries, expected, holes);
    bridge_holes(entries, polygon, holes);
    ASSERT_EQ(polygon, expected) << "trial " << trial;
    for (std::size_t i = 0; i < entries.size(); ++i) ASSERT_EQ(entries[i].bridged, expectedEntries[i].bridged);
  }
}

TEST(HoleBridge, ManyHolesInOneFaceStayFast) {
  // A plate with 1,500 square holes in a row: the plain scan would measure
  // billions of pairs.
  std::vector<CornerVertex> entries;
  auto add = [&](float x, float y) {
    CornerVertex v;
    v.x = x;
    v.y = y;
    entries.push_back(v);
    return static_cast<std::uint32_t>(entries.size() - 1);
  };
  std::vector<std::uint32_t> polygon = {add(0, 0), add(0, 10), add(15010, 10), add(15010, 0)};
  std::vector<HoleCorners> holes;
  for (int h = 0; h < 1500; ++h) {
    const float x = 10.0f * static_cast<float>(h) + 5;
    HoleCorners hole;
    hole.measured = {add(x, 4), add(x + 2, 4), add(x + 2, 6), add(x, 6)};
    hole.inserted = hole.measured;
    holes.push_back(hole);
  }
  bridge_holes(entries, polygon, holes);
  EXPECT_EQ(polygon.size(), 4u + 1500u * 6u);
}

}  // namespace
}  // namespace facetor
