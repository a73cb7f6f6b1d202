// The polygon of a face while holes are cut into it: nodes (one per polygon
// position, stable while positions shift) kept in blocks, so that a run of
// nodes goes in after any node in time proportional to the block size, and
// any two nodes can be compared by position.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace facetor {

struct PolygonOrder {
  std::vector<std::vector<std::uint32_t>> blocks;  // nodes by position, block by block
  std::vector<std::uint32_t> blockOrder;           // block ids by position
  std::vector<std::uint32_t> blockRank;            // block id -> place in blockOrder
  struct Place {
    std::uint32_t block;  // the node's block
    std::uint32_t index;  // its place in the block
  };
  std::vector<Place> nodePlace;                    // by node, both read together for a key
};

// Nodes 0 .. count-1 in that order, with room for `total` nodes in all.
void polygon_order_init(PolygonOrder& order, std::uint32_t count, std::size_t total);

// Puts the nodes (new ids, each one more than the last node so far) after
// node `after`.
void polygon_order_insert(PolygonOrder& order, std::uint32_t after, std::span<const std::uint32_t> nodes);

// A key that orders nodes by their position.
inline std::uint64_t polygon_order_key(const PolygonOrder& order, std::uint32_t node) {
  const PolygonOrder::Place place = order.nodePlace[node];
  return (static_cast<std::uint64_t>(order.blockRank[place.block]) << 32) | place.index;
}

std::uint32_t polygon_order_first(const PolygonOrder& order);

// The nodes by position.
std::vector<std::uint32_t> polygon_order_nodes(const PolygonOrder& order);

}  // namespace facetor
