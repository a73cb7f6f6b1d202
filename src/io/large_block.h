// Storage for the large arrays of a conversion (the input, the corner and
// vertex tables, the hash indexes, the prototypes' arrays). An array of
// kLargeBlockThreshold bytes or more takes a block of whole pages from the
// system (huge pages where it has them, see platform::map_pages), and a
// block given back is kept for the next large array: the arrays of one
// object, prototype or file reuse the pages that earlier ones touched
// instead of faulting in fresh ones. Smaller arrays, and every array where
// the system gives no pages (Windows), use the ordinary heap.
//
// Elements that a LargeVector makes without a value (resize) are
// default-initialised: numbers are left unset for the caller to write, so
// that memory written right after is not cleared first.
#pragma once

#include <cstddef>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace facetor {

inline constexpr std::size_t kLargeBlockThreshold = std::size_t{1} << 18;

// A block of at least `bytes` bytes, its contents unset. Throws
// std::bad_alloc when no memory is left.
void* large_block_acquire(std::size_t bytes);

// Gives back a block from large_block_acquire (bytes as asked for then).
void large_block_release(void* block, std::size_t bytes) noexcept;

template <class T>
struct LargeAllocator {
  using value_type = T;

  LargeAllocator() = default;
  template <class U>
  LargeAllocator(const LargeAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    if (n > std::numeric_limits<std::size_t>::max() / sizeof(T)) throw std::bad_array_new_length();
    if (n * sizeof(T) < kLargeBlockThreshold) return std::allocator<T>().allocate(n);
    return static_cast<T*>(large_block_acquire(n * sizeof(T)));
  }
  void deallocate(T* data, std::size_t n) noexcept {
    if (n * sizeof(T) < kLargeBlockThreshold) {
      std::allocator<T>().deallocate(data, n);
    } else {
      large_block_release(data, n * sizeof(T));
    }
  }

  template <class U>
  void construct(U* at) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(at)) U;
  }
  template <class U, class... Args>
  void construct(U* at, Args&&... args) {
    ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
  }

  friend bool operator==(const LargeAllocator&, const LargeAllocator&) { return true; }
};

template <class T>
using LargeVector = std::vector<T, LargeAllocator<T>>;

// Gives the whole huge pages within `bytes` bytes from data on, a part of
// the block from large_block_acquire that starts at `block` (but for its
// first huge page), whose contents are no longer needed, to the blocks that
// later arrays take; the block, given back later, comes back without them.
// Parts given must not overlap. Where the system gives no pages, nothing
// changes.
void large_block_give_pages(const void* block, void* data, std::size_t bytes) noexcept;

// The same for the elements [first, first + count) of an array, where its
// storage is a block of pages (elsewhere nothing changes). Those elements
// may serve another array at once: from here on the array may read and
// write only its other elements, and is never copied, grown or shrunk, only
// dropped.
template <class T>
void give_pages(LargeVector<T>& array, std::size_t first, std::size_t count) noexcept {
  if (array.capacity() * sizeof(T) >= kLargeBlockThreshold) {
    large_block_give_pages(array.data(), array.data() + first, count * sizeof(T));
  }
}

}  // namespace facetor
