#include <cstdint>
#include <memory>
#include <string>

#include "cob/chunk_index.h"
#include "cob/scene.h"
#include "cob/scene_readers.h"

namespace facetor {
namespace {

// What one load keeps between chunks.
struct SceneLoad {
  Bytes buffer;
  ChunkIndex index;
  PolygonObject* skeletonTarget = nullptr;  // Join and Bone chunks go here
};

// The chunk's parent: the record that carries its parent ID, or the root
// (as a node) when no record does.
FoundRecord find_parent(const SceneLoad& load, std::int32_t parentId) {
  FoundRecord found = find_by_chunk_id(load.index, parentId);
  if (found.kind == RecordKind::none) found = FoundRecord{RecordKind::node, load.index.nodes[0].node, nullptr, 0};
  return found;
}

// Grou, MBal (withTransform) and Scen: a group node under a node; under a
// polygon object the chunk is skipped.
bool load_group(SceneLoad& load, const ChunkAt& chunk, Reader& r, bool withTransform) {
  const FoundRecord parent = find_parent(load, chunk.header.parentId);
  if (parent.kind != RecordKind::node) return true;
  const bool read = add_group_node(*parent.node, r, chunk.header.chunkId, withTransform);
  index_add_node(load.index, parent.nodeOrdinal);
  return read;
}

bool load_polygon_object(SceneLoad& load, const ChunkAt& chunk, Reader& r) {
  const FoundRecord parent = find_parent(load, chunk.header.parentId);
  if (parent.kind != RecordKind::node) return true;
  auto& objects = parent.node->objects;
  const bool read = read_polygon_object(objects, r, chunk.header.chunkId);
  index_add_object(load.index, parent.nodeOrdinal);
  // Skeleton chunks that follow belong to the node's first object.
  load.skeletonTarget = objects.front().get();
  return read;
}

// The polygon object that a Skin, Hidn, Mat1 or VCol chunk refines, or null
// when its parent is a node.
PolygonObject* parent_object(const SceneLoad& load, const ChunkAt& chunk) {
  const FoundRecord parent = find_parent(load, chunk.header.parentId);
  return parent.kind == RecordKind::object ? parent.object : nullptr;
}

// Each handler reads from the chunk's data on, bounded by the end of the buffer.
bool load_chunk(SceneLoad& load, const ChunkAt& chunk) {
  const ChunkHeader& header = chunk.header;
  Reader r = reader_at(load.buffer, chunk.data, static_cast<std::int64_t>(load.buffer.size()));
  if (chunk_type_is(header, "Grou") || chunk_type_is(header, "MBal")) return load_group(load, chunk, r, true);
  if (chunk_type_is(header, "Scen")) return load_group(load, chunk, r, false);
  if (chunk_type_is(header, "PolH")) return load_polygon_object(load, chunk, r);
  if (chunk_type_is(header, "Join")) return !load.skeletonTarget || read_joint(r, *load.skeletonTarget);
  if (chunk_type_is(header, "Bone")) return !load.skeletonTarget || read_bone(r, *load.skeletonTarget);
  const bool refinesObject = chunk_type_is(header, "Skin") || chunk_type_is(header, "Hidn") ||
                             chunk_type_is(header, "Mat1") || chunk_type_is(header, "VCol");
  if (!refinesObject) return true;  // DDiv and unknown types are skipped
  PolygonObject* object = parent_object(load, chunk);
  if (!object) return true;
  if (chunk_type_is(header, "Skin")) return read_skin(r, *object);
  if (chunk_type_is(header, "Hidn")) {
    read_u16(r, object->hidden);  // a short Hidn chunk does not end loading
    return true;
  }
  if (chunk_type_is(header, "Mat1")) {
    const std::int64_t chunkEnd = static_cast<std::int64_t>(chunk.data) + header.size;
    return read_material(object->materials, r, header.chunkId, chunkEnd);
  }
  return read_vertex_colours(r, *object);
}

}  // namespace

bool add_group_node(SceneNode& parent, Reader& r, std::int32_t chunkId, bool withTransform) {
  SceneNode& node = *parent.children.emplace_back(std::make_unique<SceneNode>());
  node.chunkId = chunkId;
  if (!read_name(r, node.name, kSceneNameCapacity)) return false;
  if (!withTransform) return true;
  node.placement = std::make_unique<NodePlacement>();
  return read_axes(r, node.placement->axes) && read_matrix(r, node.placement->position);
}

std::unique_ptr<SceneNode> load_scene(Bytes buffer, OutStream& console,
                                      const std::string& sourceName) {
  if (!check_file_header(buffer, console, sourceName)) return nullptr;
  auto root = std::make_unique<SceneNode>();
  root->name = "Root_0";

  SceneLoad load{buffer, {}, nullptr};
  index_start(load.index, *root);

  // A failing handler ends the loop silently; what was loaded stays.
  ChunkWalk walk;
  ChunkAt chunk;
  while (chunk_walk_next(buffer, walk, chunk)) {
    if (chunk_type_is(chunk.header, "END ")) break;
    if (!load_chunk(load, chunk)) break;
  }
  return root;
}

}  // namespace facetor
