#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "diag/diagnostics.h"
#include "support/cob_builder.h"

namespace facetor {
namespace {

using test::CobFile;
using test::Data;
using test::mat1;
using test::MapRecord;
using test::MaterialSpec;
using test::texture_map;

std::string listing(const CobFile& file) {
  OutStream console = out_memory(StreamMode::Binary);
  list_images(file.span(), console);
  return out_contents(console);
}

// A file with one Mat1 chunk per list of map records.
CobFile materials(const std::vector<std::vector<MapRecord>>& perMaterial) {
  CobFile file;
  std::int32_t id = 10;
  for (const auto& maps : perMaterial) file.chunk("Mat1", id++, 1, mat1(MaterialSpec{.maps = maps}));
  return file.end(99);
}

// The 37 fixed bytes of a material, for chunks built byte by byte.
Data fixed_part() { return mat1(MaterialSpec{}); }

TEST(ImageList, SameFileInOtherFoldersAndCasesIsOneEntryWithTheFirstSpelling) {
  const CobFile file = materials({{texture_map("C:\\textures\\Wood.BMP")},
                                  {texture_map("stone.jpg")},
                                  {texture_map("maps/old/wood.bmp")}});
  EXPECT_EQ(listing(file),
            "  Wood.BMP (2)\n"
            "  stone.jpg (1)\n"
            "  2 images (followed by usage count)\n");
}

TEST(ImageList, TrailingSeparatorAndEmptyNameGiveTheEmptyImage) {
  const CobFile file = materials({{texture_map("textures/")}, {texture_map("")}});
  EXPECT_EQ(listing(file), "   (2)\n  1 image (followed by usage count)\n");
}

TEST(ImageList, SummaryWordFollowsTheCount) {
  struct Case {
    std::vector<std::vector<MapRecord>> maps;
    std::string summary;
  };
  const std::vector<Case> cases = {
      {{}, "  0 image (followed by usage count)\n"},
      {{{texture_map("a.bmp")}}, "  a.bmp (1)\n  1 image (followed by usage count)\n"},
      {{{texture_map("a.bmp"), texture_map("b.bmp")}},
       "  a.bmp (1)\n  b.bmp (1)\n  2 images (followed by usage count)\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(listing(materials(c.maps)), c.summary);
}

TEST(ImageList, BumpAndEnvironmentMapsAreNotListed) {
  const MapRecord bump{'b', 0, "bump.bmp", {0, 0, 1, 1, 0.5f}};
  const MapRecord environment{'e', 0, "sky.bmp", {}};
  const CobFile file = materials({{environment, bump, texture_map("skin.bmp"), texture_map("x/skin.bmp")}});
  EXPECT_EQ(listing(file), "  skin.bmp (2)\n  1 image (followed by usage count)\n");
}

TEST(ImageList, MaterialOf43BytesIsSkippedAndOf44IsLookedAt) {
  // Fixed part and one texture record without placement: 37 + 5 + n bytes.
  CobFile file;
  file.chunk("Mat1", 1, 0, fixed_part().u8('t').u8(0).u8(0).str("a"))    // 43 bytes
      .chunk("mAT1", 2, 0, fixed_part().u8('t').u8(0).u8(0).str("bc"));  // 44 bytes
  EXPECT_EQ(listing(file), "  bc (1)\n  1 image (followed by usage count)\n");
}

TEST(ImageList, RecordsAreLookedAtWhileSixBytesRemain) {
  // A texture record of 22 bytes ends at data offset 59; the next record is
  // looked at only while 59 + 6 is less than the data size.
  const Data first = fixed_part().u8('t').u8(0).u8(0).str("a").floats({0, 0, 1, 1});
  const Data withSix = Data(first).u8('t').u8(0).u8(0).str("").u8(0);
  const Data withSeven = Data(withSix).u8(0);
  EXPECT_EQ(listing(CobFile().chunk("Mat1", 1, 0, withSix)), "  a (1)\n  1 image (followed by usage count)\n");
  EXPECT_EQ(listing(CobFile().chunk("Mat1", 1, 0, withSeven)),
            "  a (1)\n   (1)\n  2 images (followed by usage count)\n");
}

TEST(ImageList, DamagedRecordsEndTheWalkOfTheirChunkOnly) {
  const std::string none = "  0 image (followed by usage count)\n";
  // A negative name length ends the chunk; the next record is not reached.
  const Data negative = fixed_part().u8('t').u8(0).u8(0).i16(-3).raw("abc").floats({0, 0, 1, 1}).u8('t').u8(0).u8(0).str("later.bmp").floats({0, 0, 1, 1});
  EXPECT_EQ(listing(CobFile().chunk("Mat1", 1, 0, negative).end()), none);
  // A name that runs past the chunk's data is not used, even though the
  // buffer holds bytes after it.
  const Data longName = fixed_part().u8('t').u8(0).u8(0).i16(20).raw("short.bmp");
  EXPECT_EQ(listing(CobFile().chunk("Mat1", 1, 0, longName).chunk("Mat1", 2, 0, mat1({.maps = {texture_map("next.bmp")}}))),
            "  next.bmp (1)\n  1 image (followed by usage count)\n");
  // A chunk that claims more data than the file holds is bounded by the file.
  const Data cut = fixed_part().u8('t').u8(0).u8(0).str("cut.bmp").floats({0, 0});
  EXPECT_EQ(listing(CobFile().chunk_sized("Mat1", 1, 0, cut, 500)), "  cut.bmp (1)\n  1 image (followed by usage count)\n");
  CobFile headOnly;
  headOnly.chunk_sized("Mat1", 1, 0, fixed_part().u8('t').u8(0).u8(0), 500);
  EXPECT_EQ(listing(headOnly), none);
}

TEST(ImageList, TextureWithoutRoomForPlacementIsListedAndEndsTheChunk) {
  // The first record's placement is two floats short, so the record after it
  // in the buffer (another chunk) is never taken for one of this chunk.
  const Data data = fixed_part().u8('t').u8(0).u8(0).str("first.bmp").floats({0, 0});
  CobFile file;
  file.chunk("Mat1", 1, 0, data).chunk("Mat1", 2, 0, mat1({.maps = {texture_map("second.bmp")}}));
  EXPECT_EQ(listing(file), "  first.bmp (1)\n  second.bmp (1)\n  2 images (followed by usage count)\n");
}

TEST(ImageList, NamesAreUsedUpToTheirFirstNulAndListedWhole) {
  const std::string withNul("dir/a.bmp\0/b/c.bmp", 18);
  const std::string longName = "folder\\" + std::string(40, 'x') + ".bmp";
  const CobFile file = materials({{texture_map(withNul), texture_map(longName)}});
  EXPECT_EQ(listing(file), "  a.bmp (1)\n  " + std::string(40, 'x') + ".bmp (1)\n  2 images (followed by usage count)\n");
}

TEST(ImageList, HeaderFailuresPrintOnlyTheirMessage) {
  CobFile ascii('A');
  ascii.chunk("Mat1", 1, 0, mat1({.maps = {texture_map("a.bmp")}}));
  EXPECT_EQ(listing(ascii), "This program only supports Binary format COB files");
  CobFile shortFile;
  shortFile.bytes.resize(20);
  EXPECT_EQ(listing(shortFile), "File specified is not correctly formatted COB file");
}

TEST(ImageList, MoleculeSampleHasNoTextures) {
  const std::string path = std::string(FACETOR_SAMPLES_DIR) + "/molecule.cob";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "sample file not found: " << path;
  const std::string bytes = test::read_file(path);
  OutStream console = out_memory(StreamMode::Binary);
  list_images(Bytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), console);
  // Its four materials have no map records.
  EXPECT_EQ(out_contents(console), "  0 image (followed by usage count)\n");
}

}  // namespace
}  // namespace facetor
