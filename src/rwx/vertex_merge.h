// The writer's vertex merge: for each vertex, the first earlier vertex that
// the writer counts as equal, found through hashes of the compared fields
// instead of a scan over all earlier vertices.
//
// The vertices are compared as they are written (see written_vertex).
// Equality: x, y and z compare equal as floats (0 equals -0, NaN equals
// nothing); u and v take part only when texture coordinates are written, the
// prelight bytes only when prelight is written. Bone tags never take part.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "mesh/mesh_store.h"

namespace facetor {

// A vertex as the writer writes and compares it: one whose three
// coordinates are equal has its x moved by 0.0001.
inline MeshVertex written_vertex(const MeshVertex& vertex) {
  MeshVertex written = vertex;
  if (vertex.x == vertex.y && vertex.x == vertex.z) written.x = vertex.x + 0.0001f;
  return written;
}

// For every vertex, the index of the first earlier vertex whose written form
// equals its own, or -1.
LargeVector<std::int32_t> first_equal_vertices(std::span<const MeshVertex> vertices, bool compareUV,
                                               bool comparePrelight);

}  // namespace facetor
