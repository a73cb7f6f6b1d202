#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "rwx/number_format.h"

namespace facetor {
namespace {

std::string formatted(float value) {
  char buffer[kNumberTextMax];
  return std::string(buffer, format_number(buffer, value));
}

// What the format means: "%f" of the double value, trailing '0's stripped
// (never the first character), values within 1e-6 as 0.
std::string printf_reference(float value) {
  if (value >= -1e-6f && value <= 1e-6f) value = 0;
  char text[512];
  std::snprintf(text, sizeof text, "%f", static_cast<double>(value));
  std::size_t length = std::strlen(text);
  while (length > 1 && text[length - 1] == '0') --length;
  return std::string(text, length);
}

// Random bit patterns at every magnitude, on both sides of the switch from
// the integer path to to_chars, agree with "%f" digit for digit; so do
// rounding ties (odd multiples of 2^-7 round to even), the edges, and
// infinities and NaN of either sign.
TEST(NumberFormatTest, AgreesWithPrintf) {
  std::mt19937 random(17);
  for (int i = 0; i < 400000; ++i) {
    std::uint32_t bits = random();
    if (i % 2 == 0) bits = (bits & 0x807FFFFFu) | ((100u + random() % 70u) << 23);  // 2^-27 .. 2^43
    float value;
    std::memcpy(&value, &bits, sizeof value);
    if (std::isnan(value)) continue;
    ASSERT_EQ(formatted(value), printf_reference(value)) << "bits " << bits;
  }
  for (float value : {0.0078125f, 0.0234375f, 1.0078125f, 100.0078125f, -0.0546875f, 8796093022208.0f,
                      8796092497920.0f, -8796093022208.0f, 5e-7f, 5.0000006e-7f, 1.0000001e-6f, 0.0000015f,
                      -0.0000011f, 128.0f / 255.0f, 1e12f, -3.4028235e38f, -0.0f, 1.0f, -10.0f, 0.0001f,
                      INFINITY, -INFINITY, NAN, -NAN}) {
    EXPECT_EQ(formatted(value), printf_reference(value)) << value;
  }
  OutStream out = out_memory(StreamMode::Binary);
  write_number(out, 0.0078125f, '\n');
  write_number(out, -0.0f, ' ');
  EXPECT_EQ(out_contents(out), "0.007812\n0. ");
}

}  // namespace
}  // namespace facetor
