#include "convert/hole_bridge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

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

struct Face {
  std::vector<CornerVertex> entries;
  std::vector<std::uint32_t> polygon;
  std::vector<HoleCorners> holes;
};

// Runs the bridging and the plain scan on copies of the face and compares
// the polygons and the bridge marks.
void expect_same_as_scan(const Face& face, const std::string& label) {
  std::vector<CornerVertex> expectedEntries = face.entries, entries = face.entries;
  std::vector<std::uint32_t> expected = face.polygon, polygon = face.polygon;
  reference_bridge(expectedEntries, expected, face.holes);
  bridge_holes(entries, polygon, face.holes);
  ASSERT_EQ(polygon, expected) << label;
  for (std::size_t i = 0; i < entries.size(); ++i) ASSERT_EQ(entries[i].bridged, expectedEntries[i].bridged) << label;
}

enum class Layout {
  Scattered, Pile, Cluster, WithinTolerance, NotFinite, Huge, Line, Circle, Chain, Lattice, Count
};

// Random faces whose entries follow one layout: scattered points; piles on a
// few spots; clusters a few float steps wide (far inside the tolerance) and
// near zero, where squares round to 0; distances that tie within the
// tolerance; NaN and infinite values; coordinates near 1e30 and 3e38, whose
// squares overflow; points on a line and on circles (many exactly equal
// distances); runs of distances a fraction of the tolerance apart; lattices.
// Polygons and holes draw their entries from the same pool, so entries
// repeat, and now and then holes repeat whole.
Face random_face(std::mt19937& random, Layout layout, std::size_t maxHoles) {
  std::uniform_real_distribution<float> wide(-50, 50), narrow(0, 1e-5f);
  std::uniform_int_distribution<int> pick(0, 99);
  Face face;
  auto coordinate = [&]() -> float {
    const int roll = pick(random);
    switch (layout) {
      case Layout::Pile: return roll < 90 ? 2.5f : static_cast<float>(roll % 3) * 10;
      case Layout::Cluster: {
        const float base = roll < 50 ? 0.75f : 0.0f;
        return base == 0 ? static_cast<float>(roll % 7) * 1e-21f : std::nextafter(base, 2.0f) + static_cast<float>(roll % 5) * 6e-8f;
      }
      case Layout::WithinTolerance: return narrow(random);
      case Layout::NotFinite:
        if (roll < 3) return std::numeric_limits<float>::quiet_NaN();
        if (roll < 5) return roll == 3 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
        return wide(random);
      case Layout::Huge:
        if (roll < 20) return roll < 10 ? 3e38f : -3e38f;
        return roll < 70 ? 1e30f + static_cast<float>(roll % 4) * 1e23f : wide(random);
      case Layout::Line: return static_cast<float>(roll % 20);
      case Layout::Lattice: return static_cast<float>(roll % 7);
      default: return wide(random);
    }
  };
  auto add = [&](float x, float y, float z) {
    CornerVertex v;
    v.x = x;
    v.y = y;
    v.z = z;
    face.entries.push_back(v);
    return static_cast<std::uint32_t>(face.entries.size() - 1);
  };
  if (layout == Layout::Chain) {
    // Points at squared distances 1 + k * 0.4e-6 from a few anchors, in
    // shuffled order, so that a later pair beats an earlier one by just more
    // than the tolerance only now and then.
    for (int k = 0; k < 40; ++k) {
      const float d = 1.0f + static_cast<float>(pick(random) % 25) * 0.4e-6f;
      const float anchor = static_cast<float>(pick(random) % 3) * 10;
      add(anchor + std::sqrt(d), 0, 0);
      add(anchor, 0, 0);
    }
  }
  if (layout == Layout::Circle) {
    // Centres, and points at squared distance exactly 25 or 625 from them.
    const int ring[][2] = {{3, 4}, {4, 3}, {5, 0}, {0, 5}, {-3, 4}, {-4, -3}, {0, -5}, {-5, 0}, {15, 20}, {-20, 15}};
    for (int k = 0; k < 120; ++k) {
      const float cx = static_cast<float>(pick(random) % 3) * 7, cy = static_cast<float>(pick(random) % 2) * 9;
      if (k % 5 == 0) add(cx, cy, 0);
      const auto& offset = ring[pick(random) % 10];
      add(cx + static_cast<float>(offset[0]), cy + static_cast<float>(offset[1]), 0);
    }
  }
  const std::size_t count = 60 + static_cast<std::size_t>(pick(random)) * 3;
  while (face.entries.size() < count) {
    const float x = coordinate(), y = coordinate();
    add(x, y, layout == Layout::Scattered || layout == Layout::Line ? 0.0f : coordinate());
  }
  std::uniform_int_distribution<std::uint32_t> entry(0, static_cast<std::uint32_t>(face.entries.size() - 1));
  face.polygon.resize(3 + static_cast<std::size_t>(pick(random)) % (maxHoles > 10 ? 80 : 20));
  for (auto& p : face.polygon) p = entry(random);
  face.holes.resize(1 + static_cast<std::size_t>(pick(random)) % maxHoles);
  for (std::size_t h = 0; h < face.holes.size(); ++h) {
    HoleCorners& hole = face.holes[h];
    if (h > 0 && pick(random) < 10) {
      hole = face.holes[h - 1];
      continue;
    }
    const int corners = 1 + pick(random) % 5;
    for (int c = 0; c < corners; ++c) {
      hole.measured.push_back(entry(random));
      hole.inserted.push_back(pick(random) < 70 ? hole.measured.back() : entry(random));
    }
  }
  // Now and then an entry that is a bridge point already from another face.
  if (pick(random) < 20) face.entries[entry(random)].bridged = true;
  return face;
}

TEST(HoleBridge, ChoosesExactlyWhatThePlainScanChooses) {
  std::mt19937 random(12345);
  const auto layouts = static_cast<int>(Layout::Count);
  for (int trial = 0; trial < 30 * layouts; ++trial) {
    const auto layout = static_cast<Layout>(trial % layouts);
    const Face face = random_face(random, layout, trial % 4 == 3 ? 40 : 6);
    expect_same_as_scan(face, "trial " + std::to_string(trial));
  }
}

// Corners at squared distances of about 1 + 1.4e-6, 1 + 0.7e-6 and 1 from
// the one polygon position, in that scan order: the second does not beat the
// first by more than the tolerance, the third does, so the scan ends on the
// third although the second is within the tolerance of the nearest.
TEST(HoleBridge, EndsOnThePairThatBeatsTheBestSoFarNotOnTheFirstNearOne) {
  Face face;
  auto ulps = [](int n) {
    float x = 1;
    for (int i = 0; i < n; ++i) x = std::nextafter(x, 2.0f);
    return x;
  };
  for (float x : {0.0f, ulps(6), ulps(3), 1.0f}) {
    CornerVertex v;
    v.x = x;
    face.entries.push_back(v);
  }
  face.polygon = {0};
  face.holes = {HoleCorners{{1, 2, 3}, {1, 2, 3}}};
  expect_same_as_scan(face, "tolerance chain");
  std::vector<CornerVertex> entries = face.entries;
  std::vector<std::uint32_t> polygon = face.polygon;
  bridge_holes(entries, polygon, face.holes);
  EXPECT_EQ(polygon, (std::vector<std::uint32_t>{0, 3, 2, 1, 3, 0}));
}

}  // namespace
}  // namespace facetor
