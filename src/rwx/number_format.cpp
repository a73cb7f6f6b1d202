#include "rwx/number_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "io/float_bits.h"
#include "mesh/tolerance.h"

namespace facetor {

namespace {

// Values below 2^43 (about 8.8e12) take the exact integer path: their
// millionths then stay below 2^63. Floats from 2^43 up are whole numbers.
constexpr float kIntegerPathLimit = 8796093022208.0f;

// A finite float as mantissa x 2^exponent, the mantissa a whole number.
struct Binary {
  std::uint64_t mantissa;
  int exponent;
};

Binary binary_of(float magnitude) {
  const std::uint32_t bits = float_bits(magnitude);
  const int biased = static_cast<int>((bits >> 23) & 0xFF);
  const std::uint64_t fraction = bits & 0x7FFFFF;
  if (biased == 0) return {fraction, -149};
  return {fraction | 0x800000, biased - 150};
}

// The value in millionths, rounded as "%f" rounds the exact binary value:
// to nearest, ties to even. |value| must be below kIntegerPathLimit.
std::uint64_t millionths(float magnitude) {
  const Binary binary = binary_of(magnitude);
  const std::uint64_t scaled = binary.mantissa * 1000000u;  // below 2^44
  if (binary.exponent >= 0) return scaled << binary.exponent;
  const int shift = -binary.exponent;
  if (shift >= 64) return 0;  // below half a millionth
  const std::uint64_t quotient = scaled >> shift;
  const std::uint64_t remainder = scaled & ((std::uint64_t{1} << shift) - 1);
  const std::uint64_t half = std::uint64_t{1} << (shift - 1);
  if (remainder > half || (remainder == half && (quotient & 1) != 0)) return quotient + 1;
  return quotient;
}

// The decimal digits of a finite float of at least 2^43, a whole number of
// at most 128 bits, by long division of its 32-bit words by 10^9.
char* put_whole(char* dst, float magnitude) {
  const Binary binary = binary_of(magnitude);  // exponent 20 to 104
  std::uint32_t words[5] = {};                 // least significant first
  const std::uint64_t shifted = binary.mantissa << (binary.exponent % 32);
  words[binary.exponent / 32] = static_cast<std::uint32_t>(shifted);
  words[binary.exponent / 32 + 1] = static_cast<std::uint32_t>(shifted >> 32);
  char reversed[48];
  int count = 0;
  for (int top = 4; top >= 0;) {
    std::uint64_t remainder = 0;
    for (int i = top; i >= 0; --i) {
      const std::uint64_t part = remainder << 32 | words[i];
      words[i] = static_cast<std::uint32_t>(part / 1000000000u);
      remainder = part % 1000000000u;
    }
    while (top >= 0 && words[top] == 0) --top;
    for (int digit = 0; digit < 9 && (top >= 0 || remainder != 0); ++digit) {
      reversed[count++] = static_cast<char>('0' + remainder % 10);
      remainder /= 10;
    }
  }
  while (count > 0) *dst++ = reversed[--count];
  return dst;
}

// The two digits of every number below 100, "00" to "99".
constexpr auto kDigitPairs = [] {
  std::array<char, 200> pairs{};
  for (int i = 0; i < 100; ++i) {
    pairs[2 * i] = static_cast<char>('0' + i / 10);
    pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

char* put_pair(char* dst, std::uint32_t pair) {
  std::memcpy(dst, &kDigitPairs[2 * pair], 2);
  return dst + 2;
}

// A number below 100 without a leading zero.
char* put_small(char* dst, std::uint32_t value) {
  if (value >= 10) return put_pair(dst, value);
  *dst = static_cast<char>('0' + value);
  return dst + 1;
}

// Digits of the integer part, then the point and up to six decimals without
// their trailing zeros.
char* put_fixed(char* dst, bool negative, std::uint64_t scaled) {
  if (negative) *dst++ = '-';
  const std::uint64_t whole = scaled / 1000000u;  // below 2^43
  if (whole <= UINT32_MAX) {
    dst = put_decimal(dst, static_cast<std::uint32_t>(whole));
  } else {
    dst = std::to_chars(dst, dst + 24, whole).ptr;
  }
  *dst++ = '.';
  const auto fraction = static_cast<std::uint32_t>(scaled - whole * 1000000u);
  if (fraction == 0) return dst;
  const std::uint32_t high = fraction / 10000u;
  const std::uint32_t rest = fraction - high * 10000u;
  const std::uint32_t middle = rest / 100u;
  const std::uint32_t low = rest - middle * 100u;
  put_pair(dst, high);
  put_pair(dst + 2, middle);
  put_pair(dst + 4, low);
  // The last pair that is not "00" ends the digits (the fraction is not 0),
  // less its second digit when that is '0'.
  if (low != 0) return dst + (low % 10u == 0 ? 5 : 6);
  if (middle != 0) return dst + (middle % 10u == 0 ? 3 : 4);
  return dst + (high % 10u == 0 ? 1 : 2);
}

// A magnitude from 2^43 up, an infinity or a NaN: a sign, then "nan", "inf"
// or the whole number's digits and the point.
[[gnu::noinline]] char* put_large(char* dst, float value) {
  if (std::signbit(value) && !std::isnan(value)) *dst++ = '-';
  const float magnitude = std::fabs(value);
  const std::string_view special = std::isnan(magnitude) ? "nan" : std::isinf(magnitude) ? "inf" : "";
  if (!special.empty()) return std::copy(special.begin(), special.end(), dst);
  dst = put_whole(dst, magnitude);
  *dst++ = '.';
  return dst;
}

}  // namespace

// The pairs of digits have fixed places below a million, the common case;
// larger values are rare.
char* put_decimal(char* dst, std::uint32_t value) {
  if (value < 100) return put_small(dst, value);
  if (value < 10000) return put_pair(put_small(dst, value / 100u), value % 100u);
  if (value < 1000000) {
    const std::uint32_t low = value % 10000u;
    return put_pair(put_pair(put_small(dst, value / 10000u), low / 100u), low % 100u);
  }
  return std::to_chars(dst, dst + 10, value).ptr;
}

// Values within the tolerance (its bounds included) print as 0;
// the rest gets the six-decimal "%f" digits of its double value, with the
// trailing '0' characters stripped (never the first character, so the point
// stays). "inf" and "-inf" are written whole, and every NaN as "nan": the
// sign of a NaN that arithmetic makes depends on the processor and on the
// order in which the compiler takes the operands, so a written sign would
// make the file depend on the build. Values below 2^43 are formatted by exact
// integer arithmetic in millionths, the larger ones, all whole numbers, by
// their exact decimal digits and the point.
char* format_number(char* dst, float value) {
  if (value >= -kTolerance && value <= kTolerance) {
    *dst++ = '0';
    *dst++ = '.';
    return dst;
  }
  const float magnitude = std::fabs(value);
  if (magnitude < kIntegerPathLimit) return put_fixed(dst, std::signbit(value), millionths(magnitude));
  return put_large(dst, value);
}

void write_number(OutStream& out, float value, char terminator) {
  char text[kNumberTextMax + 1];
  char* end = format_number(text, value);
  *end++ = terminator;
  out_write(out, std::string_view(text, static_cast<std::size_t>(end - text)));
}

}  // namespace facetor
