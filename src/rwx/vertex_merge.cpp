#include "rwx/vertex_merge.h"

#include <bit>
#include <cmath>

namespace facetor {
namespace {

// Bits of a float with -0 folded onto 0, so that values that compare equal
// hash alike.
std::uint64_t key_bits(float value) { return value == 0.0f ? 0u : std::bit_cast<std::uint32_t>(value); }

// The fields left out of the comparison hash as 0.
std::uint64_t vertex_hash(const VertexMergeIndex& index, const MeshVertex& vertex) {
  const std::uint64_t uv = index.compareUV ? key_bits(vertex.u) << 32 | key_bits(vertex.v) : 0;
  const std::uint64_t prelight =
      index.comparePrelight ? std::uint64_t{vertex.red} << 16 | std::uint64_t{vertex.green} << 8 | vertex.blue : 0;
  return hash_of(index.firstOccurrences,
                 {key_bits(vertex.x) << 32 | key_bits(vertex.y), key_bits(vertex.z) << 32 | prelight, uv});
}

// A vertex with a NaN among its compared fields equals no vertex at all.
bool has_nan(const VertexMergeIndex& index, const MeshVertex& vertex) {
  if (std::isnan(vertex.x) || std::isnan(vertex.y) || std::isnan(vertex.z)) return true;
  return index.compareUV && (std::isnan(vertex.u) || std::isnan(vertex.v));
}

bool same_vertex(const VertexMergeIndex& index, const MeshVertex& a, const MeshVertex& b) {
  if (!(a.x == b.x && a.y == b.y && a.z == b.z)) return false;
  if (index.compareUV && !(a.u == b.u && a.v == b.v)) return false;
  if (index.comparePrelight && !(a.red == b.red && a.green == b.green && a.blue == b.blue)) return false;
  return true;
}

}  // namespace

void merge_index_init(VertexMergeIndex& index, std::size_t vertexCount, bool compareUV, bool comparePrelight) {
  index.firstOccurrences = HashTable{};
  hash_reserve(index.firstOccurrences, vertexCount);
  index.compareUV = compareUV;
  index.comparePrelight = comparePrelight;
}

std::uint64_t merge_index_hash(const VertexMergeIndex& index, const MeshVertex& vertex) {
  return vertex_hash(index, written_vertex(vertex));
}

void merge_index_prefetch(const VertexMergeIndex& index, std::uint64_t hash) {
  hash_prefetch(index.firstOccurrences, hash);
}

std::int32_t merge_index_find_or_add(VertexMergeIndex& index, const std::vector<MeshVertex>& vertices,
                                     std::int32_t i, std::uint64_t hash) {
  const MeshVertex vertex = written_vertex(vertices[static_cast<std::size_t>(i)]);
  if (has_nan(index, vertex)) return -1;
  const std::int32_t earlier = hash_find(index.firstOccurrences, hash, [&](std::int32_t id) {
    return same_vertex(index, written_vertex(vertices[static_cast<std::size_t>(id)]), vertex);
  });
  if (earlier < 0) hash_insert(index.firstOccurrences, hash, i);
  return earlier;
}

}  // namespace facetor
