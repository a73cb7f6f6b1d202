// The chunk handlers of the scene-tree loader. Each reads from the start of
// its chunk's data, bounded by the end of the buffer, and returns success or
// failure; a failure ends loading.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "cob/container.h"
#include "cob/scene.h"

namespace facetor {

// Creates a group node as the last child of parent; reads its name, and with
// withTransform its local axes and position. The node stays even when a read
// fails.
bool add_group_node(SceneNode& parent, Reader& r, std::int32_t chunkId, bool withTransform);

// PolH: appends a new object to objects and fills it.
bool read_polygon_object(std::vector<std::unique_ptr<PolygonObject>>& objects, Reader& r, std::int32_t chunkId);

// List readers: the count, or -1 on failure (the list is then left empty).
std::int32_t read_vertex_list(Reader& r, FloatList& vertices);
std::int32_t read_uv_list(Reader& r, FloatList& uvs);
std::int32_t read_face_list(Reader& r, LargeVector<PolyFace>& faces, std::size_t& cornerTotal);

// Mat1: appends a material; chunkEnd (the end of the chunk's data) bounds the
// loop over the optional map records.
bool read_material(std::vector<Material>& materials, Reader& r, std::int32_t chunkId, std::int64_t chunkEnd);

// VCol: colours of face corners.
bool read_vertex_colours(Reader& r, PolygonObject& object);

// Skeleton chunks: Skin on its parent object, Join and Bone on the loader's
// skeleton target. Names that are no avatar joint names are read over.
bool read_skin(Reader& r, PolygonObject& object);
bool read_joint(Reader& r, PolygonObject& target);
bool read_bone(Reader& r, PolygonObject& target);

}  // namespace facetor
