// The polygon of a face while holes are cut into it: nodes (one per polygon
// position, stable while positions shift) kept in short blocks, so that a
// run of nodes goes in after any node in time proportional to the block
// size and the run, and any two nodes can be compared by position.
//
// Invariant: the blocks form a list in polygon order whose labels rise
// along it; a node's key is its block's label followed by its place in the
// block. Labels leave gaps, so that a block put into the list takes a label
// between its neighbours'; where there is no room, the labels of a few
// blocks round it are spread out again (so that a key read before an
// insertion may differ after it; their order never does).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace facetor {

struct PolygonOrder {
  std::vector<std::vector<std::uint32_t>> blocks;  // nodes by position, block by block
  std::vector<std::uint32_t> next, prev;           // block -> the blocks after and before it in the list
  std::vector<std::uint64_t> label;                // block -> its label, rising along the list
  std::uint32_t first = 0;                         // the first block
  struct Place {
    std::uint32_t block;  // the node's block
    std::uint32_t index;  // its place in the block
  };
  std::vector<Place> nodePlace;  // by node, both read together for a key
};

// The nodes in that order; node ids are below `ids`.
void polygon_order_init(PolygonOrder& order, std::span<const std::uint32_t> nodes, std::size_t ids);

// Puts the nodes (ids not in the polygon yet) after node `after`.
void polygon_order_insert(PolygonOrder& order, std::uint32_t after, std::span<const std::uint32_t> nodes);

// A key that orders nodes by their position (the place in a block takes the
// low 24 bits; a block holds fewer nodes).
inline std::uint64_t polygon_order_key(const PolygonOrder& order, std::uint32_t node) {
  const PolygonOrder::Place place = order.nodePlace[node];
  return (order.label[place.block] << 24) | place.index;
}

std::uint32_t polygon_order_first(const PolygonOrder& order);

// The nodes by position.
std::vector<std::uint32_t> polygon_order_nodes(const PolygonOrder& order);

}  // namespace facetor
