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
      {1.0f, 255},      {0.5f, 127},      {0.999f, 254},    {0.0f, 0},         {-0.5f, 129},
      {2.0f, 254},      // 510 keeps its low 8 bits
      {-1.0f, 1},       // -255 is 0xFFFFFF01
      {1e9f, 0},        // product beyond 32 bits
      {-1e9f, 0},       {inf, 0}, {-inf, 0}, {std::nanf(""), 0},
      {8421504.0f, 128},  // 2147483520, just inside 32 bits
  };
  for (const auto& c : cases) EXPECT_EQ(colour_byte(c.value), c.expected) << c.value;
}

TEST(SurfaceStateTest, SettersUseColourBytes) {
  SurfaceState s;
  surface_set_color(s, 1.0f, 0.5f, 0.0f);
  surface_set_opacity(s, 0.999f);
  EXPECT_EQ(s.red, 255);
  EXPECT_EQ(s.green, 127);
  EXPECT_EQ(s.blue, 0);
  EXPECT_EQ(s.opacity, 254);
}

TEST(SurfaceStateTest, ExtensionRule) {
  const struct {
    const char* name;
    const char* expected;
  } cases[] = {
      {"logo.GIF", "logo_GIF"}, {"photo.Png", "photo_Png"}, {"a.tif", "a_tif"},   {"a.emf", "a_emf"},
      {"a.WMF", "a_WMF"},       {"a.ico", "a_ico"},         {"photo.jpeg", "photo"}, {"wood.jpg", "wood"},
      {"a.b.bmp", "a.b"},       {"photo", "photo"},         {"dir.old/photo", "dir"}, {"a.gifs", "a"},
      {"trailing.", "trailing"}, {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(apply_extension_rule(c.name), c.expected) << c.name;
}

TEST(SurfaceStateTest, SetNamesAppliesTheRuleToEach) {
  SurfaceState s;
  surface_set_names(s, std::string("wood.jpg"), std::string("woodm.GIF"));
  EXPECT_EQ(s.texture, "wood");
  EXPECT_EQ(s.mask, "woodm_GIF");
  surface_set_names(s, std::string("x.png"), std::nullopt);
  EXPECT_EQ(s.texture, "x_png");
  EXPECT_FALSE(s.mask);
}

TEST(SurfaceStateTest, Translucency) {
  SurfaceState s;
  EXPECT_EQ(surface_is_translucent(s), 0);
  s.opacity = 254;
  EXPECT_EQ(surface_is_translucent(s), 1);
  s.opacity = 255;
  s.mask = "m";
  EXPECT_EQ(surface_is_translucent(s), 1);
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
  EXPECT_EQ(differs([](SurfaceState& s) { s.texture.reset(); }), 0);
  EXPECT_EQ(differs([](SurfaceState& s) { s.mask.reset(); }), 0);
  EXPECT_EQ(differs([](SurfaceState& s) { s.mask = "other"; }), 0);
  EXPECT_EQ(differs([](SurfaceState& s) { s.lightSampling = 1; }), 0);
  EXPECT_EQ(differs([](SurfaceState& s) { s.mipmap = 0; }), 0);
  EXPECT_EQ(differs([](SurfaceState& s) { s.addressMode = 2; }), 0);
  EXPECT_EQ(differs([](SurfaceState& s) { s.blue = 1; }), 0);
  EXPECT_EQ(differs([](SurfaceState& s) { s.opacity = 1; }), 0);
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
