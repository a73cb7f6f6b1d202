// The loader's lookup of a chunk ID in the scene tree. The answer is the
// record that a depth-first search from the root finds first: a node before
// its polygon objects, the objects (in list order) before the node's
// children, and the children before the node's next sibling. A hash index keeps,
// for every chunk ID, the record that comes first in that order, so each
// lookup costs constant time however large the tree grows.
#pragma once

#include <cstdint>
#include <vector>

#include "cob/scene.h"
#include "io/hash_table.h"

namespace facetor {

enum class RecordKind : std::int32_t { none = 0, node = 1, object = 2 };

struct FoundRecord {
  RecordKind kind = RecordKind::none;
  SceneNode* node = nullptr;        // the node itself, or the owner of the object
  PolygonObject* object = nullptr;  // set for RecordKind::object
  std::int32_t nodeOrdinal = 0;     // the node's ordinal in the index
};

// A node's place in the tree, kept so that two records can be put in search
// order in logarithmic time (parent links plus skew-binary jump links).
struct IndexedNode {
  SceneNode* node = nullptr;
  std::int32_t parent = 0;
  std::int32_t jump = 0;
  std::int32_t depth = 0;
  std::int32_t childIndex = 0;  // position among the parent's children
};

struct IndexedRecord {
  std::int32_t node = 0;     // ordinal in ChunkIndex::nodes
  std::int32_t object = -1;  // index in the node's objects, -1 for the node itself
};

struct ChunkIndex {
  std::vector<IndexedNode> nodes;  // ordinal 0 is the root
  struct First {
    std::int32_t id = 0;
    IndexedRecord record;
  };
  std::vector<First> firsts;  // one per distinct chunk ID, in order of first sight
  HashTable byId;             // chunk ID -> its place in firsts
};

// Starts the index with the root (which carries chunk ID 0).
void index_start(ChunkIndex& index, SceneNode& root);

// Records the last child of the node found at ordinal parent, just appended.
// Returns the new node's ordinal.
std::int32_t index_add_node(ChunkIndex& index, std::int32_t parent);

// Records the last polygon object of the node at ordinal owner, just appended.
void index_add_object(ChunkIndex& index, std::int32_t owner);

// The record that carries id, first in search order, or kind none.
FoundRecord find_by_chunk_id(const ChunkIndex& index, std::int32_t id);

}  // namespace facetor
