#include <gtest/gtest.h>

#include "mesh/mesh_store.h"

namespace facetor {
namespace {

std::unique_ptr<MeshFace> face_of(std::initializer_list<std::uint32_t> corners) {
  auto face = face_new(static_cast<std::int32_t>(corners.size()), nullptr);
  std::int32_t i = 0;
  for (std::uint32_t c : corners) face_set_corner(*face, i++, c);
  return face;
}

TEST(PrototypeTest, UseCountsAndCornersAreNotCutTo16Bits) {
  PrototypeRef p = proto_new(std::nullopt);
  for (int i = 0; i < 70000; ++i) proto_add_vertex(*p, float(i), 1, 2);
  for (int i = 0; i < 65536; ++i) proto_add_use(*p, 69999);
  EXPECT_EQ(p->vertices[69999].useCount, 65536u);
  auto face = face_of({69999, 65536});
  EXPECT_EQ(face_get_corner(*face, 0), 69999u);
  EXPECT_EQ(face_get_corner(*face, 1), 65536u);
  EXPECT_EQ(face_get_corner(*face, 2), 0u);  // past the corners
  EXPECT_TRUE(face_new(-4, nullptr)->corners.empty());
}

TEST(PrototypeTest, CompactionDropsUnusedVerticesAndRenumbers) {
  PrototypeRef p = proto_new(std::nullopt);
  for (int i = 0; i < 4; ++i) proto_add_vertex(*p, float(i), 0, 0);
  const int uses[4] = {0, 2, 0, 1};
  for (int i = 0; i < 4; ++i)
    for (int k = 0; k < uses[i]; ++k) proto_add_use(*p, i);
  proto_add_face(*p, face_of({1, 3, 1}));
  proto_add_face(*p, face_of({3}));
  proto_compact(*p);
  ASSERT_EQ(proto_vertex_count(*p), 2);
  EXPECT_EQ(p->vertices[0].x, 1.0f);
  EXPECT_EQ(p->vertices[1].x, 3.0f);
  EXPECT_EQ(p->faces[0]->corners, (std::vector<std::uint32_t>{1}));
  EXPECT_EQ(p->faces[1]->corners, (std::vector<std::uint32_t>{0, 1, 0}));
}

TEST(PrototypeTest, CompactionNeverLetsACornerNameAnotherVertex) {
  PrototypeRef p = proto_new(std::nullopt);
  for (int i = 0; i < 3; ++i) proto_add_vertex(*p, float(i), 0, 0);
  proto_add_use(*p, 2);
  proto_add_face(*p, face_of({0, 2, 7}));  // 0 is unused, 7 does not exist
  proto_compact(*p);
  ASSERT_EQ(proto_vertex_count(*p), 1);
  EXPECT_GE(p->faces[0]->corners[0], 1u);
  EXPECT_EQ(p->faces[0]->corners[1], 0u);
  EXPECT_GE(p->faces[0]->corners[2], 1u);
}

TEST(PrototypeTest, ContinuationCopy) {
  PrototypeRef source = proto_new(std::string("body"));
  for (int i = 0; i < 150; ++i) {
    proto_add_vertex(*source, float(i), float(i + 1), 0);
    proto_add_use(*source, i);
  }
  const std::uint8_t tags[2] = {4, 5};
  proto_set_bone_tags(*source, 3, 2, tags);
  proto_set_uv(*source, 3, 0.5f, 0.25f);
  proto_set_prelight(*source, 3, 1, 2, 3);
  proto_set_lit(*source, 0);
  proto_set_wireframe(*source, 1);
  proto_set_joint(*source, 17);
  source->transform.translation[0] = 9;
  proto_add_joint(*source, 5, 0, nullptr);
  proto_add_face(*source, face_of({0, 1, 2}));

  PrototypeRef target = proto_new(std::nullopt);
  proto_copy_for_split(*target, *source);
  EXPECT_EQ(proto_vertex_count(*target), 150);
  EXPECT_EQ(target->vertexCapacity, 200);
  for (int i = 0; i < 150; ++i) {
    EXPECT_EQ(target->vertices[i].x, float(i));
    EXPECT_EQ(target->vertices[i].useCount, 0u);
  }
  EXPECT_EQ(target->vertices[3].boneTags[1], 5);
  EXPECT_EQ(target->hasPrelight, 1);
  EXPECT_EQ(target->joint, 17);
  EXPECT_FALSE(target->name);
  EXPECT_EQ(target->transform.translation[0], 0.0f);
  EXPECT_TRUE(target->joints.empty());
  EXPECT_TRUE(target->faces.empty());
  EXPECT_EQ(source->vertices[3].useCount, 1u);  // the source is untouched

  // Adding to the copy goes on at the source's vertex count.
  EXPECT_EQ(proto_add_vertex(*target, 0, 0, 0), 150);
}

}  // namespace
}  // namespace facetor
