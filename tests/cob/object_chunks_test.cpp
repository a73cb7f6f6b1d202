#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "load_helper.h"

namespace facetor::test {
namespace {

// One object of four vertices and three faces, the given chunk under it, then a marker.
Loaded load_with(std::string_view type, const Data& data) {
  const Data object = polh("o", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {},
                           {face({0, 1, 2}, 5), face({}, 6), hole({1, 2, 3}), hole({}), face({0, 1, 2, 3}, 2)});
  return load(CobFile{}.chunk("PolH", 1, 0, object).chunk(type, 2, 1, data).chunk("PolH", 3, 0, marker("after")).end());
}

TEST(PolygonChunk, HolesHaveNoMaterialFieldAndMinimalFacesMayFillTheChunk) {
  const Loaded loaded = load_with("Unit", Data{});
  const PolygonObject& o = *loaded.root->objects[0];
  std::string faces;  // flags/material/corners of each face
  for (const PolyFace& f : o.faces) {
    for (auto n : {std::size_t{f.flags}, std::size_t{f.materialIndex}, corners_of(o, f).size()}) faces += std::to_string(n) + "/";
    faces += " ";
  }
  EXPECT_EQ(faces, "0/5/3/ 0/6/0/ 8/0/3/ 8/0/0/ 0/2/4/ ");
  EXPECT_EQ(corners_of(o, o.faces[2])[2].vertexIndex, 3);
  // Empty holes are 3 bytes each: four of them end exactly at the chunk's end.
  const Loaded minimal = load(CobFile{}.chunk("PolH", 1, 0, polh("m", {{0, 0, 0}}, {}, {hole({}), hole({}), hole({}), hole({})}))
                                  .chunk("PolH", 3, 0, marker("after")));
  EXPECT_TRUE(went_on(minimal));
  EXPECT_EQ(minimal.root->objects[0]->faceCount, 4);
}

// The chunk header claims the full size but the data stops after each byte: the lists read before the cut stay.
TEST(PolygonChunk, CutAtEveryByteKeepsWhatWasRead) {
  const Data full = polh("Cut", {{1, 2, 3}, {4, 5, 6}}, {{0.5f, 0.5f}}, {face({0, 1, 0}, 2), hole({1, 0, 1})});
  const std::size_t verticesEnd = 7 + 96 + 28, uvsEnd = verticesEnd + 12;
  for (std::size_t cut = 0; cut < full.size(); ++cut) {
    Data data = full;
    data.bytes.resize(cut);
    const Loaded loaded = load(CobFile{}.chunk_sized("PolH", 1, 0, data, static_cast<std::int32_t>(full.size())));
    const PolygonObject& o = *loaded.root->objects.at(0);
    EXPECT_EQ(o.name, cut >= 7 ? "Cut" : "") << cut;
    EXPECT_EQ(o.vertices.size() + o.vertexJoints.size(), cut >= verticesEnd ? 8u : 0u) << cut;
    EXPECT_EQ(o.uvs.size(), cut >= uvsEnd ? 2u : 0u) << cut;
    EXPECT_TRUE(o.faces.empty() && o.faceCount == (cut < uvsEnd ? 0 : -1)) << cut;
  }
}

// Up to 5 bytes after the last record are padding, never read, even when they would make a
// whole map record. More are read as a record: a bad one ends the loop, which succeeds only
// when the cursor then stands within 5 bytes of the chunk's end.
TEST(MaterialChunk, TrailingBytesAreReadOnlyBeyondARecordHead) {
  const std::string zeros(11, '\0');
  const struct { Data data; bool wentOn; std::uint8_t envFlags; } cases[] = {
      {mat1({}).u8('e').u8(0).u8(0x09).i16(0), true, 0},
      {mat1({}).u8('e').u8(0).u8(0x09).i16(0).u8(0), true, 0x09},
      {mat1({}).raw(zeros.substr(0, 10)), true, 0},
      {mat1({}).raw(zeros), false, 0},
      {mat1({}).u8('t').u8(0).u8(0x09).i16(-1).u8(0), true, 0},
      {mat1({}).u8('t').u8(0).u8(0).i16(-1).raw(std::string(20, 'z')), false, 0},
  };
  for (const auto& c : cases) {
    const Loaded loaded = load_with("Mat1", c.data);
    EXPECT_EQ(went_on(loaded), c.wentOn) << c.data.size();
    const Material& m = loaded.root->objects[0]->materials.at(0);
    EXPECT_EQ(m.envFlags, c.envFlags) << c.data.size();
    EXPECT_EQ(m.envMap.has_value(), c.envFlags != 0) << c.data.size();
  }
}

}  // namespace
}  // namespace facetor::test
