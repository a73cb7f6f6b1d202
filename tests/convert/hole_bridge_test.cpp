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

using Bridge = void (*)(std::vector<CornerVertex>&, std::vector<std::uint32_t>&, const std::vector<HoleCorners>&);

struct Face {
  std::vector<CornerVertex> entries;
  std::vector<std::uint32_t> polygon;
  std::vector<HoleCorners> holes;
};

// Runs the bridge under test and the plain scan on copies of the face and
// compares the polygons and the bridge marks.
void expect_same_as_scan(const Face& face, Bridge bridge, const std::string& label) {
  std::vector<CornerVertex> expectedEntries = face.entries, entries = face.entries;
  std::vector<std::uint32_t> expected = face.polygon, polygon = face.polygon;
  reference_bridge(expectedEntries, expected, face.holes);
  bridge(entries, polygon, face.holes);
  ASSERT_EQ(polygon, expected) << label;
  for (std::size_t i = 0; i < entries.size(); ++i) ASSERT_EQ(entries[i].bridged, expectedEntries[i].bridged) << label;
}

enum class Layout { Scattered, Coincident, WithinTolerance, NotFinite, Far, Chain, Lattice };

// Random faces: scattered points, exact duplicates, distances that tie within
// the tolerance, NaN or infinite values, holes a million units away, runs of
// distances a fraction of the tolerance apart, and regular lattices full of
// exact ties.
Face random_face(std::mt19937& random, Layout layout, bool large) {
  std::uniform_real_distribution<float> wide(-50, 50), narrow(0, 1e-5f), unit(0, 1);
  std::uniform_int_distribution<int> pick(0, 99);
  Face face;
  auto coordinate = [&]() -> float {
    const int roll = pick(random);
    switch (layout) {
      case Layout::Coincident: return std::round(wide(random) / 10) * 10;
      case Layout::WithinTolerance: return narrow(random);
      case Layout::NotFinite:
        if (roll < 3) return std::numeric_limits<float>::quiet_NaN();
        if (roll < 5) return roll == 3 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
        return wide(random);
      case Layout::Far: return roll < 30 ? wide(random) * 1e5f + (roll < 10 ? 3e6f : 0.0f) : wide(random);
      case Layout::Lattice: return static_cast<float>(pick(random) % 7);
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
  const std::size_t count = 60 + static_cast<std::size_t>(pick(random)) * 3;
  while (face.entries.size() < count) add(coordinate(), coordinate(), layout == Layout::Scattered ? 0.0f : coordinate());
  std::uniform_int_distribution<std::uint32_t> entry(0, static_cast<std::uint32_t>(face.entries.size() - 1));
  face.polygon.resize(3 + static_cast<std::size_t>(pick(random)) % (large ? 80 : 20));
  for (auto& p : face.polygon) p = entry(random);
  face.holes.resize(1 + static_cast<std::size_t>(pick(random)) % (large ? 40 : 6) + (large ? 20 : 0));
  for (HoleCorners& hole : face.holes) {
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
  const Layout layouts[] = {Layout::Scattered, Layout::Coincident, Layout::WithinTolerance, Layout::NotFinite,
                            Layout::Far,       Layout::Chain,      Layout::Lattice};
  for (int trial = 0; trial < 280; ++trial) {
    const Layout layout = layouts[trial % 7];
    const Face face = random_face(random, layout, trial % 2 == 1);
    const std::string label = "trial " + std::to_string(trial);
    expect_same_as_scan(face, bridge_holes, label);
    expect_same_as_scan(face, bridge_holes_indexed, label + " indexed");
  }
}

// Hundreds of corners and positions on one spot: too many equal pairs to
// gather, so the steps are scanned, with the same result.
TEST(HoleBridge, PointsPiledOnOneSpot) {
  Face face;
  face.entries.resize(200 + 150 * 3);
  for (std::uint32_t i = 0; i < 200; ++i) face.polygon.push_back(i);
  for (std::uint32_t h = 0; h < 150; ++h) {
    HoleCorners hole;
    for (std::uint32_t c = 0; c < 3; ++c) hole.measured.push_back(200 + h * 3 + c);
    hole.inserted = hole.measured;
    face.holes.push_back(hole);
  }
  expect_same_as_scan(face, bridge_holes_indexed, "piled");
}

}  // namespace
}  // namespace facetor
