#include <gtest/gtest.h>

#include <optional>
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

const Material& only_material(const Loaded& loaded) {
  EXPECT_EQ(loaded.root->objects[0]->materials.size(), 1u);
  return loaded.root->objects[0]->materials.at(0);
}

TEST(MaterialChunk, FixedPartOnlyLeavesAllMapsNull) {
  MaterialSpec spec = numbered(7);
  spec.shader = 'c';
  spec.facet = 'a';
  spec.autofacetAngle = 40;
  spec.blue = 0.75f;
  spec.alpha = 0.9f;
  spec.exponent = 0.4f;
  spec.refraction = 1.5f;
  const Loaded loaded = load_with("Mat1", mat1(spec));
  ASSERT_TRUE(loading_went_on(loaded));
  const Material& m = only_material(loaded);
  EXPECT_EQ(m.number, 7);
  EXPECT_EQ(m.shader, 'c');
  EXPECT_EQ(m.facet, 'a');
  EXPECT_EQ(m.autofacetAngle, 40);
  EXPECT_EQ(m.blue, 0.75f);
  EXPECT_EQ(m.alpha, 0.9f);
  EXPECT_EQ(m.exponent, 0.4f);
  EXPECT_EQ(m.refraction, 1.5f);
  EXPECT_EQ(m.chunkId, 2);
  EXPECT_FALSE(m.textureMap);
  EXPECT_FALSE(m.bumpMap);
  EXPECT_FALSE(m.envMap);
}

TEST(MaterialChunk, MapRecordsFillTheirKind) {
  MaterialSpec spec;
  spec.maps = {{'t', 0x02, "first.jpg", {0.5f, 0.25f, 2, 3}},
               {'e', 0x05, "sky.bmp", {}},
               {'b', 0x07, "bump.bmp", {1, 2, 3, 4, 5}},
               {'t', 0x01, "wood.jpg", {0.125f, 0.375f, 4, 5}}};
  const Loaded loaded = load_with("Mat1", mat1(spec));
  ASSERT_TRUE(loading_went_on(loaded));
  const Material& m = only_material(loaded);
  EXPECT_EQ(m.textureMap, "wood.jpg");  // the later record of a kind replaces the earlier
  EXPECT_EQ(m.textureFlags, 0x01);
  EXPECT_EQ(m.texOffsetU, 0.125f);
  EXPECT_EQ(m.texOffsetV, 0.375f);
  EXPECT_EQ(m.texRepeatU, 4.0f);
  EXPECT_EQ(m.texRepeatV, 5.0f);
  EXPECT_EQ(m.envMap, "sky.bmp");
  EXPECT_EQ(m.envFlags, 0x05);
  EXPECT_EQ(m.bumpMap, "bump.bmp");
  EXPECT_EQ(m.bumpFlags, 0x07);
  EXPECT_EQ(m.bumpOffsetU, 1.0f);
  EXPECT_EQ(m.bumpAmplitude, 5.0f);
}

TEST(MaterialChunk, MapNamesMayBeEmptyAndEndAtNul) {
  MaterialSpec spec;
  spec.maps = {texture_map(""), {'e', 0, std::string("env\0junk", 8), {}}};
  const Loaded loaded = load_with("Mat1", mat1(spec));
  ASSERT_TRUE(loading_went_on(loaded));
  const Material& m = only_material(loaded);
  ASSERT_TRUE(m.textureMap);
  EXPECT_EQ(*m.textureMap, "");
  EXPECT_EQ(m.envMap, "env");
}

TEST(MaterialChunk, UnknownRecordKindFailsAndKeepsTheFixedPart) {
  MaterialSpec spec = numbered(3);
  spec.maps = {texture_map("ok.jpg"), {'x', 0, "an odd record", {}}};
  const Loaded loaded = load_with("Mat1", mat1(spec));
  EXPECT_FALSE(loading_went_on(loaded));
  const Material& m = only_material(loaded);
  EXPECT_EQ(m.number, 3);
  EXPECT_EQ(m.textureMap, "ok.jpg");
}

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
  for (std::size_t trailing : {0, 1, 5, 6, 10, 11, 12, 40}) {
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

// Chunks whose declared size differs from their data: the material keeps
// what was read before the bytes ran out.
TEST(MaterialChunk, DeclaredSizeBoundsTheReads) {
  MaterialSpec spec = numbered(5);
  spec.red = 0.5f;
  spec.green = 0.25f;
  Data cutGreen = mat1(spec);
  cutGreen.bytes.resize(5 + 4 + 2);  // red complete, green cut
  spec.maps = {texture_map("never.jpg")};
  const Data mapNamePastBuffer = mat1({}).u8('t').u8(0).u8(0).i16(50).raw("short");
  struct Case {
    const char* label;
    Data data;
    std::int32_t size;
    float red, green;
    std::optional<std::string> textureMap;
  };
  const std::vector<Case> cases = {
      {"fixed part cut", cutGreen, 37, 0.5f, 0.0f, std::nullopt},
      {"negative size: fixed part only", mat1(spec), -1, 0.5f, 0.25f, std::nullopt},
      {"map name past the buffer stays empty", mapNamePastBuffer, static_cast<std::int32_t>(mapNamePastBuffer.size()) + 45,
       1.0f, 1.0f, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    CobFile file;
    file.chunk("PolH", 1, 0, marker("o")).chunk_sized("Mat1", 2, 1, c.data, c.size);
    const Loaded loaded = load(file);
    const Material& m = only_material(loaded);
    EXPECT_EQ(m.red, c.red);
    EXPECT_EQ(m.green, c.green);
    EXPECT_EQ(m.textureMap, c.textureMap);
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

std::vector<std::uint32_t> colours_of(const PolyFace& face) {
  std::vector<std::uint32_t> colours;
  for (const FaceCorner& corner : face.corners) colours.push_back(corner.colour);
  return colours;
}

TEST(VertexColourChunk, ColoursGoToCornersInOrder) {
  const Loaded loaded = load_with("VCol", vcol({{1, {0x0000ff, 0x00ff00}}, {0, {1, 2, 3, 4, 5}}, {2, {9}}}));
  ASSERT_TRUE(loading_went_on(loaded));
  const auto& faces = loaded.root->objects[0]->faces;
  EXPECT_EQ(colours_of(faces[0]), (std::vector<std::uint32_t>{1, 2, 3}));  // extra colours dropped
  EXPECT_EQ(colours_of(faces[1]), (std::vector<std::uint32_t>{0x0000ff, 0x00ff00, 0, 0}));
  EXPECT_EQ(colours_of(faces[2]), (std::vector<std::uint32_t>{9, 0, 0}));
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
    EXPECT_EQ(colours_of(loaded.root->objects[0]->faces[0]), c.firstFace) << c.label;
  }
}

TEST(VertexColourChunk, ColoursBeforeACutStay) {
  Data data = vcol({{1, {5, 6, 7, 8}}});
  data.bytes.resize(data.size() - 6);
  CobFile file;
  file.chunk("PolH", 1, 0, polh("o", {{0, 0, 0}}, {}, {face({0}), face({0, 0, 0, 0})}))
      .chunk_sized("VCol", 2, 1, data, 100);
  const Loaded loaded = load(file);
  EXPECT_EQ(colours_of(loaded.root->objects[0]->faces[1]), (std::vector<std::uint32_t>{5, 6, 0, 0}));
}

}  // namespace
}  // namespace facetor::test
