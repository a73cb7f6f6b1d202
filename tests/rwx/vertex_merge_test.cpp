#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "rwx/vertex_merge.h"

namespace facetor {
namespace {

// The plain scan: the first earlier vertex whose compared fields, as
// written, are equal as floats (NaN equal to nothing) and bytes.
std::int32_t scan_first_equal(const std::vector<MeshVertex>& vertices, std::size_t i, bool uv, bool prelight) {
  const MeshVertex a = written_vertex(vertices[i]);
  for (std::size_t j = 0; j < i; ++j) {
    const MeshVertex b = written_vertex(vertices[j]);
    if (a.x == b.x && a.y == b.y && a.z == b.z && (!uv || (a.u == b.u && a.v == b.v)) &&
        (!prelight || (a.red == b.red && a.green == b.green && a.blue == b.blue))) {
      return static_cast<std::int32_t>(j);
    }
  }
  return -1;
}

// Few distinct values, so that equal vertices, -0 against 0, NaN, far and
// infinite values, and vertices moved when written (the origin goes to
// 0.0001) meet often; a different hash key for each set of compared fields.
TEST(VertexMergeTest, FindsTheScansFirstEqualVertex) {
  const float pool[] = {0.0f, -0.0f, 1.0f, -1.0f, std::nanf(""), 0.5f, 0.0001f, 3e38f, INFINITY, 8.796093e12f};
  std::mt19937 random(7);
  std::uniform_int_distribution<int> pick(0, 9), byte(0, 1);
  for (int flags = 0; flags < 4; ++flags) {
    const bool uv = (flags & 1) != 0, prelight = (flags & 2) != 0;
    set_process_hash_key(HashKey{static_cast<std::uint64_t>(flags) * 0x9e3779b97f4a7c15ULL, 7});
    std::vector<MeshVertex> vertices(3000);
    for (MeshVertex& v : vertices) {
      v.x = pool[pick(random)], v.y = pool[pick(random) % 3], v.z = pool[pick(random) % 3];
      v.u = pool[pick(random)], v.v = pool[pick(random) % 2];
      v.red = static_cast<std::uint8_t>(byte(random)), v.blue = static_cast<std::uint8_t>(byte(random));
      v.boneTags[0] = static_cast<std::uint8_t>(pick(random));
    }
    VertexMergeIndex index;
    merge_index_init(index, vertices.size(), uv, prelight);
    for (std::size_t i = 0; i < vertices.size(); ++i) {
      ASSERT_EQ(merge_index_find_or_add(index, vertices, std::int32_t(i), merge_index_hash(index, vertices[i])),
                scan_first_equal(vertices, i, uv, prelight))
          << "vertex " << i << " uv " << uv << " prelight " << prelight;
    }
  }
}

}  // namespace
}  // namespace facetor
