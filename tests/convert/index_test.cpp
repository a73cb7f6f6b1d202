// The corner table and the hole bridging against their plain scans.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "convert/corner_table.h"
#include "convert/hole_bridge.h"
#include "support/hostile_models.h"

namespace facetor {
namespace {

using Polygon = std::vector<std::uint32_t>;

// The plain scan: for each unmerged hole, each of its corners, each polygon
// position whose entry is not bridged yet, keep the pair that beats the best
// so far by more than 1e-6.
void reference_bridge(std::vector<CornerVertex>& entries, Polygon& polygon, const std::vector<HoleCorners>& holes) {
  if (polygon.empty()) return;
  std::vector<bool> merged(holes.size(), false);
  for (std::size_t n = 0; n < holes.size(); ++n) {
    float best = std::numeric_limits<float>::infinity();
    std::size_t bestHole = 0, bestCorner = 0, bestPosition = 0;
    while (merged[bestHole]) ++bestHole;
    for (std::size_t h = 0; h < holes.size(); ++h) {
      for (std::size_t c = 0; c < holes[h].measured.size() && !merged[h]; ++c) {
        const CornerVertex& p = entries[holes[h].measured[c]];
        for (std::size_t j = 0; j < polygon.size(); ++j) {
          const CornerVertex& e = entries[polygon[j]];
          const float dx = p.x - e.x, dy = p.y - e.y, dz = p.z - e.z, d = dx * dx + dy * dy + dz * dz;
          if (!e.bridged && d - best < -1e-6f) best = d, bestHole = h, bestCorner = c, bestPosition = j;
        }
      }
    }
    const std::uint32_t bridge = polygon[bestPosition];
    entries[bridge].bridged = merged[bestHole] = true;
    const std::vector<std::uint32_t>& inserted = holes[bestHole].inserted;
    Polygon added;
    for (std::size_t step = 0, c = bestCorner; step <= inserted.size(); ++step, c = (c == 0 ? inserted.size() : c) - 1) {
      added.push_back(inserted[c]);
    }
    added.push_back(bridge);
    polygon.insert(polygon.begin() + static_cast<std::ptrdiff_t>(bestPosition + 1), added.begin(), added.end());
  }
}

struct Face { std::vector<CornerVertex> entries; Polygon polygon; std::vector<HoleCorners> holes; };

// Bridges the face and checks polygon and bridge marks against the scan.
Polygon bridged_as_scan(const Face& face) {
  std::vector<CornerVertex> expectedEntries = face.entries, entries = face.entries;
  Polygon expected = face.polygon, polygon = face.polygon;
  reference_bridge(expectedEntries, expected, face.holes);
  bridge_holes(entries, polygon, face.holes);
  EXPECT_EQ(polygon, expected);
  for (std::size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(entries[i].bridged, expectedEntries[i].bridged) << i;
  return polygon;
}

enum class Layout { Scattered, Pile, Cluster, WithinTolerance, NotFinite, Huge, Line, Circle, Chain, Lattice, Count };

// Random faces in one adversarial layout: piles, clusters narrower than the
// tolerance or near 0 (squares round to 0), ties, NaN/inf, overflowing squares,
// lines, circles (equal distances), chains a fraction of the tolerance apart,
// lattices. Entries repeat across polygon and holes; holes now and then too.
Face random_face(std::mt19937& random, Layout layout, std::size_t maxHoles) {
  std::uniform_real_distribution<float> wide(-50, 50), narrow(0, 1e-5f);
  std::uniform_int_distribution<int> pick(0, 99);
  const float inf = std::numeric_limits<float>::infinity();
  Face face;
  auto coordinate = [&]() -> float {
    const int roll = pick(random);
    switch (layout) {
      case Layout::Pile: return roll < 90 ? 2.5f : static_cast<float>(roll % 3) * 10;
      case Layout::Cluster:
        return roll < 50 ? std::nextafter(0.75f, 2.0f) + static_cast<float>(roll % 5) * 6e-8f
                         : static_cast<float>(roll % 7) * 1e-21f;
      case Layout::WithinTolerance: return narrow(random);
      case Layout::NotFinite: return roll < 3 ? std::nanf("") : roll < 5 ? (roll == 3 ? inf : -inf) : wide(random);
      case Layout::Huge:
        return roll < 20 ? (roll < 10 ? 3e38f : -3e38f) : roll < 70 ? 1e30f + float(roll % 4) * 1e23f : wide(random);
      case Layout::Line: return static_cast<float>(roll % 20);
      case Layout::Lattice: return static_cast<float>(roll % 7);
      default: return wide(random);
    }
  };
  auto add = [&](float x, float y, float z) { face.entries.push_back(CornerVertex{.x = x, .y = y, .z = z}); };
  for (int k = 0; layout == Layout::Chain && k < 40; ++k) {  // squared distances 1 + k * 0.4e-6, shuffled
    const float anchor = static_cast<float>(pick(random) % 3) * 10;
    add(anchor + std::sqrt(1.0f + static_cast<float>(pick(random) % 25) * 0.4e-6f), 0, 0);
    add(anchor, 0, 0);
  }
  const int ring[][2] = {{3, 4}, {4, 3}, {5, 0}, {0, 5}, {-3, 4}, {-4, -3}, {0, -5}, {-5, 0}, {15, 20}, {-20, 15}};
  for (int k = 0; layout == Layout::Circle && k < 120; ++k) {
    const float cx = static_cast<float>(pick(random) % 3) * 7, cy = static_cast<float>(pick(random) % 2) * 9;
    if (k % 5 == 0) add(cx, cy, 0);
    const auto& offset = ring[pick(random) % 10];
    add(cx + static_cast<float>(offset[0]), cy + static_cast<float>(offset[1]), 0);
  }
  for (std::size_t count = 60 + static_cast<std::size_t>(pick(random)) * 3; face.entries.size() < count;) {
    const float x = coordinate(), y = coordinate();
    add(x, y, layout == Layout::Scattered || layout == Layout::Line ? 0.0f : coordinate());
  }
  std::uniform_int_distribution<std::uint32_t> entry(0, static_cast<std::uint32_t>(face.entries.size() - 1));
  face.polygon.resize(3 + static_cast<std::size_t>(pick(random)) % (maxHoles > 10 ? 80 : 20));
  for (auto& p : face.polygon) p = entry(random);
  face.holes.resize(1 + static_cast<std::size_t>(pick(random)) % maxHoles);
  for (std::size_t h = 0; h < face.holes.size(); ++h) {
    HoleCorners& hole = face.holes[h];
    if (h > 0 && pick(random) < 10) hole = face.holes[h - 1];
    for (int c = 1 + pick(random) % 5; hole.measured.empty() && c > 0; --c) {
      hole.measured.push_back(entry(random));
      hole.inserted.push_back(pick(random) < 70 ? hole.measured.back() : entry(random));
    }
  }
  if (pick(random) < 20) face.entries[entry(random)].bridged = true;  // a bridge point of another face
  return face;
}

TEST(HoleBridge, ChoosesExactlyWhatThePlainScanChooses) {
  std::mt19937 random(12345);
  const auto layouts = static_cast<int>(Layout::Count);
  for (int trial = 0; trial < 30 * layouts && !HasFailure(); ++trial) {
    SCOPED_TRACE(trial);
    bridged_as_scan(random_face(random, static_cast<Layout>(trial % layouts), trial % 4 == 3 ? 40 : 6));
  }
}

// Squared distances about 1 + 1.4e-6, 1 + 0.7e-6 and 1, in scan order: the
// second does not beat the first by the tolerance, the third does, so the
// scan ends on the third although the second is within tolerance of it.
TEST(HoleBridge, EndsOnThePairThatBeatsTheBestSoFarNotOnTheFirstNearOne) {
  Face face;
  for (int ulps : {-1, 6, 3, 0}) {
    float x = ulps < 0 ? 0.0f : 1.0f;
    for (int i = 0; i < ulps; ++i) x = std::nextafter(x, 2.0f);
    face.entries.emplace_back().x = x;
  }
  face.polygon = {0}, face.holes = {HoleCorners{{1, 2, 3}, {1, 2, 3}}};
  EXPECT_EQ(bridged_as_scan(face), (Polygon{0, 3, 2, 1, 3, 0}));
}

// The plain scan: the first entry whose source vertex, texture index, colour
// and material agree, or (optverts) whose position lies within 1e-6 on each
// axis and whose texture index agrees.
std::int32_t reference_find(const std::vector<CornerVertex>& entries, const CornerVertex& c, bool optverts) {
  auto near = [](float a, float b) { return a - b >= -1e-6f && a - b <= 1e-6f; };
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const CornerVertex& e = entries[i];
    if ((e.sourceVertex == c.sourceVertex && e.uvIndex == c.uvIndex && e.colour == c.colour &&
         e.materialNumber == c.materialNumber) ||
        (optverts && e.uvIndex == c.uvIndex && near(e.x, c.x) && near(e.y, c.y) && near(e.z, c.z))) {
      return static_cast<std::int32_t>(i);
    }
  }
  return -1;
}

// Coordinates crowding round the borders and centres of the search grid's
// cells (multiples of 2^-18) in steps finer than the tolerance, or now and
// then far (beyond 2^43, whole floats 2^20 apart), infinite or NaN; with and
// without optverts, under several hash keys. Then the hole look-ups: the
// first entry of a source vertex, with or without texture index and material.
TEST(CornerTable, FindsTheFirstMatchTheScanWouldFind) {
  std::mt19937 random(99);
  std::uniform_int_distribution<int> small(0, 2), border(-3, 3), step(-12, 12), odd(0, 39);
  const float far[] = {8.796093e12f, 8.796094e12f, -1e13f, 3e38f, INFINITY, NAN};
  auto crowded = [&](float centre) {
    const int pick = odd(random);
    return pick < 6 ? far[pick] : centre + border(random) / 262144.0f + static_cast<float>(step(random)) * 2.5e-7f;
  };
  for (int trial = 0; trial < 20; ++trial) {
    const bool optverts = trial % 2 == 1;
    set_process_hash_key(HashKey{static_cast<std::uint64_t>(trial), 99});
    constexpr int kSources = 40;
    std::vector<CornerVertex> sources(kSources);
    for (CornerVertex& v : sources) v.x = crowded(0), v.y = crowded(0), v.z = crowded(1);
    CornerTable table;
    table.optverts = optverts;
    corner_reserve(table, kSources + 1, 16);
    std::uniform_int_distribution<int> source(-1, kSources);  // -1 and kSources lie outside
    for (int k = 0; k < 300; ++k) {
      const int s = source(random);
      CornerVertex c = (s >= 0 && s < kSources) ? sources[static_cast<std::size_t>(s)] : CornerVertex{};
      c.sourceVertex = s, c.uvIndex = small(random);
      c.colour = static_cast<std::uint32_t>(small(random)), c.materialNumber = small(random);
      const std::int32_t expected = reference_find(table.entries, c, optverts);
      ASSERT_EQ(corner_find(table, c), expected) << "trial " << trial << " corner " << k;
      if (expected < 0) corner_add(table, c);
    }
    for (int n = 0; n < 4 * (kSources + 2); ++n) {
      const int s = n / 4 - 1, k = n % 4;
      const std::int32_t uv = small(random), material = small(random);
      std::int32_t expected = -1;
      for (std::size_t i = table.entries.size(); i-- > 0;) {
        const CornerVertex& e = table.entries[i];
        if (e.sourceVertex == s && (k == 0 || (e.uvIndex == uv && e.materialNumber == material))) expected = int(i);
      }
      ASSERT_EQ(corner_find_for_hole(table, s, k > 0, uv, material), expected) << "source " << s;
    }
  }
}

// Vertex indices outside the object chosen to share one probe window under the
// old fixed mixer (which cost kCount^2 / 2), or differing in high bits only.
TEST(CornerTable, ChosenCollidingKeysCostFewProbes) {
  constexpr int kCount = 6000;
  std::vector<std::int32_t> highBits;
  for (std::int32_t i = 1; i <= kCount; ++i) highBits.push_back(i << 18);
  for (const auto& sources : {test::old_mixer_colliding_sources(kCount, 16, 64, 100), highBits}) {
    CornerTable table;
    corner_reserve(table, 3, kCount);
    for (const std::int32_t source : sources) {
      const CornerVertex corner{.sourceVertex = source};
      ASSERT_EQ(corner_find(table, corner), -1);
      corner_add(table, corner);
    }
    EXPECT_LT(table.exact.probes, std::uint64_t{8} * kCount);  // a find and an insert per key
  }
}

}  // namespace
}  // namespace facetor
