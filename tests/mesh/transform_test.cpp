#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "mesh/mesh_store.h"

namespace facetor {
namespace {

TEST(TransformTest, ComposeAppliesTargetThenSecond) {
  // target scales by 2, second translates by (1, 2, 3): a point goes through
  // the scale first, so the translation stays unscaled.
  Transform target = Transform{};
  target.m[0] = target.m[4] = target.m[8] = 2;
  target.translation[0] = 10;
  Transform second = Transform{};
  second.m[0] = 0;
  second.m[1] = 1;  // x axis maps to y
  second.m[3] = -1;
  second.m[4] = 0;  // y axis maps to -x
  second.translation[0] = 1;
  second.translation[1] = 2;
  second.translation[2] = 3;
  compose_transform(target, second);
  const float expectedM[9] = {0, 2, 0, -2, 0, 0, 0, 0, 2};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(target.m[i], expectedM[i]) << i;
  // (10, 0, 0) rotated to (0, 10, 0), then moved by (1, 2, 3).
  EXPECT_EQ(target.translation[0], 1);
  EXPECT_EQ(target.translation[1], 12);
  EXPECT_EQ(target.translation[2], 3);
}

TEST(TransformTest, ComposeRoundsEachSumToSinglePrecision) {
  // Terms 1, 2^-24, -1, 0: the 2^-24 is lost when 1 + 2^-24 is rounded to
  // float, so the sum is 0, where an unrounded sum would give 2^-24.
  const float tiny = std::ldexp(1.0f, -24);
  Transform target = Transform{};
  target.m[0] = 1;
  target.m[1] = 1;
  target.m[2] = 1;
  Transform second = Transform{};
  second.m[0] = 1;
  second.m[3] = tiny;
  second.m[6] = -1;
  second.translation[0] = 123;  // multiplied by target's 0 in column 3
  compose_transform(target, second);
  EXPECT_EQ(target.m[0], 0.0f);
}

}  // namespace
}  // namespace facetor
