// Replaces the global allocation functions; include in one source file of a test program.
// Inert until armed; armed, it counts allocations, makes the failAt-th throw (0: never)
// and records the largest and the total bytes requested.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace facetor::test::allocation_hook {

inline std::atomic<bool> armed{false};
inline std::atomic<std::uint64_t> count{0}, failAt{0};
inline std::atomic<std::size_t> largest{0}, total{0};

inline void arm(std::uint64_t failingAllocation = 0) {
  count = largest = total = 0;
  failAt = failingAllocation;
  armed = true;
}

inline void* allocate(std::size_t size) {
  if (armed.load()) {
    if (++count == failAt.load()) throw std::bad_alloc();
    total += size;
    for (std::size_t seen = largest.load(); size > seen && !largest.compare_exchange_weak(seen, size);) {
    }
  }
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}

}  // namespace facetor::test::allocation_hook

void* operator new(std::size_t size) { return facetor::test::allocation_hook::allocate(size); }
void* operator new[](std::size_t size) { return facetor::test::allocation_hook::allocate(size); }
// The nothrow forms (the standard library's temporary buffers use them) count too, and
// give no block where the others throw.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return facetor::test::allocation_hook::allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
