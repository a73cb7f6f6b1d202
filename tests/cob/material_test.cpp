#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "load_helper.h"

namespace facetor::test {
namespace {

// Loads one object with the given chunk after it and a marker after that.
Loaded load_with(std::string_view type, const Data& data) {
  CobFile file;
  file.chunk("PolH", 1, 0, polh("o", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {},
                                {face({0, 1, 2}), face({0, 1, 2, 3}), hole({1, 2, 3})}))
      .chunk(type, 2, 1, data)
      .chunk("PolH", 3, 0, marker("after"))
      .end();
  return load(file);
}

bool loading_went_on(const Loaded& loaded) { return has_root_object(*loaded.root, "after"); }

// Up to 5 bytes after the last record are never looked at. More bytes are
// read as a record head; an unknown kind or a negative name length ends the
// loop, which still succeeds when the cursor then stands within 5 bytes of
// the chunk's end.
TEST(MaterialChunk, RecordLoopSucceedsWhenItEndsNearTheChunkEnd) {
  struct Case {
    std::string label;
    Data data;
    bool wentOn;
  };
  std::vector<Case> cases;
  for (std::size_t trailing : {5, 6, 10, 11}) {
    Data data = mat1({});
    for (std::size_t i = 0; i < trailing; ++i) data.u8(0);
    cases.push_back({std::to_string(trailing) + " trailing bytes", data, trailing <= 10});
  }
  cases.push_back({"negative name length near the end", mat1({}).u8('t').u8(0).u8(0x09).i16(-1).u8(0), true});
  cases.push_back({"negative name length far from the end", mat1({}).u8('t').u8(0).u8(0).i16(-1).raw(std::string(20, 'z')),
                   false});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(loading_went_on(load_with("Mat1", c.data)), c.wentOn);
  }
}

TEST(MaterialChunk, MaterialsOfAnObjectKeepFileOrder) {
  CobFile file;
  file.chunk("PolH", 1, 0, marker("o"))
      .chunk("Mat1", 20, 1, mat1(numbered(2)))
      .chunk("Mat1", 10, 1, mat1(numbered(0)))
      .chunk("Mat1", 30, 1, mat1(numbered(1)))
      .end();
  const Loaded loaded = load(file);
  const auto& materials = loaded.root->objects[0]->materials;
  ASSERT_EQ(materials.size(), 3u);
  EXPECT_EQ(materials[0].number, 2);
  EXPECT_EQ(materials[1].chunkId, 10);
  EXPECT_EQ(materials[2].number, 1);
}

std::vector<std::uint32_t> colours_of(const PolygonObject& object, const PolyFace& face) {
  std::vector<std::uint32_t> colours;
  for (std::size_t c = 0; c < corners_of(object, face).size(); ++c) {
    colours.push_back(corner_colour(object, face.firstCorner + c));
  }
  return colours;
}

TEST(VertexColourChunk, OutOfRangeEntriesFail) {
  struct Case {
    const char* label;
    Data data;
    std::vector<std::uint32_t> firstFace;  // colours left on face 0
  };
  const std::vector<Case> cases = {
      {"more entries than faces", vcol({{0, {7}}, {0, {7}}, {0, {7}}, {0, {7}}}), {0, 0, 0}},
      {"negative entry count", Data{}.i32(-1), {0, 0, 0}},
      {"face index equal to the face count", vcol({{0, {7}}, {3, {7}}}), {7, 0, 0}},
      {"negative face index", vcol({{-1, {7}}}), {0, 0, 0}},
      {"negative colour count", Data{}.i32(1).i32(0).i32(-2), {0, 0, 0}},
  };
  for (const Case& c : cases) {
    const Loaded loaded = load_with("VCol", c.data);
    EXPECT_FALSE(loading_went_on(loaded)) << c.label;
    EXPECT_EQ(colours_of(*loaded.root->objects[0], loaded.root->objects[0]->faces[0]), c.firstFace) << c.label;
  }
}

}  // namespace
}  // namespace facetor::test
