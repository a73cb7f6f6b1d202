// The chunk handlers of the scene-tree loader. Each reads with the cursor at
// the start of its chunk's data and the whole buffer's length as its limit,
// and returns success or failure; a failure ends loading.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "cob/container.h"
#include "cob/scene.h"
#include "joints/joint_names.h"

namespace facetor {

// Bytes that a reader may still take at cursor: up to the limit and never
// past the buffer. Counts from the file are checked against this before any
// array is made for them.
inline std::int64_t bytes_left(Bytes buffer, std::int32_t cursor, std::int32_t limit) {
  const std::int64_t end = std::min<std::int64_t>(limit, static_cast<std::int64_t>(buffer.size()));
  return std::max<std::int64_t>(0, end - cursor);
}

// One byte, bounded like every other read.
bool read_u8(Bytes buffer, std::int32_t& cursor, std::int32_t limit, std::uint8_t& value);

// Creates a group node as the last child of parent; reads its name, and with
// withTransform its local axes and position. The node stays even when a read
// fails.
bool add_group_node(SceneNode& parent, Bytes buffer, std::int32_t& cursor, std::int32_t limit,
                    std::int32_t chunkId, bool withTransform);

// PolH: appends a new object to objects and fills it.
bool read_polygon_object(std::vector<std::unique_ptr<PolygonObject>>& objects, Bytes buffer,
                         std::int32_t& cursor, std::int32_t limit, std::int32_t chunkId);

// List readers: the count, or -1 on failure (the list is then left empty).
std::int32_t read_vertex_list(Bytes buffer, std::int32_t& cursor, std::int32_t limit, std::vector<float>& vertices);
std::int32_t read_uv_list(Bytes buffer, std::int32_t& cursor, std::int32_t limit, std::vector<float>& uvs);
std::int32_t read_face_list(Bytes buffer, std::int32_t& cursor, std::int32_t limit, std::vector<PolyFace>& faces);

// Mat1: appends a material; chunkEnd (the end of the chunk's data) bounds the
// loop over the optional map records.
bool read_material(std::vector<Material>& materials, Bytes buffer, std::int32_t& cursor, std::int32_t limit,
                   std::int32_t chunkId, std::int64_t chunkEnd);

// VCol: colours of face corners.
bool read_vertex_colours(Bytes buffer, std::int32_t& cursor, std::int32_t limit, PolygonObject& object);

// Skeleton chunks: Skin on its parent object, Join and Bone on the loader's
// skeleton target. Names that are no avatar joint names are read over.
bool read_skin(Bytes buffer, std::int32_t& cursor, std::int32_t limit, PolygonObject& object, JointIndex& joints);
bool read_joint(Bytes buffer, std::int32_t& cursor, std::int32_t limit, PolygonObject& target, JointIndex& joints);
bool read_bone(Bytes buffer, std::int32_t& cursor, std::int32_t limit, PolygonObject& target, JointIndex& joints);

}  // namespace facetor
