#include "convert/corner_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "support/hostile_models.h"

namespace facetor {
namespace {

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
      c.sourceVertex = s;
      c.uvIndex = small(random);
      c.colour = static_cast<std::uint32_t>(small(random));
      c.materialNumber = small(random);
      const std::int32_t expected = reference_find(table.entries, c, optverts);
      ASSERT_EQ(corner_find(table, c), expected) << "trial " << trial << " corner " << k;
      if (expected < 0) corner_add(table, c);
    }
    for (int s = -1; s <= kSources; ++s) {
      for (int k = 0; k < 4; ++k) {
        const std::int32_t uv = small(random), material = small(random);
        std::int32_t expected = -1;
        for (std::size_t i = 0; i < table.entries.size() && expected < 0; ++i) {
          const CornerVertex& e = table.entries[i];
          if (e.sourceVertex == s && (k == 0 || (e.uvIndex == uv && e.materialNumber == material))) {
            expected = static_cast<std::int32_t>(i);
          }
        }
        ASSERT_EQ(corner_find_for_hole(table, s, k > 0, uv, material), expected) << "source " << s;
      }
    }
  }
}

// Vertex indices outside the object chosen to share one probe window under
// the old fixed mixer, or differing only in their high bits, cost a few
// probes each under the secret key (the old mixer: about kCount^2 / 2).
TEST(CornerTable, ChosenCollidingKeysCostFewProbes) {
  constexpr int kCount = 6000;
  std::vector<std::int32_t> highBits;
  for (std::int32_t i = 1; i <= kCount; ++i) highBits.push_back(i << 18);
  for (const auto& sources : {test::old_mixer_colliding_sources(kCount, 16, 64, 100), highBits}) {
    ASSERT_EQ(sources.size(), std::size_t{kCount});
    CornerTable table;
    corner_reserve(table, 3, kCount);
    for (const std::int32_t source : sources) {
      CornerVertex corner;
      corner.sourceVertex = source;
      ASSERT_EQ(corner_find(table, corner), -1);
      corner_add(table, corner);
    }
    EXPECT_LT(table.exact.probes, std::uint64_t{8} * kCount);  // a find and an insert per key
  }
}

}  // namespace
}  // namespace facetor
