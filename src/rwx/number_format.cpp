#include "rwx/number_format.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "mesh/tolerance.h"

namespace facetor {

namespace {

// Values below 2^43 (about 8.8e12) take the exact integer path: their
// millionths then stay below 2^63.
constexpr float kIntegerPathLimit = 8796093022208.0f;

// The value in millionths, rounded as "%f" rounds the exact binary value:
// to nearest, ties to even. |value| must be below kIntegerPathLimit.
std::uint64_t millionths(float magnitude) {
  std::uint32_t bits;
  std::memcpy(&bits, &magnitude, sizeof bits);
  const int biased = static_cast<int>((bits >> 23) & 0xFF);
  std::uint64_t mantissa = bits & 0x7FFFFF;
  int exponent = biased - 150;  // value = mantissa x 2^exponent
  if (biased == 0) {
    exponent = -149;
  } else {
    mantissa |= 0x800000;
  }
  const std::uint64_t scaled = mantissa * 1000000u;  // below 2^44
  if (exponent >= 0) return scaled << exponent;
  const int shift = -exponent;
  if (shift >= 64) return 0;  // below half a millionth
  const std::uint64_t quotient = scaled >> shift;
  const std::uint64_t remainder = scaled & ((std::uint64_t{1} << shift) - 1);
  const std::uint64_t half = std::uint64_t{1} << (shift - 1);
  if (remainder > half || (remainder == half && (quotient & 1) != 0)) return quotient + 1;
  return quotient;
}

// Digits of the integer part, then the point and up to six decimals without
// their trailing zeros.
char* put_fixed(char* dst, bool negative, std::uint64_t scaled) {
  if (negative) *dst++ = '-';
  dst = std::to_chars(dst, dst + 24, scaled / 1000000u).ptr;
  *dst++ = '.';
  std::uint32_t fraction = static_cast<std::uint32_t>(scaled % 1000000u);
  if (fraction == 0) return dst;
  int digits = 6;
  while (fraction % 10 == 0) {
    fraction /= 10;
    --digits;
  }
  for (int i = digits - 1; i >= 0; --i) {
    dst[i] = static_cast<char>('0' + fraction % 10);
    fraction /= 10;
  }
  return dst + digits;
}

}  // namespace

// Values within the tolerance (its bounds included) print as 0;
// the rest gets the six-decimal "%f" digits of its double value, with the
// trailing '0' characters stripped (never the first character, so the point
// stays). "inf", "-inf", "nan" and "-nan" are written whole. Values below
// 2^43 are formatted by exact integer arithmetic, the rest by to_chars.
char* format_number(char* dst, float value) {
  if (value >= -kTolerance && value <= kTolerance) value = 0.0f;
  const float magnitude = std::fabs(value);
  if (magnitude < kIntegerPathLimit) return put_fixed(dst, std::signbit(value), millionths(magnitude));
  const auto result =
      std::to_chars(dst, dst + kNumberTextMax, static_cast<double>(value), std::chars_format::fixed, 6);
  if (result.ec != std::errc{}) return dst;  // cannot happen: every float fits kNumberTextMax
  char* end = result.ptr;
  while (end - dst > 1 && end[-1] == '0') --end;
  return end;
}

void write_number(OutStream& out, float value, char terminator) {
  char text[kNumberTextMax + 1];
  char* end = format_number(text, value);
  *end++ = terminator;
  out_write(out, std::string_view(text, static_cast<std::size_t>(end - text)));
}

}  // namespace facetor
