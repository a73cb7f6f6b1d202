// The distinct surface states of one mesh build. Each state is kept once,
// found by its value (every field, names with their case) under the keyed
// hash of io/hash_table.h, so that however many runs of faces use a material
// setting, the build holds its state once and a file cannot choose states
// that pile up in one probe window. Each state also belongs to a class: the
// states that `surface_equal` takes as equal (names without regard to case,
// 0 and -0 alike, a state with a NaN equal to none), so that two states
// compare by their class numbers.
#pragma once

#include <cstdint>
#include <vector>

#include "io/hash_table.h"
#include "mesh/mesh_store.h"

namespace facetor {

struct SurfacePool {
  std::vector<SurfaceRef> states;      // by id
  std::vector<std::uint32_t> classes;  // the class of each state
  HashTable byValue;                   // value -> the state's id
  HashTable byClass;                   // caseless value -> the id of the class's first state
  std::uint32_t classCount = 0;
};

// The id of the pool's state of this value, added when there is none yet.
std::uint32_t surface_pool_add(SurfacePool& pool, const SurfaceState& state);

// Whether surface_equal holds for the states a and b, or they are one state.
inline bool surface_pool_equal(const SurfacePool& pool, std::uint32_t a, std::uint32_t b) {
  return pool.classes[a] == pool.classes[b];
}

}  // namespace facetor
