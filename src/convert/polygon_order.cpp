#include "convert/polygon_order.h"

#include <algorithm>

namespace facetor {
namespace {

// Nodes per block: an insertion moves at most 2 x 512 entries (a few KB),
// while a face of millions of corners still has only thousands of blocks.
constexpr std::size_t kBlockSize = 512;

void renumber_blocks(PolygonOrder& order, std::size_t from) {
  for (std::size_t r = from; r < order.blockOrder.size(); ++r) {
    order.blockRank[order.blockOrder[r]] = static_cast<std::uint32_t>(r);
  }
}

void renumber_nodes(PolygonOrder& order, std::uint32_t block, std::size_t from) {
  const std::vector<std::uint32_t>& nodes = order.blocks[block];
  for (std::size_t i = from; i < nodes.size(); ++i) {
    order.nodePlace[nodes[i]] = PolygonOrder::Place{block, static_cast<std::uint32_t>(i)};
  }
}

// Cuts an overfull block into blocks of kBlockSize nodes.
void split_block(PolygonOrder& order, std::uint32_t block) {
  std::vector<std::uint32_t> tail(order.blocks[block].begin() + static_cast<std::ptrdiff_t>(kBlockSize),
                                  order.blocks[block].end());
  order.blocks[block].resize(kBlockSize);
  std::vector<std::uint32_t> added;
  for (std::size_t at = 0; at < tail.size(); at += kBlockSize) {
    const auto id = static_cast<std::uint32_t>(order.blocks.size());
    const std::size_t end = std::min(tail.size(), at + kBlockSize);
    order.blocks.emplace_back(tail.begin() + static_cast<std::ptrdiff_t>(at),
                              tail.begin() + static_cast<std::ptrdiff_t>(end));
    order.blockRank.push_back(0);
    renumber_nodes(order, id, 0);
    added.push_back(id);
  }
  const std::size_t rank = order.blockRank[block];
  order.blockOrder.insert(order.blockOrder.begin() + static_cast<std::ptrdiff_t>(rank + 1), added.begin(),
                          added.end());
  renumber_blocks(order, rank + 1);
}

}  // namespace

void polygon_order_init(PolygonOrder& order, std::uint32_t count, std::size_t total) {
  order = PolygonOrder{};
  order.nodePlace.reserve(total);
  order.nodePlace.resize(count);
  for (std::uint32_t at = 0; at < count; at += kBlockSize) {
    const auto id = static_cast<std::uint32_t>(order.blocks.size());
    std::vector<std::uint32_t> nodes;
    for (std::uint32_t n = at; n < count && n < at + kBlockSize; ++n) nodes.push_back(n);
    order.blocks.push_back(std::move(nodes));
    order.blockOrder.push_back(id);
    order.blockRank.push_back(id);
    renumber_nodes(order, id, 0);
  }
}

void polygon_order_insert(PolygonOrder& order, std::uint32_t after, std::span<const std::uint32_t> nodes) {
  order.nodePlace.resize(order.nodePlace.size() + nodes.size());
  const std::uint32_t block = order.nodePlace[after].block;
  const std::size_t at = order.nodePlace[after].index + 1;
  std::vector<std::uint32_t>& list = order.blocks[block];
  list.insert(list.begin() + static_cast<std::ptrdiff_t>(at), nodes.begin(), nodes.end());
  renumber_nodes(order, block, at);
  if (list.size() > 2 * kBlockSize) split_block(order, block);
}

std::uint32_t polygon_order_first(const PolygonOrder& order) { return order.blocks[order.blockOrder.front()].front(); }

std::vector<std::uint32_t> polygon_order_nodes(const PolygonOrder& order) {
  std::vector<std::uint32_t> nodes;
  nodes.reserve(order.nodePlace.size());
  for (std::uint32_t block : order.blockOrder) nodes.insert(nodes.end(), order.blocks[block].begin(), order.blocks[block].end());
  return nodes;
}

}  // namespace facetor
