#include "convert/corner_table.h"

#include <gtest/gtest.h>

#include <random>

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

// Corners on a few source vertices whose positions crowd round the borders
// of the search grid's cells (multiples of 2^-18: borders and centres), in steps finer than the
// tolerance, with and without optverts.
TEST(CornerTable, FindsTheFirstMatchTheScanWouldFind) {
  std::mt19937 random(99);
  for (const bool optverts : {false, true}) {
    for (int trial = 0; trial < 10; ++trial) {
      constexpr int kSources = 40;
      std::vector<CornerVertex> sources(kSources);
      std::uniform_int_distribution<int> border(-3, 3), step(-12, 12), small(0, 2);
      for (CornerVertex& v : sources) {
        v.x = static_cast<float>(border(random)) / 262144.0f + static_cast<float>(step(random)) * 2.5e-7f;
        v.y = static_cast<float>(border(random)) / 262144.0f + static_cast<float>(step(random)) * 2.5e-7f;
        v.z = 1.0f + static_cast<float>(step(random)) * 2.5e-7f;
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

}  // namespace
}  // namespace facetor
