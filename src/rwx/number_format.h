// The text of one RWX number, formatted into a caller's buffer, so that the
// writers can assemble whole lines without temporary strings.
#pragma once

#include <cstddef>
#include <cstdint>

#include "io/out_stream.h"

namespace facetor {

// Room for the longest number text: a float widened to double has at most 39
// integral digits ("%f" of -3.4e38), plus sign, point and six decimals.
constexpr std::size_t kNumberTextMax = 64;

// Writes the number text of value (no terminator) at dst and returns its end.
// dst must have room for kNumberTextMax characters.
char* format_number(char* dst, float value);

// Writes the decimal digits of value (no sign, no point) at dst and returns
// their end. dst must have room for 10 characters.
char* put_decimal(char* dst, std::uint32_t value);

// Writes one number: values within the tolerance print as 0, "%f" digits
// with trailing zeros stripped (the point stays), then the terminator.
void write_number(OutStream& out, float value, char terminator);

}  // namespace facetor
