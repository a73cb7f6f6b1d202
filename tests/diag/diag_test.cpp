// The dump, the chunk type tally and the image list.
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <vector>
#include "diag/chunk_tally.h"
#include "diag/diagnostics.h"
#include "support/cob_builder.h"
#include "support/scene_chunks.h"

namespace facetor::test {
namespace {

std::string dump(const CobFile& file) {
  OutStream out = out_memory(StreamMode::Text), console = out_memory(StreamMode::Binary);
  dump_chunks(file.span(), out, console);
  return out_contents(out) + out_contents(console);
}
std::string listing(const CobFile& file, void (*list)(Bytes, OutStream&)) {
  OutStream console = out_memory(StreamMode::Binary);
  return list(file.span(), console), out_contents(console);
}
std::string crlf(std::string t) { for (std::size_t at = 0; (at = t.find('\n', at)) != std::string::npos; at += 2) t.insert(at, 1, '\r'); return t; }

TEST(DebugDump, DenseModel) {
  Data knuckle = Data().name("k").axes().matrix().str("m1").str("m2").str("c"), lattice;
  for (int i = 0; i < 27; ++i) knuckle.f32(static_cast<float>(i));
  knuckle.u16(0x0007);  // contractor, flexor and extensor records follow
  for (int i = 0; i < 18; ++i) knuckle.f32(static_cast<float>(i) + 0.5f);
  lattice.name("l").axes().matrix().u16(16).i16(2).i16(3).i16(4).floats({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
  lattice.i16(2).str("o1").str("o2");
  const CobFile file = CobFile().chunk("DDiv", 1, 0, Data().u16(0x1234)).chunk("Skin", 2, 1, skin("S", {7, 8}))
      .chunk("Nail", 3, 0, Data().name("n").axes().matrix().u16(3).str(std::string(1500, 't')))  // texts cut to 1003
      .chunk("Knuc", 4, 0, knuckle).chunk("DefP", 5, 0, lattice).chunk("Bone", 6, 0, bone("b")).chunk("Unit", 7, 0, Data().u16(2)).end(8);
  // Checked by hand; among them the contractor, flexor and extensor lines and the cut texts.
  EXPECT_EQ(dump(file), read_file(FACETOR_EXPECTED_DIR "/../../diag/expected/dense_dump.txt"));
}

// A chunk's content ends with its size, or with the file when the size is negative or past the file's end.
TEST(DebugDump, ContentStaysWithinItsChunk) {
  const Data skinData = Data().str("S").i32(3).i32(7).i32(8);  // three vertices, two present
  for (std::int32_t size : {-1, 1000}) {
    EXPECT_EQ(dump(CobFile().chunk_sized("Skin", 5, 1, skinData, size)),
              crlf("Skin V0.1 ID=5 Parent=1 Size=" + std::to_string(size) + "\n  Muscle or tendon: S\n  Vertex 0: 7\n  Vertex 1: 8\n\n\nSkin : 1\n"));
  }
  CobFile skins;
  for (int id = 1; id <= 3; ++id) skins.chunk("Skin", id, 1, Data());
  skins.chunk("Skin", 4, 1, Data().i16(-2).raw("ab").i32(1).i32(5)).chunk("Skin", 6, 1, Data().i16(300).raw("ab"));
  EXPECT_EQ(dump(skins), crlf("Skin V0.1 ID=1 Parent=1 Size=0\nSkin V0.1 ID=2 Parent=1 Size=0\nSkin V0.1 ID=3 Parent=1 Size=0\n"
                              "Skin V0.1 ID=4 Parent=1 Size=12\nSkin V0.1 ID=6 Parent=1 Size=4\n\n\nSkin : 5\n"));
  EXPECT_EQ(dump(CobFile('A').end()), "This program only supports Binary format COB files");
  CobFile wrongMagic = CobFile().end();
  wrongMagic.bytes[0] = 'c';
  EXPECT_EQ(dump(wrongMagic), "File specified is not correctly formatted COB file");
}

TEST(HeaderListing, Examples) {
  EXPECT_EQ(listing(CobFile().chunk("PolH", 1, 0, Data()).chunk("Mat1", 2, 1, Data()).chunk("pOLH", 3, 0, Data()).end(4), list_chunk_types),
            "  PolH : 2\n  Mat1 : 1\n  END  : 1\n");  // first spelling kept, END with its blank
  EXPECT_EQ(listing(CobFile().chunk(std::string("Ab\0d", 4), 1, 0, Data()).chunk(std::string("aB\0x", 4), 2, 0, Data()), list_chunk_types),
            "  Ab : 2\n");
  EXPECT_EQ(listing(CobFile('A').end(1), list_chunk_types), "This program only supports Binary format COB files");
}

// The indexed tally gives the entries of a plain scan (types equal up to their first NUL, ASCII case folded).
TEST(ChunkTally, IndexedTallyAgreesWithThePlainScan) {
  const auto folded = [](std::string t) { for (char& c : t) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; return t; };
  const char alphabet[] = {'a', 'A', 'b', 'B', '\0', ' ', '\xe4', '\xc4'};
  std::vector<std::string> scanned;
  ChunkTally indexed;
  std::uint32_t seed = 12345;
  for (int i = 0; i < 5000; ++i) {
    char type[4];
    for (char& c : type) c = alphabet[((seed = seed * 1103515245u + 12345u) >> 16) % sizeof alphabet];
    const std::string cut(type, strnlen(type, 4));
    std::size_t at = 0;
    while (at < scanned.size() && folded(scanned[at]) != folded(cut)) ++at;
    if (at == scanned.size()) scanned.push_back(cut);
    ASSERT_EQ(tally_find_or_add(indexed, type), at) << i;
  }
  ASSERT_EQ(indexed.entries.size(), scanned.size());
  for (std::size_t i = 0; i < scanned.size(); ++i) EXPECT_EQ(indexed.entries[i].type, scanned[i]);
}

TEST(ImageList, Examples) {
  const auto summary = [](int n) { return "  " + std::to_string(n) + (n > 1 ? " images" : " image") + " (followed by usage count)\n"; };
  const auto materials = [](const std::vector<std::vector<MapRecord>>& maps) {
    CobFile file;
    for (std::size_t i = 0; i < maps.size(); ++i) file.chunk(i ? "mAT1" : "Mat1", 9, 1, mat1({.maps = maps[i]}));
    return file.end(99);
  };
  // A texture record of 22 bytes ends at data offset 59; the next is looked at only while 59 + 6 < the data size.
  const Data bare = mat1({}).u8('t').u8(0).u8(0);  // a texture record's type and flags
  const Data withSix = Data(bare).str("a").floats({0, 0, 1, 1}).u8('t').u8(0).u8(0).str("").u8(0);
  const std::vector<std::pair<CobFile, std::string>> cases = {
      {materials({}), summary(0)},
      {materials({{texture_map("C:\\textures\\Wood.BMP")}, {texture_map("stone.jpg")}, {texture_map("maps/old/wood.bmp")}}),
       "  Wood.BMP (2)\n  stone.jpg (1)\n" + summary(2)},
      {materials({{{'e', 0, "sky.bmp", {}}, {'b', 0, "bump.bmp", {0, 0, 1, 1, 0.5f}}, texture_map("skin.bmp")}}), "  skin.bmp (1)\n" + summary(1)},
      // Fixed part and one texture record without placement: 37 + 5 + n bytes.
      {CobFile().chunk("Mat1", 1, 0, Data(bare).str("a")).chunk("Mat1", 2, 0, Data(bare).str("bc")), "  bc (1)\n" + summary(1)},
      {CobFile().chunk("Mat1", 1, 0, withSix), "  a (1)\n" + summary(1)},
      {CobFile().chunk("Mat1", 1, 0, Data(withSix).u8(0)), "  a (1)\n   (1)\n" + summary(2)},
      // The placement is two floats short: the next chunk's record is never taken for one of this chunk.
      {CobFile().chunk("Mat1", 1, 0, Data(bare).str("first.bmp").floats({0, 0})).chunk("Mat1", 2, 0, mat1({.maps = {texture_map("second.bmp")}})),
       "  first.bmp (1)\n  second.bmp (1)\n" + summary(2)},
  };
  for (const auto& [file, printed] : cases) EXPECT_EQ(listing(file, list_images), printed);
}

}  // namespace
}  // namespace facetor::test
