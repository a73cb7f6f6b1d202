#include "rwx/number_format.h"

#include <charconv>
#include <string_view>

#include "mesh/tolerance.h"

namespace facetor {

// Values within the tolerance (its bounds included) print as 0;
// the rest gets the six-decimal "%f" digits of its double value, with the
// trailing '0' characters stripped (never the first character, so the point
// stays). "inf", "-inf", "nan" and "-nan" are written whole.
char* format_number(char* dst, float value) {
  if (value >= -kTolerance && value <= kTolerance) value = 0.0f;
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
