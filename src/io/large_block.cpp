#include "io/large_block.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <mutex>

#include "io/platform.h"

namespace facetor {
namespace {

struct FreeBlock {
  std::uint8_t* data;
  std::size_t size;  // whole pages
};

// A part of a block in use that went to the cache ahead of its block (see
// large_block_give_pages). A part never holds its block's first huge page,
// so no other block starts where its block does while that one is in use.
struct GivenPart {
  const std::uint8_t* block;  // the start of the block it belongs to
  FreeBlock part;
};

// The blocks given back and not yet reused. A block larger than every cached
// one is assembled from cached blocks (largest first) as far as their whole
// huge pages reach: those pages move into it (see move_into), and only the
// rest of it takes fresh pages. So the pages held (in use and cached) never
// pass the most that the arrays in use have needed at once, and pages that
// were written once serve again instead of fresh ones, which the system
// would first clear. A block whose parts went ahead comes back without them.
struct BlockCache {
  std::mutex lock;
  std::vector<FreeBlock> blocks;
  std::vector<GivenPart> given;  // parts given ahead of their blocks, which are still in use
};

BlockCache& cache() {
  static BlockCache blocks;
  return blocks;
}

// The size of a block: bytes rounded up to whole pages (an allocation that
// passes the largest size fails before it gets here).
std::size_t whole_pages(std::size_t bytes) {
  const std::size_t unit = platform::page_unit();
  return (bytes + unit - 1) / unit * unit;
}

// Takes the smallest cached block that holds size bytes, its pages beyond
// them returned; or, when none does, takes cached blocks (largest first) of
// at least size bytes together, or all of them, out of the cache into
// `returned`.
std::uint8_t* reuse(std::size_t size, std::vector<FreeBlock>& returned) {
  BlockCache& blocks = cache();
  std::lock_guard<std::mutex> held(blocks.lock);
  returned.reserve(blocks.blocks.size() + 1);
  auto best = blocks.blocks.end();
  for (auto block = blocks.blocks.begin(); block != blocks.blocks.end(); ++block) {
    if (block->size >= size && (best == blocks.blocks.end() || block->size < best->size)) best = block;
  }
  if (best != blocks.blocks.end()) {
    const FreeBlock found = *best;
    blocks.blocks.erase(best);
    if (found.size > size) returned.push_back(FreeBlock{found.data + size, found.size - size});
    return found.data;
  }
  std::sort(blocks.blocks.begin(), blocks.blocks.end(),
            [](const FreeBlock& a, const FreeBlock& b) { return a.size < b.size; });
  for (std::size_t freed = 0; freed < size && !blocks.blocks.empty(); blocks.blocks.pop_back()) {
    freed += blocks.blocks.back().size;
    returned.push_back(blocks.blocks.back());
  }
  return nullptr;
}

void unmap_all(const std::vector<FreeBlock>& blocks) {
  for (const FreeBlock& block : blocks) platform::unmap_pages(block.data, block.size);
}

bool on_huge_page(const std::uint8_t* at) { return reinterpret_cast<std::uintptr_t>(at) % platform::kHugePage == 0; }

// Fills the fresh block of size bytes at data, from its start, with the
// whole huge pages of the taken blocks that start on one: pages moved
// anywhere else would be split into ordinary ones, and every access to them
// would cost more than clearing fresh ones once. The rest of the block takes
// fresh pages; pages that do not move go back to the system.
void move_into(std::uint8_t* data, std::size_t size, const std::vector<FreeBlock>& taken) {
  std::size_t filled = 0;
  for (const FreeBlock& block : taken) {
    const std::size_t room = std::min(block.size, size - filled);
    const std::size_t moved = on_huge_page(block.data) ? room / platform::kHugePage * platform::kHugePage : 0;
    if (moved == 0 || !platform::move_pages(block.data, moved, data + filled)) {
      platform::unmap_pages(block.data, block.size);
      continue;
    }
    filled += moved;
    if (moved < block.size) platform::unmap_pages(block.data + moved, block.size - moved);
  }
}

// A fresh block of size bytes that takes over the pages of the taken blocks.
// Where pages cannot move, the taken blocks go back first, so that the
// system can make the block of their memory.
std::uint8_t* assemble(std::size_t size, const std::vector<FreeBlock>& taken) {
  auto* data = platform::can_move_pages() ? static_cast<std::uint8_t*>(platform::map_pages(size)) : nullptr;
  if (data == nullptr) {  // no room for the block beside the taken ones: they go first
    unmap_all(taken);
    data = static_cast<std::uint8_t*>(platform::map_pages(size));
    if (data == nullptr) throw std::bad_alloc();
    return data;
  }
  move_into(data, size, taken);
  return data;
}

}  // namespace

void* large_block_acquire(std::size_t bytes) {
  if (!platform::pages_available()) return ::operator new(bytes);
  if (bytes > std::numeric_limits<std::size_t>::max() / 2) throw std::bad_alloc();
  const std::size_t size = whole_pages(bytes);
  std::vector<FreeBlock> returned;
  std::uint8_t* data = reuse(size, returned);
  if (data != nullptr) {
    unmap_all(returned);
    return data;
  }
  return assemble(size, returned);
}

void large_block_give_pages(const void* block, void* data, std::size_t bytes) noexcept {
  if (!platform::pages_available()) return;
  const auto start = reinterpret_cast<std::uintptr_t>(data);
  const std::size_t huge = platform::kHugePage;
  // Whole huge pages only (see move_into), and never the block's first one.
  const std::uintptr_t first =
      std::max((start + huge - 1) / huge * huge, reinterpret_cast<std::uintptr_t>(block) + huge);
  const std::uintptr_t end = (start + bytes) / huge * huge;
  if (first >= end) return;
  const FreeBlock part{reinterpret_cast<std::uint8_t*>(first), end - first};
  BlockCache& blocks = cache();
  std::lock_guard<std::mutex> held(blocks.lock);
  // Where either list cannot grow, the part stays with its block.
  try {
    blocks.given.push_back(GivenPart{static_cast<const std::uint8_t*>(block), part});
  } catch (const std::bad_alloc&) {
    return;
  }
  try {
    blocks.blocks.push_back(part);
  } catch (const std::bad_alloc&) {
    blocks.given.pop_back();
  }
}

void large_block_release(void* block, std::size_t bytes) noexcept {
  if (!platform::pages_available()) {
    ::operator delete(block);
    return;
  }
  const FreeBlock freed{static_cast<std::uint8_t*>(block), whole_pages(bytes)};
  BlockCache& blocks = cache();
  std::lock_guard<std::mutex> held(blocks.lock);
  // The parts of this block given ahead go to the end of `given`, in address
  // order; the pieces between them come back.
  const auto parts = std::partition(blocks.given.begin(), blocks.given.end(),
                                    [&](const GivenPart& given) { return given.block != freed.data; });
  std::sort(parts, blocks.given.end(),
            [](const GivenPart& a, const GivenPart& b) { return a.part.data < b.part.data; });
  std::uint8_t* from = freed.data;
  const auto keep = [&](std::uint8_t* to) {
    if (to <= from) return;
    const FreeBlock piece{from, static_cast<std::size_t>(to - from)};
    try {
      blocks.blocks.push_back(piece);
    } catch (const std::bad_alloc&) {
      platform::unmap_pages(piece.data, piece.size);
    }
  };
  for (auto given = parts; given != blocks.given.end(); ++given) {
    keep(given->part.data);
    from = given->part.data + given->part.size;
  }
  keep(freed.data + freed.size);
  blocks.given.erase(parts, blocks.given.end());
}

}  // namespace facetor
