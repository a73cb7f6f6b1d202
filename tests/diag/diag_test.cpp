// Modes D, H and I: the dump, the chunk type tally and the image list.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <string_view>
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

template <typename List>
std::string listing(const CobFile& file, List list) {
  OutStream console = out_memory(StreamMode::Binary);
  return list(file.span(), console), out_contents(console);
}

// The expected dump text, written with "\n" line ends.
std::string crlf(std::string_view text) {
  std::string result;
  for (char c : text) result += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return result;
}

// The dump of a name with unit axes at the origin and the identity position.
std::string placement(std::string_view name) {
  return "  Name=" + std::string(name) + "\n  Axes:\n" +
         "    Center=0.000000 0.000000 0.000000\n    X=1.000000 0.000000 0.000000\n"
         "    Y=0.000000 1.000000 0.000000\n    Z=0.000000 0.000000 1.000000\n  Current Position:\n"
         "    Row1=1.000000 0.000000 0.000000 0.000000\n    Row2=0.000000 1.000000 0.000000 0.000000\n    Row3=0.000000 0.000000 1.000000 0.000000\n";
}

TEST(DebugDump, DenseModel) {
  Data knuckle = Data().name("k").axes().matrix().str("m1").str("m2").str("c"), lattice;
  for (int i = 0; i < 27; ++i) knuckle.f32(static_cast<float>(i));
  knuckle.u16(0x0007);  // contractor, flexor and extensor records follow
  for (int i = 0; i < 18; ++i) knuckle.f32(static_cast<float>(i) + 0.5f);
  lattice.name("l").axes().matrix().u16(16).i16(2).i16(3).i16(4).floats({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
  lattice.i16(2).str("o1").str("o2");
  CobFile file;
  file.chunk("DDiv", 1, 0, Data().u16(0x1234))
      .chunk("Skin", 2, 1, skin("S", {7, 8}))
      .chunk("Nail", 3, 0, Data().name("n").axes().matrix().u16(3).str(std::string(1500, 't')))  // texts cut to 1003
      .chunk("Knuc", 4, 0, knuckle)
      .chunk("DefP", 5, 0, lattice)
      .chunk("Bone", 6, 0, bone("b"))
      .chunk("Unit", 7, 0, Data().u16(2))
      .end(8);
  EXPECT_EQ(dump(file), crlf(std::string() +
                   "DDiv V0.1 ID=1 Parent=0 Size=2\n  Flags=0x1234\nSkin V0.1 ID=2 Parent=1 Size=15\n  Muscle or tendon: S\n"
                   "  Vertex 0: 7\n  Vertex 1: 8\nNail V0.1 ID=3 Parent=0 Size=1605\n" + placement("n") +
                   "  Degrees of freedom: 3\n  Nailed object: " + std::string(1003, 't') + "\nKnuc V0.1 ID=4 Parent=0 Size=294\n" + placement("k") +
                   "  Muscle1: m1\n  Muscle2: m2\n  Contractor: c\n  Initial degrees of freedom:\n"
                   "    Pitch=0.000000, Yaw=1.000000, Roll=2.000000\n    TransX=3.000000, TransY=4.000000, TransZ=5.000000\n"
                   "  Initial joint axes and connectors:\n    Connector1 position=6.000000 7.000000 8.000000\n"
                   "    Connector2 position=9.000000 10.000000 11.000000\n    Pitch axis=12.000000 13.000000 14.000000\n"
                   "    Yaw axis=15.000000 16.000000 17.000000\n    Connector1 direction=18.000000 19.000000 20.000000\n"
                   "    Roll axis (Connector2 direction)=21.000000 22.000000 23.000000\n"
                   "    Vertical direction=24.000000 25.000000 26.000000\n"
                   "  Contractor parameters mask: 0x0007 (MuscleContractor MuscleFlexor MuscleExtensor)\n"
                   "    Contractor strength=0.500000 width=1.500000 length=2.500000 falloff=3.500000\n"
                   "    Flexor orientation 4.500000 5.500000 6.500000, strength=7.500000 width=8.500000 length=9.500000 falloff=10.500000\n"
                   "    Extensoror orientation 11.500000 12.500000 13.500000, strength=14.500000 width=15.500000 length=16.500000 falloff=17.500000\n"
                   "DefP V0.1 ID=5 Parent=0 Size=167\n" + placement("l") +
                   "  Deformation type: Cylindrical free-standing (0010)\n  Number of deformation floors: S=2 T=3 U=4\n"
                   "  Lattice:\n    X0=0.000000 1.000000 2.000000\n    S=3.000000 4.000000 5.000000\n"
                   "    T=6.000000 7.000000 8.000000\n    U=9.000000 10.000000 11.000000\n  Object 1: o1\n  Object 2: o2\n"
                   "Bone V0.1 ID=6 Parent=0 Size=101\n" + placement("b") +
                   "Unit V0.1 ID=7 Parent=0 Size=2\nEND  V0.1 ID=8 Parent=0 Size=0\n\n\nDDiv : 1\nSkin : 1\nNail : 1\nKnuc : 1\n"
                   "DefP : 1\nBone : 1\nUnit : 1\nEND  : 1\n"));
}

// A chunk's content ends with its size, or with the file when the size is negative
// or past the file's end; it is never read from the chunks after it.
TEST(DebugDump, ContentStaysWithinItsChunk) {
  const Data skinData = Data().str("S").i32(3).i32(7).i32(8);  // three vertices, two present
  for (std::int32_t size : {-1, 1000}) {
    EXPECT_EQ(dump(CobFile().chunk_sized("Skin", 5, 1, skinData, size)),
              crlf("Skin V0.1 ID=5 Parent=1 Size=" + std::to_string(size) +
                   "\n  Muscle or tendon: S\n  Vertex 0: 7\n  Vertex 1: 8\n\n\nSkin : 1\n"));
  }
  CobFile skins;
  for (int id = 1; id <= 3; ++id) skins.chunk("Skin", id, 1, Data());
  skins.chunk("Skin", 4, 1, Data().i16(-2).raw("ab").i32(1).i32(5)).chunk("Skin", 6, 1, Data().i16(300).raw("ab"));
  EXPECT_EQ(dump(skins), crlf("Skin V0.1 ID=1 Parent=1 Size=0\nSkin V0.1 ID=2 Parent=1 Size=0\n"
                              "Skin V0.1 ID=3 Parent=1 Size=0\nSkin V0.1 ID=4 Parent=1 Size=12\n"
                              "Skin V0.1 ID=6 Parent=1 Size=4\n\n\nSkin : 5\n"));
  EXPECT_EQ(dump(CobFile('A').end()), "This program only supports Binary format COB files");
  CobFile wrongMagic = CobFile().end();
  wrongMagic.bytes[0] = 'c';
  EXPECT_EQ(dump(wrongMagic), "File specified is not correctly formatted COB file");
}

TEST(HeaderListing, Examples) {
  const std::vector<std::pair<CobFile, std::string>> cases = {
      {CobFile().chunk("PolH", 1, 0, Data()).chunk("Mat1", 2, 1, Data()).chunk("pOLH", 3, 0, Data()).end(4),
       "  PolH : 2\n  Mat1 : 1\n  END  : 1\n"},  // first spelling kept, END with its blank
      {CobFile().chunk(std::string("Ab\0d", 4), 1, 0, Data()).chunk(std::string("aB\0x", 4), 2, 0, Data()), "  Ab : 2\n"},
      {CobFile().end(1).chunk("Grou", 2, 0, Data()).end(3).raw(std::vector<std::uint8_t>(19, 'x')), "  END  : 2\n  Grou : 1\n"},
      {CobFile('A').end(1), "This program only supports Binary format COB files"},
      {CobFile().chunk_sized("PolH", 1, 0, Data(), 21).end(2), "  PolH : 1\n"},
      {CobFile().chunk("Unit", 1, 0, Data()).chunk_sized("PolH", 2, 0, Data(), -40).end(3), "  Unit : 1\n  PolH : 1\n"},
      {CobFile().chunk_sized("PolH", 1, 0, Data(), std::numeric_limits<std::int32_t>::max()).end(2), "  PolH : 1\n"},
  };
  for (const auto& [file, printed] : cases) EXPECT_EQ(listing(file, list_chunk_types), printed);
}

// The indexed tally gives the entries of a plain scan (types equal up to their
// first NUL, ASCII case folded), for types drawn from a small alphabet with
// case and NUL variants.
TEST(ChunkTally, IndexedTallyAgreesWithThePlainScan) {
  const auto folded = [](std::string text) {
    for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    return text;
  };
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
  const auto summary = [](int n) {
    return "  " + std::to_string(n) + (n > 1 ? " images" : " image") + " (followed by usage count)\n";
  };
  const auto materials = [](const std::vector<std::vector<MapRecord>>& maps) {
    CobFile file;
    for (std::size_t i = 0; i < maps.size(); ++i) file.chunk(i ? "mAT1" : "Mat1", 9, 1, mat1({.maps = maps[i]}));
    return file.end(99);
  };
  // A texture record of 22 bytes ends at data offset 59; the next record is
  // looked at only while 59 + 6 is less than the data size.
  const Data bare = mat1({}).u8('t').u8(0).u8(0);  // a texture record's type and flags
  const Data withSix = Data(bare).str("a").floats({0, 0, 1, 1}).u8('t').u8(0).u8(0).str("").u8(0);
  const std::vector<std::pair<CobFile, std::string>> cases = {
      {materials({}), summary(0)},
      {materials({{texture_map("C:\\textures\\Wood.BMP")}, {texture_map("stone.jpg")}, {texture_map("maps/old/wood.bmp")}}),
       "  Wood.BMP (2)\n  stone.jpg (1)\n" + summary(2)},
      {materials({{{'e', 0, "sky.bmp", {}}, {'b', 0, "bump.bmp", {0, 0, 1, 1, 0.5f}}, texture_map("skin.bmp")}}),
       "  skin.bmp (1)\n" + summary(1)},
      // Fixed part and one texture record without placement: 37 + 5 + n bytes.
      {CobFile().chunk("Mat1", 1, 0, Data(bare).str("a")).chunk("Mat1", 2, 0, Data(bare).str("bc")), "  bc (1)\n" + summary(1)},
      {CobFile().chunk("Mat1", 1, 0, withSix), "  a (1)\n" + summary(1)},
      {CobFile().chunk("Mat1", 1, 0, Data(withSix).u8(0)), "  a (1)\n   (1)\n" + summary(2)},
      // The placement is two floats short: the record of the next chunk is
      // never taken for one of this chunk.
      {CobFile()
           .chunk("Mat1", 1, 0, Data(bare).str("first.bmp").floats({0, 0}))
           .chunk("Mat1", 2, 0, mat1({.maps = {texture_map("second.bmp")}})),
       "  first.bmp (1)\n  second.bmp (1)\n" + summary(2)},
  };
  for (const auto& [file, printed] : cases) EXPECT_EQ(listing(file, list_images), printed);
}

}  // namespace
}  // namespace facetor::test
