#include "convert/polygon_order.h"

#include <algorithm>
#include <cmath>

namespace facetor {
namespace {

// Nodes per block: an insertion moves and renumbers at most twice this many
// nodes besides its own (on a face of 384,000 one-corner holes, each joined
// at the polygon's first position, blocks of 512 spent half the conversion
// on this).
constexpr std::size_t kBlockSize = 64;
constexpr std::uint32_t kNone = 0xffffffffu;
constexpr int kLabelBits = 40;
constexpr std::uint64_t kLabelEnd = std::uint64_t{1} << kLabelBits;

void renumber_nodes(PolygonOrder& order, std::uint32_t block, std::size_t from) {
  const std::vector<std::uint32_t>& nodes = order.blocks[block];
  for (std::size_t i = from; i < nodes.size(); ++i) {
    order.nodePlace[nodes[i]] = PolygonOrder::Place{block, static_cast<std::uint32_t>(i)};
  }
}

std::uint64_t next_label(const PolygonOrder& order, std::uint32_t block) {
  return order.next[block] == kNone ? kLabelEnd : order.label[order.next[block]];
}

// Links `added` blocks in after `block` with labels between its own and the
// next block's. Where they do not fit, the labels of the blocks in the
// smallest aligned range of labels round it that is sparse enough (at most
// 2^j / 1.4^j blocks in a range of 2^j labels, so that a range is spread out
// again only after many more blocks went into it) are spread out evenly.
void link_after(PolygonOrder& order, std::uint32_t block, std::span<const std::uint32_t> added) {
  const std::uint32_t following = order.next[block];
  for (std::size_t k = 0; k < added.size(); ++k) {
    const std::uint32_t previous = k == 0 ? block : added[k - 1];
    order.prev[added[k]] = previous;
    order.next[previous] = added[k];
  }
  order.next[added.back()] = following;
  if (following != kNone) order.prev[following] = added.back();
  const std::uint64_t low = order.label[block], high = next_label(order, added.back());
  if (high - low > added.size()) {
    const std::uint64_t step = (high - low) / (added.size() + 1);
    for (std::size_t k = 0; k < added.size(); ++k) order.label[added[k]] = low + step * (k + 1);
    return;
  }
  std::vector<std::uint32_t> range;
  for (int bits = 1; bits <= kLabelBits; ++bits) {
    const std::uint64_t base = low & ~((std::uint64_t{1} << bits) - 1), end = base + (std::uint64_t{1} << bits);
    std::uint32_t from = block;
    while (order.prev[from] != kNone && order.label[order.prev[from]] >= base) from = order.prev[from];
    range.clear();
    for (std::uint32_t b = from; b != following && b != kNone; b = order.next[b]) range.push_back(b);
    for (std::uint32_t b = following; b != kNone && order.label[b] < end; b = order.next[b]) range.push_back(b);
    if (bits < kLabelBits && static_cast<double>(range.size()) > std::ldexp(1.0, bits) / std::pow(1.4, bits)) continue;
    const std::uint64_t step = (end - base) / (range.size() + 1);
    for (std::size_t k = 0; k < range.size(); ++k) order.label[range[k]] = base + step * (k + 1);
    return;
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
    order.next.push_back(kNone);
    order.prev.push_back(kNone);
    order.label.push_back(0);
    renumber_nodes(order, id, 0);
    added.push_back(id);
  }
  link_after(order, block, added);
}

}  // namespace

void polygon_order_init(PolygonOrder& order, std::span<const std::uint32_t> nodes, std::size_t ids) {
  order = PolygonOrder{};
  order.nodePlace.resize(ids);
  const std::size_t blocks = (nodes.size() + kBlockSize - 1) / kBlockSize;
  const std::uint64_t step = kLabelEnd / (blocks + 1);
  for (std::size_t at = 0; at < nodes.size(); at += kBlockSize) {
    const auto id = static_cast<std::uint32_t>(order.blocks.size());
    order.blocks.emplace_back(nodes.begin() + static_cast<std::ptrdiff_t>(at),
                              nodes.begin() + static_cast<std::ptrdiff_t>(std::min(nodes.size(), at + kBlockSize)));
    order.next.push_back(id + 1 < blocks ? id + 1 : kNone);
    order.prev.push_back(id > 0 ? id - 1 : kNone);
    order.label.push_back(step * (id + 1));
    renumber_nodes(order, id, 0);
  }
}

void polygon_order_insert(PolygonOrder& order, std::uint32_t after, std::span<const std::uint32_t> nodes) {
  const std::uint32_t block = order.nodePlace[after].block;
  const std::size_t at = order.nodePlace[after].index + 1;
  std::vector<std::uint32_t>& list = order.blocks[block];
  list.insert(list.begin() + static_cast<std::ptrdiff_t>(at), nodes.begin(), nodes.end());
  renumber_nodes(order, block, at);
  if (list.size() > 2 * kBlockSize) split_block(order, block);
}

std::uint32_t polygon_order_first(const PolygonOrder& order) { return order.blocks[order.first].front(); }

std::vector<std::uint32_t> polygon_order_nodes(const PolygonOrder& order) {
  std::vector<std::uint32_t> nodes;
  nodes.reserve(order.nodePlace.size());
  for (std::uint32_t block = order.first; block != kNone; block = order.next[block]) {
    nodes.insert(nodes.end(), order.blocks[block].begin(), order.blocks[block].end());
  }
  return nodes;
}

}  // namespace facetor
