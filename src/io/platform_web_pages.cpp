// Memory for large arrays in WebAssembly, whose one linear memory only
// grows: blocks are cut from the top of it (sbrk) and given back to a list
// of free ranges, merged with their neighbours, from which later blocks are
// cut. So a part of a block given back while the block is in use (the pages
// of the input that a conversion has read) serves later arrays, as the
// system's pages do on Linux, and memory that was written once serves again
// instead of fresh memory, which the browser faults in page by page. Pages
// never move here.
#ifdef __EMSCRIPTEN__
#include <climits>
#include <cstdint>
#include <iterator>
#include <mutex>
#include <new>
#include <unistd.h>
#include <vector>

#include "io/platform.h"

namespace facetor::platform {
namespace {

constexpr std::size_t kUnit = std::size_t{64} << 10;  // the memory's page

struct Range {
  std::uint8_t* data;
  std::size_t size;
};

struct FreeRanges {
  std::mutex lock;
  std::vector<Range> ranges;  // by address, none adjacent to another
};

FreeRanges& free_ranges() {
  static FreeRanges ranges;
  return ranges;
}

// Moves the top of the memory by size bytes; nullptr when it cannot grow.
std::uint8_t* grow_top(std::size_t size) {
  if (size > static_cast<std::size_t>(INT_MAX)) return nullptr;
  void* old = ::sbrk(static_cast<std::intptr_t>(size));
  return old == reinterpret_cast<void*>(-1) ? nullptr : static_cast<std::uint8_t*>(old);
}

// A block from the top, after the range that ends there (taken out of the
// list) where there is one, so that it grows into fresh memory only as far
// as it must.
std::uint8_t* from_top(std::vector<Range>& ranges, std::size_t size) {
  auto* top = static_cast<std::uint8_t*>(::sbrk(0));
  const std::size_t misalign = reinterpret_cast<std::uintptr_t>(top) % kUnit;
  if (misalign != 0) {
    if (grow_top(kUnit - misalign) == nullptr) return nullptr;
    top += kUnit - misalign;
  }
  if (!ranges.empty() && ranges.back().data + ranges.back().size == top) {
    const Range last = ranges.back();
    if (grow_top(size - last.size) == nullptr) return nullptr;
    ranges.pop_back();
    return last.data;
  }
  return grow_top(size);
}

}  // namespace

bool pages_available() { return true; }

std::size_t page_unit() { return kUnit; }

void* map_pages(std::size_t size) {
  FreeRanges& free = free_ranges();
  std::lock_guard<std::mutex> held(free.lock);
  std::vector<Range>& ranges = free.ranges;
  auto best = ranges.end();
  for (auto range = ranges.begin(); range != ranges.end(); ++range) {
    if (range->size >= size && (best == ranges.end() || range->size < best->size)) best = range;
  }
  if (best == ranges.end()) return from_top(ranges, size);
  std::uint8_t* data = best->data;
  if (best->size == size) {
    ranges.erase(best);
  } else {
    best->data += size;
    best->size -= size;
  }
  return data;
}

void unmap_pages(void* data, std::size_t size) {
  FreeRanges& free = free_ranges();
  std::lock_guard<std::mutex> held(free.lock);
  std::vector<Range>& ranges = free.ranges;
  Range given{static_cast<std::uint8_t*>(data), size};
  auto next = ranges.begin();
  while (next != ranges.end() && next->data < given.data) ++next;
  if (next != ranges.end() && given.data + given.size == next->data) {
    given.size += next->size;
    next = ranges.erase(next);
  }
  if (next != ranges.begin() && std::prev(next)->data + std::prev(next)->size == given.data) {
    std::prev(next)->size += given.size;
    return;
  }
  try {
    ranges.insert(next, given);
  } catch (const std::bad_alloc&) {
    // The range stays unused: the memory only grows.
  }
}

bool move_pages(void*, std::size_t, void*) { return false; }

bool can_move_pages() { return false; }


}  // namespace facetor::platform
#endif
