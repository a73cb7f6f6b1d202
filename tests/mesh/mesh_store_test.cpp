#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <tuple>
#include "mesh/mesh_store.h"

namespace facetor {
// Colour bytes keep the low 8 bits only when the product fits; surfaces compare names caselessly, numbers exactly.
TEST(MeshStore, ColourBytesAndSurfaceEquality) {
  const std::pair<float, int> cases[] = {{1.0f, 255}, {0.999f, 254}, {-0.5f, 129}, {2.0f, 254}, {-1.0f, 1}, {1e9f, 0},
      {-INFINITY, 0}, {std::nanf(""), 0}, {8421504.0f, 128}};  // 2147483520 still fits
  for (const auto& [value, expected] : cases) EXPECT_EQ(colour_byte(value), expected) << value;
  SurfaceState base;
  base.texture = "Wood", base.mask = "Woodm";
  auto same = [&](auto change) { SurfaceState o = base; change(o); return surface_equal(&base, &o); };
  EXPECT_TRUE(same([](SurfaceState& s) { s.texture = "WOOD", s.mask = "woodM", s.ambient = -0.0f; }));
  EXPECT_FALSE(same([](SurfaceState& s) { s.mask.reset(); }));
  EXPECT_FALSE(same([](SurfaceState& s) { s.lightSampling = 1; }));
  EXPECT_FALSE(same([](SurfaceState& s) { s.diffuse = std::nanf(""); }));
  EXPECT_FALSE(surface_equal(&base, nullptr));
}

TEST(MeshStore, DeepModelTreeIsFreedWithoutDeepRecursion) {
  auto root = std::make_unique<ModelNode>();
  ModelNode* tip = root.get();
  for (int i = 0; i < 100000; ++i) tip = node_add_child(*tip, std::make_unique<ModelNode>());
  root.reset();  // a recursive release would overflow the stack here
}

TEST(MeshStore, FacesShareOneCornerArrayAndTheFirstJointBringsTheRoot) {
  Prototype p;
  const std::uint32_t first[] = {69999, 65536, 3}, second[] = {7};
  proto_add_face(p, first, proto_add_surface(p, surface_new()));
  proto_add_face(p, second, proto_add_surface(p, nullptr));
  const auto c0 = face_corners(p, p.faces[0]), c1 = face_corners(p, p.faces[1]);
  EXPECT_TRUE(std::equal(c0.begin(), c0.end(), std::begin(first), std::end(first)));
  EXPECT_TRUE(std::equal(c1.begin(), c1.end(), std::begin(second), std::end(second)));
  const float pivot[3] = {1, 2, 3};
  EXPECT_EQ(proto_add_joint(p, 5, 0, pivot), 2);
  EXPECT_EQ(proto_add_joint(p, 6, 0, nullptr), 3);
  ASSERT_EQ(p.joints.size(), 3u);
  EXPECT_EQ(std::tuple(p.joints[0].tag, p.joints[1].parentTag, p.joints[1].z, p.joints[2].parentTag), std::tuple(82, 82, 3.0f, 0));
}

TEST(MeshStore, ComposeAppliesTargetFirstAndRoundsEachSumToFloat) {
  // t scales by 2 and moves x by 10; s maps x to y and y to -x, then moves by (1, 2, 3)
  Transform t{{2, 0, 0, 0, 2, 0, 0, 0, 2}, {10, 0, 0}}, s{{0, 1, 0, -1, 0, 0, 0, 0, 1}, {1, 2, 3}};
  compose_transform(t, s);
  const float m[12] = {0, 2, 0, -2, 0, 0, 0, 0, 2, 1, 12, 3};  // then the translation
  for (int i = 0; i < 12; ++i) EXPECT_EQ(i < 9 ? t.m[i] : t.translation[i - 9], m[i]) << i;
  // terms 1, 2^-24, -1: the 2^-24 is lost when 1 + 2^-24 is rounded
  Transform u{{1, 1, 1, 0, 1, 0, 0, 0, 1}, {}}, v{{1, 0, 0, std::ldexp(1.0f, -24), 1, 0, -1, 0, 1}, {}};
  compose_transform(u, v);
  EXPECT_EQ(u.m[0], 0.0f);
}
}  // namespace facetor
