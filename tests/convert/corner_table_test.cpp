#include "convert/corner_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "support/hostile_models.h"

namespace facetor {
namespace {

// The linear scan: the first entry whose source vertex, texture index,
// colour and material agree, or (optverts) whose position lies within 1e-6
// on each axis and whose texture index agrees.
std::int32_t reference_find(const std::vector<CornerVertex>& entries, const CornerVertex& c, bool optverts) {
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const CornerVertex& e = entries[i];
    if (e.sourceVertex == c.sourceVertex && e.uvIndex == c.uvIndex && e.colour == c.colour &&
        e.materialNumber == c.materialNumber) {
      return static_cast<std::int32_t>(i);
    }
    if (optverts && e.uvIndex == c.uvIndex) {
      const float dx = e.x - c.x, dy = e.y - c.y, dz = e.z - c.z;
      if (dx >= -1e-6f && dx <= 1e-6f && dy >= -1e-6f && dy <= 1e-6f && dz >= -1e-6f && dz <= 1e-6f) {
        return static_cast<std::int32_t>(i);
      }
    }
  }
  return -1;
}

// A coordinate that crowds round the borders of the search grid's cells
// (multiples of 2^-18: borders and centres) in steps finer than the
// tolerance, or now and then a far (beyond 2^43, where whole floats lie
// 2^20 apart), infinite or NaN value.
float crowded(std::mt19937& random, float centre) {
  std::uniform_int_distribution<int> border(-3, 3), step(-12, 12), odd(0, 39);
  const float far[] = {8.796093e12f, 8.796094e12f, -1e13f, 3e38f, std::numeric_limits<float>::infinity(),
                       std::nanf("")};
  const int pick = odd(random);
  if (pick < 6) return far[pick];
  return centre + static_cast<float>(border(random)) / 262144.0f + static_cast<float>(step(random)) * 2.5e-7f;
}

// Corners on a few source vertices whose positions crowd round the borders
// of the search grid's cells, with and without optverts, under two hash keys
// (the answers must not depend on the key).
TEST(CornerTable, FindsTheFirstMatchTheScanWouldFind) {
  std::mt19937 random(99);
  for (const bool optverts : {false, true}) {
    for (int trial = 0; trial < 10; ++trial) {
      set_process_hash_key(HashKey{static_cast<std::uint64_t>(trial), 99});
      constexpr int kSources = 40;
      std::vector<CornerVertex> sources(kSources);
      std::uniform_int_distribution<int> small(0, 2);
      for (CornerVertex& v : sources) {
        v.x = crowded(random, 0);
        v.y = crowded(random, 0);
        v.z = crowded(random, 1);
      }
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
        ASSERT_EQ(corner_find(table, c), expected) << "optverts " << optverts << " trial " << trial << " corner " << k;
        if (expected < 0) corner_add(table, c);
      }
      // The hole look-ups: the first entry of a source vertex, with or
      // without the same texture index and material.
      for (int s = -1; s <= kSources; ++s) {
        for (int k = 0; k < 4; ++k) {
          const bool matchUv = k > 0;
          const std::int32_t uv = small(random), material = small(random);
          std::int32_t expected = -1;
          for (std::size_t i = 0; i < table.entries.size() && expected < 0; ++i) {
            const CornerVertex& e = table.entries[i];
            if (e.sourceVertex == s && (!matchUv || (e.uvIndex == uv && e.materialNumber == material))) {
              expected = static_cast<std::int32_t>(i);
            }
          }
          ASSERT_EQ(corner_find_for_hole(table, s, matchUv, uv, material), expected) << "source " << s;
        }
      }
    }
  }
}

// An attacker who knows the hash can choose vertex indices outside the object
// whose keys share one probe window, and so make each insertion walk past
// all earlier keys. Without the secret key, keys chosen against the old fixed
// mixer, or keys that differ only in their high bits, cost a few probes each.
TEST(CornerTable, ChosenCollidingKeysCostFewProbes) {
  constexpr int kCount = 6000;
  const std::vector<std::int32_t> oldMixer = test::old_mixer_colliding_sources(kCount, 16, 64, 100);
  std::vector<std::int32_t> highBits;
  for (std::int32_t i = 1; i <= kCount; ++i) highBits.push_back(i << 18);
  for (const auto& sources : {oldMixer, highBits}) {
    ASSERT_EQ(sources.size(), std::size_t{kCount});
    CornerTable table;
    corner_reserve(table, 3, kCount);
    for (const std::int32_t source : sources) {
      CornerVertex corner;
      corner.sourceVertex = source;
      ASSERT_EQ(corner_find(table, corner), -1);
      corner_add(table, corner);
    }
    // Two walks (find, then insert) per key, a few slots each on average;
    // the old mixer's window made it about kCount * kCount / 2.
    EXPECT_LT(table.exact.probes, std::uint64_t{8} * kCount);
  }
}

}  // namespace
}  // namespace facetor
