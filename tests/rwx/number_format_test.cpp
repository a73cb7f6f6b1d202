#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "rwx/number_format.h"

namespace facetor {
namespace {

std::string number_text(float value, char terminator = ' ') {
  OutStream out = out_memory(StreamMode::Binary);
  write_number(out, value, terminator);
  return out_contents(out);
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

TEST(NumberFormatTest, Table) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct {
    float value;
    const char* text;
  } cases[] = {
      {1.0f, "1."},
      {0.0f, "0."},
      {-0.0f, "0."},
      {0.0000004f, "0."},
      {-0.000001f, "0."},
      {0.000001f, "0."},
      {0.5f, "0.5"},
      {-2.25f, "-2.25"},
      {0.0000015f, "0.000002"},
      {-0.0000011f, "-0.000001"},
      {128.0f / 255.0f, "0.501961"},
      {100.0f, "100."},
      {-10.0f, "-10."},
      {0.0001f, "0.0001"},
      {1e12f, "999999995904."},
      {-3.4028235e38f, "-340282346638528859811704183484516925440."},
      {inf, "inf"},
      {-inf, "-inf"},
      {nan, "nan"},
      {-nan, "-nan"},
  };
  for (const auto& c : cases) EXPECT_EQ(number_text(c.value), std::string(c.text) + " ") << c.text;
}

TEST(NumberFormatTest, AgreesWithPrintfOnRoundingTies) {
  // Odd multiples of 2^-7 end in a 5 at the seventh decimal: exact halfway
  // cases, rounded to even by "%f" (0.0078125 gives 0.007812).
  const float ties[] = {0.0078125f, 0.0234375f, 0.0390625f, 1.0078125f, 100.0078125f, -0.0546875f};
  for (float value : ties) {
    char buffer[kNumberTextMax];
    EXPECT_EQ(std::string(buffer, format_number(buffer, value)), printf_reference(value)) << value;
  }
  EXPECT_EQ(number_text(0.0078125f), "0.007812 ");
}

// Random bit patterns at every magnitude, on both sides of the switch from
// the integer path to to_chars, agree with "%f" digit for digit.
TEST(NumberFormatTest, AgreesWithPrintfAcrossMagnitudes) {
  std::mt19937 random(17);
  int checked = 0;
  for (int i = 0; i < 400000; ++i) {
    std::uint32_t bits = random();
    if (i % 2 == 0) bits = (bits & 0x807FFFFFu) | ((100u + random() % 70u) << 23);  // 2^-27 .. 2^43
    float value;
    std::memcpy(&value, &bits, sizeof value);
    if (std::isnan(value)) continue;
    char buffer[kNumberTextMax];
    const std::string text(buffer, format_number(buffer, value));
    ASSERT_EQ(text, printf_reference(value)) << "bits " << bits;
    ++checked;
  }
  for (float value : {8796093022208.0f, 8796092497920.0f, -8796093022208.0f, 5e-7f, 5.0000006e-7f, 1.0000001e-6f}) {
    char buffer[kNumberTextMax];
    EXPECT_EQ(std::string(buffer, format_number(buffer, value)), printf_reference(value)) << value;
  }
  EXPECT_GT(checked, 390000);
}

}  // namespace
}  // namespace facetor
