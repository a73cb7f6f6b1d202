// The bit pattern of a single-precision float and the float of a bit
// pattern, copied byte for byte: how the reader assembles little-endian
// floats and how hashes and the number format see a float's sign, exponent
// and mantissa.
#pragma once

#include <cstdint>
#include <cstring>

namespace facetor {

static_assert(sizeof(float) == sizeof(std::uint32_t), "floats are IEEE 754 single precision");

inline std::uint32_t float_bits(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

inline float float_from_bits(std::uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace facetor
