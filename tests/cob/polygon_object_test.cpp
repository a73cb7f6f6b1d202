#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "load_helper.h"

namespace facetor::test {
namespace {

const PolygonObject& only_object(const Loaded& loaded) {
  EXPECT_TRUE(loaded.root);
  EXPECT_EQ(loaded.root->objects.size(), 1u);
  return *loaded.root->objects.at(0);
}

TEST(PolygonChunk, HolesHaveNoMaterialFieldAndEmptyFacesNoCorners) {
  CobFile file;
  file.chunk("PolH", 1, 0,
             polh("h", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {},
                  {face({0, 1, 2}, 5), hole({1, 2, 3}), face({}, 6), hole({}), face({3, 2, 1}, 2)}))
      .end();
  const Loaded loaded = load(file);
  const PolygonObject& o = only_object(loaded);
  ASSERT_EQ(o.faceCount, 5);
  ASSERT_EQ(o.faces.size(), 5u);
  const std::vector<std::uint8_t> flags = {0, 0x08, 0, 0x08, 0};
  const std::vector<std::uint16_t> materials = {5, 0, 6, 0, 2};
  const std::vector<std::size_t> corners = {3, 3, 0, 0, 3};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(o.faces[i].flags, flags[i]) << i;
    EXPECT_EQ(o.faces[i].materialIndex, materials[i]) << i;
    EXPECT_EQ(corners_of(o, o.faces[i]).size(), corners[i]) << i;
    EXPECT_EQ(static_cast<std::size_t>(o.faces[i].cornerCount), corners[i]) << i;
  }
  EXPECT_EQ(o.corners.size(), 9u);
  EXPECT_EQ(corners_of(o, o.faces[1])[2].vertexIndex, 3);
  EXPECT_EQ(corners_of(o, o.faces[4])[0].vertexIndex, 3);
}

// Cuts a PolH chunk after every byte of its data (the chunk header still
// claims the full size): the object keeps the lists read before the cut, the
// list being read is empty with count -1, later lists are unread.
TEST(PolygonChunk, CutAtEveryByteKeepsWhatWasRead) {
  const Data full = polh("Cut", {{1, 2, 3}, {4, 5, 6}}, {{0.5f, 0.5f}}, {face({0, 1, 0}, 2), hole({1, 0, 1})});
  const std::size_t nameEnd = 2 + 2 + 3;
  const std::size_t positionEnd = nameEnd + 96;
  const std::size_t verticesEnd = positionEnd + 4 + 24;
  const std::size_t uvsEnd = verticesEnd + 4 + 8;
  ASSERT_EQ(full.size(), uvsEnd + 4 + (5 + 24) + (3 + 24));
  for (std::size_t cut = 0; cut < full.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    Data data = full;
    data.bytes.resize(cut);
    CobFile file;
    file.chunk_sized("PolH", 1, 0, data, static_cast<std::int32_t>(full.size()));
    const Loaded loaded = load(file);
    const PolygonObject& o = only_object(loaded);
    EXPECT_EQ(o.name, cut >= nameEnd ? "Cut" : "");
    EXPECT_EQ(o.position.rows[2][2], cut >= positionEnd ? 1.0f : 0.0f);
    const std::int32_t vertexCount = cut < positionEnd ? 0 : cut < verticesEnd ? -1 : 2;
    const std::int32_t uvCount = cut < verticesEnd ? 0 : cut < uvsEnd ? -1 : 1;
    const std::int32_t faceCount = cut < uvsEnd ? 0 : -1;
    EXPECT_EQ(o.vertexCount, vertexCount);
    EXPECT_EQ(o.vertices.size(), vertexCount > 0 ? 6u : 0u);
    EXPECT_EQ(o.vertexJoints.size(), vertexCount > 0 ? 2u : 0u);
    EXPECT_EQ(o.uvCount, uvCount);
    EXPECT_EQ(o.uvs.size(), uvCount > 0 ? 2u : 0u);
    EXPECT_EQ(o.faceCount, faceCount);
    EXPECT_TRUE(o.faces.empty());
  }
}

}  // namespace
}  // namespace facetor::test
