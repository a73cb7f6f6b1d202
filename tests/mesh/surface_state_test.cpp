#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "mesh/mesh_store.h"

namespace facetor {
namespace {

TEST(SurfaceStateTest, ColourBytes) {
  const float inf = std::numeric_limits<float>::infinity();
  const struct {
    float value;
    int expected;
  } cases[] = {
      {1.0f, 255},      {0.999f, 254},    {-0.5f, 129},
      {2.0f, 254},      // 510 keeps its low 8 bits
      {-1.0f, 1},       // -255 is 0xFFFFFF01
      {1e9f, 0},        // product beyond 32 bits
      {-inf, 0}, {std::nanf(""), 0},
      {8421504.0f, 128},  // 2147483520, just inside 32 bits
  };
  for (const auto& c : cases) EXPECT_EQ(colour_byte(c.value), c.expected) << c.value;
}

TEST(SurfaceStateTest, Equality) {
  SurfaceState base;
  base.texture = "Wood";
  base.mask = "Woodm";
  base.ambient = 0.5f;

  auto differs = [&](auto change) {
    SurfaceState other = base;
    change(other);
    return surface_equal(&base, &other);
  };
  EXPECT_EQ(surface_equal(&base, &base), 1);
  EXPECT_EQ(differs([](SurfaceState& s) { s.texture = "WOOD"; s.mask = "woodM"; }), 1);
  EXPECT_EQ(differs([](SurfaceState& s) { s.texture = "oak"; }), 0);
  EXPECT_EQ(differs([](SurfaceState& s) { s.mask.reset(); }), 0);
  EXPECT_EQ(differs([](SurfaceState& s) { s.lightSampling = 1; }), 0);
  EXPECT_EQ(differs([](SurfaceState& s) { s.blue = 1; }), 0);
  EXPECT_EQ(differs([](SurfaceState& s) { s.diffuse = 0.25f; }), 0);
  EXPECT_EQ(differs([](SurfaceState& s) { s.ambient = -0.0f; }), 0);

  SurfaceState nan;
  nan.ambient = std::nanf("");
  EXPECT_EQ(surface_equal(&nan, &nan), 0);
  SurfaceState plain, plainToo;
  plainToo.ambient = -0.0f;
  EXPECT_EQ(surface_equal(&plain, &plainToo), 1);
  EXPECT_EQ(surface_equal(&plain, nullptr), 0);
  EXPECT_EQ(surface_equal(nullptr, nullptr), 0);
}

}  // namespace
}  // namespace facetor
