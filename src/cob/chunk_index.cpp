#include "cob/chunk_index.h"

namespace facetor {
namespace {

// Skew-binary jump links: the jump of a node leads to an ancestor such that
// any ancestor can be reached in O(log depth) steps.
std::int32_t jump_for_child(const ChunkIndex& index, std::int32_t parent) {
  const IndexedNode& p = index.nodes[parent];
  const IndexedNode& j = index.nodes[p.jump];
  const IndexedNode& jj = index.nodes[j.jump];
  return (p.depth - j.depth == j.depth - jj.depth) ? j.jump : parent;
}

std::int32_t ancestor_at_depth(const ChunkIndex& index, std::int32_t n, std::int32_t depth) {
  while (index.nodes[n].depth > depth) {
    const std::int32_t jump = index.nodes[n].jump;
    n = index.nodes[jump].depth >= depth ? jump : index.nodes[n].parent;
  }
  return n;
}

// True when record a comes before record b in search order (a != b).
bool comes_before(const ChunkIndex& index, IndexedRecord a, IndexedRecord b) {
  if (a.node == b.node) return a.object < b.object;
  std::int32_t x = a.node;
  std::int32_t y = b.node;
  const std::int32_t depthA = index.nodes[x].depth;
  const std::int32_t depthB = index.nodes[y].depth;
  if (depthA > depthB) {
    x = ancestor_at_depth(index, x, depthB);
    if (x == y) return false;  // b is an ancestor node or one of its objects
  } else if (depthB > depthA) {
    y = ancestor_at_depth(index, y, depthA);
    if (x == y) return true;
  }
  // Same depth, different nodes: climb to the two children of the nearest
  // common ancestor and compare their places among its children.
  while (index.nodes[x].parent != index.nodes[y].parent) {
    const std::int32_t jumpX = index.nodes[x].jump;
    const std::int32_t jumpY = index.nodes[y].jump;
    if (jumpX != jumpY) {
      x = jumpX;
      y = jumpY;
    } else {
      x = index.nodes[x].parent;
      y = index.nodes[y].parent;
    }
  }
  return index.nodes[x].childIndex < index.nodes[y].childIndex;
}

std::uint64_t id_hash(const ChunkIndex& index, std::int32_t id) {
  return hash_of(index.byId, {static_cast<std::uint32_t>(id)});
}

std::int32_t find_first(const ChunkIndex& index, std::int32_t id, std::uint64_t hash) {
  return hash_find(index.byId, hash, [&](std::int32_t at) { return index.firsts[static_cast<std::size_t>(at)].id == id; });
}

void index_record(ChunkIndex& index, std::int32_t id, IndexedRecord record) {
  const std::uint64_t hash = id_hash(index, id);
  const std::int32_t at = find_first(index, id, hash);
  if (at < 0) {
    hash_insert(index.byId, hash, static_cast<std::int32_t>(index.firsts.size()));
    index.firsts.push_back(ChunkIndex::First{id, record});
    return;
  }
  IndexedRecord& first = index.firsts[static_cast<std::size_t>(at)].record;
  if (comes_before(index, record, first)) first = record;
}

}  // namespace

void index_start(ChunkIndex& index, SceneNode& root) {
  index.nodes.clear();
  index.firsts.clear();
  index.byId = HashTable{};
  index.nodes.push_back(IndexedNode{&root, 0, 0, 0, 0});
  index_record(index, root.chunkId, IndexedRecord{0, -1});
}

std::int32_t index_add_node(ChunkIndex& index, std::int32_t parent) {
  SceneNode& owner = *index.nodes[parent].node;
  IndexedNode added;
  added.node = owner.children.back().get();
  added.parent = parent;
  added.jump = jump_for_child(index, parent);
  added.depth = index.nodes[parent].depth + 1;
  added.childIndex = static_cast<std::int32_t>(owner.children.size() - 1);
  const auto ordinal = static_cast<std::int32_t>(index.nodes.size());
  index.nodes.push_back(added);
  index_record(index, added.node->chunkId, IndexedRecord{ordinal, -1});
  return ordinal;
}

void index_add_object(ChunkIndex& index, std::int32_t owner) {
  const SceneNode& node = *index.nodes[owner].node;
  const auto last = static_cast<std::int32_t>(node.objects.size() - 1);
  index_record(index, node.objects.back()->chunkId, IndexedRecord{owner, last});
}

FoundRecord find_by_chunk_id(const ChunkIndex& index, std::int32_t id) {
  const std::int32_t at = find_first(index, id, id_hash(index, id));
  if (at < 0) return {};
  const IndexedRecord record = index.firsts[static_cast<std::size_t>(at)].record;
  SceneNode* node = index.nodes[record.node].node;
  if (record.object < 0) return FoundRecord{RecordKind::node, node, nullptr, record.node};
  return FoundRecord{RecordKind::object, node, node->objects[record.object].get(), record.node};
}

}  // namespace facetor
