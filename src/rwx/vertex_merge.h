// The index behind the writer's vertex merge: for each vertex, the first
// earlier vertex that the writer counts as equal, found through a hash of the
// compared fields instead of a scan over all earlier vertices.
//
// The vertices are compared as they are written (see written_vertex).
// Equality: x, y and z compare equal as floats (0 equals -0, NaN equals
// nothing); u and v take part only when texture coordinates are written, the
// prelight bytes only when prelight is written. Bone tags never take part.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "io/hash_table.h"
#include "mesh/mesh_store.h"

namespace facetor {

struct VertexMergeIndex {
  HashTable firstOccurrences;  // the first vertex of each value
  bool compareUV = false;
  bool comparePrelight = false;
};

// A vertex as the writer writes and compares it: one whose three
// coordinates are equal has its x moved by 0.0001.
inline MeshVertex written_vertex(const MeshVertex& vertex) {
  MeshVertex written = vertex;
  if (vertex.x == vertex.y && vertex.x == vertex.z) written.x = vertex.x + 0.0001f;
  return written;
}

// Prepares an empty index for up to vertexCount vertices.
void merge_index_init(VertexMergeIndex& index, std::size_t vertexCount, bool compareUV, bool comparePrelight);

// The hash that vertex (as written) is looked up under.
std::uint64_t merge_index_hash(const VertexMergeIndex& index, const MeshVertex& vertex);

// Asks the processor to fetch the slot that a vertex of this hash will be
// looked up in; a hint only, so that a walk over many vertices does not wait
// on each lookup.
void merge_index_prefetch(const VertexMergeIndex& index, std::uint64_t hash);

// Returns the index of the first vertex before i (among those offered so far,
// in order) whose written form equals that of vertices[i], or -1; when there is none, vertex i is
// entered as the first occurrence of its value. Vertices are offered in index
// order, each once.
// hash is merge_index_hash of vertices[i].
std::int32_t merge_index_find_or_add(VertexMergeIndex& index, const std::vector<MeshVertex>& vertices,
                                     std::int32_t i, std::uint64_t hash);

}  // namespace facetor
