#include <gtest/gtest.h>

#include "mesh/mesh_store.h"

namespace facetor {
namespace {

std::vector<std::uint32_t> corners_of(const Prototype& proto, std::size_t face) {
  const auto corners = face_corners(proto, proto.faces[face]);
  return {corners.begin(), corners.end()};
}

TEST(PrototypeTest, FacesKeepTheirOwnFullWidthCornersInOneSharedArray) {
  Prototype p;
  const std::uint32_t first[] = {69999, 65536, 3};
  const std::uint32_t second[] = {7};
  auto surface = surface_new();
  proto_add_face(p, first, surface);
  proto_add_face(p, {}, nullptr);
  proto_add_face(p, second, surface);
  ASSERT_EQ(p.faces.size(), 3u);
  EXPECT_EQ(corners_of(p, 0), (std::vector<std::uint32_t>{69999, 65536, 3}));
  EXPECT_TRUE(corners_of(p, 1).empty());
  EXPECT_EQ(corners_of(p, 2), (std::vector<std::uint32_t>{7}));
  EXPECT_EQ(face_surface(p, p.faces[0]), surface.get());
  EXPECT_EQ(face_surface(p, p.faces[1]), nullptr);
  EXPECT_EQ(face_surface(p, p.faces[2]), surface.get());
  EXPECT_EQ(p.corners.size(), 4u);
}

TEST(PrototypeTest, FirstJointBringsTheRootEntry) {
  Prototype p;
  const float pivot[3] = {1, 2, 3};
  EXPECT_EQ(proto_add_joint(p, 5, 0, pivot), 2);
  EXPECT_EQ(proto_add_joint(p, 6, 0, nullptr), 3);
  ASSERT_EQ(p.joints.size(), 3u);
  EXPECT_EQ(p.joints[0].tag, 82);
  EXPECT_EQ(p.joints[0].parentTag, 0);
  EXPECT_EQ(p.joints[1].tag, 5);
  EXPECT_EQ(p.joints[1].parentTag, 82);
  EXPECT_EQ(p.joints[1].z, 3.0f);
  EXPECT_EQ(p.joints[2].parentTag, 0);
}

}  // namespace
}  // namespace facetor
