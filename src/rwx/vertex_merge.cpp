#include "rwx/vertex_merge.h"

#include <bit>
#include <cmath>

#include "io/hash.h"

namespace facetor {
namespace {

// Bits of a float with -0 folded onto 0, so that values that compare equal
// hash alike.
std::uint64_t key_bits(float value) { return value == 0.0f ? 0u : std::bit_cast<std::uint32_t>(value); }

std::uint64_t vertex_hash(const VertexMergeIndex& index, const MeshVertex& vertex) {
  std::uint64_t hash = combine_hash(mix_hash(key_bits(vertex.x)), key_bits(vertex.y) << 32 | key_bits(vertex.z));
  if (index.compareUV) hash = combine_hash(hash, key_bits(vertex.u) << 32 | key_bits(vertex.v));
  if (index.comparePrelight) {
    hash = combine_hash(hash, std::uint64_t{vertex.red} << 16 | std::uint64_t{vertex.green} << 8 | vertex.blue);
  }
  return hash;
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
  std::size_t size = 16;
  while (size < vertexCount * 2) size *= 2;
  index.slots.assign(size, 0);
  index.mask = size - 1;
  index.compareUV = compareUV;
  index.comparePrelight = comparePrelight;
}

void merge_index_prefetch(const VertexMergeIndex& index, const MeshVertex& vertex) {
  const std::size_t slot = static_cast<std::size_t>(vertex_hash(index, vertex)) & index.mask;
  __builtin_prefetch(&index.slots[slot]);
}

std::int32_t merge_index_find_or_add(VertexMergeIndex& index, const std::vector<MeshVertex>& vertices,
                                     std::int32_t i) {
  const MeshVertex& vertex = vertices[static_cast<std::size_t>(i)];
  if (has_nan(index, vertex)) return -1;
  const std::uint64_t hash = vertex_hash(index, vertex);
  const std::uint64_t tag = hash & 0xFFFFFFFF00000000ull;
  // Linear probing; the table is at least twice the vertex count, so an empty
  // slot always ends the walk.
  std::size_t slot = static_cast<std::size_t>(hash) & index.mask;
  while (index.slots[slot] != 0) {
    const std::uint64_t entry = index.slots[slot];
    if ((entry & 0xFFFFFFFF00000000ull) == tag) {
      const auto earlier = static_cast<std::int32_t>((entry & 0xFFFFFFFFu) - 1);
      if (same_vertex(index, vertices[static_cast<std::size_t>(earlier)], vertex)) return earlier;
    }
    slot = (slot + 1) & index.mask;
  }
  index.slots[slot] = tag | (static_cast<std::uint64_t>(i) + 1);
  return -1;
}

}  // namespace facetor
