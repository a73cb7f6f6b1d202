// The 64-bit hash mixing shared by every hash index of the converter (corner
// search, hole grid, vertex merge), so that all of them spread their keys alike.
#pragma once

#include <cstdint>

namespace facetor {

inline std::uint64_t mix_hash(std::uint64_t value) {
  value ^= value >> 30;
  value *= 0xbf58476d1ce4e5b9ULL;
  value ^= value >> 27;
  value *= 0x94d049bb133111ebULL;
  value ^= value >> 31;
  return value;
}

inline std::uint64_t combine_hash(std::uint64_t seed, std::uint64_t value) {
  return mix_hash(seed ^ (value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2)));
}

}  // namespace facetor
