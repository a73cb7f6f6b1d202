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

std::string summary(int count) {
  return "  " + std::to_string(count) + (count == 1 ? " image" : " images") + " (followed by usage count)\n";
}

TEST(ImageList, Examples) {
  const MapRecord bump{'b', 0, "bump.bmp", {0, 0, 1, 1, 0.5f}};
  const MapRecord environment{'e', 0, "sky.bmp", {}};
  // A texture record of 22 bytes ends at data offset 59; the next record is
  // looked at only while 59 + 6 is less than the data size.
  const Data first = fixed_part().u8('t').u8(0).u8(0).str("a").floats({0, 0, 1, 1});
  const Data withSix = Data(first).u8('t').u8(0).u8(0).str("").u8(0);
  const Data withSeven = Data(withSix).u8(0);
  struct Case {
    const char* label;
    CobFile file;
    std::string printed;
  };
  const std::vector<Case> cases = {
      {"no materials", materials({}), "  0 image (followed by usage count)\n"},
      {"one folder and case per file, first spelling kept",
       materials({{texture_map("C:\\textures\\Wood.BMP")}, {texture_map("stone.jpg")}, {texture_map("maps/old/wood.bmp")}}),
       "  Wood.BMP (2)\n  stone.jpg (1)\n" + summary(2)},
      {"bump and environment maps not listed",
       materials({{environment, bump, texture_map("skin.bmp"), texture_map("x/skin.bmp")}}), "  skin.bmp (2)\n" + summary(1)},
      // Fixed part and one texture record without placement: 37 + 5 + n bytes.
      {"material of 43 bytes skipped, of 44 looked at",
       CobFile()
           .chunk("Mat1", 1, 0, fixed_part().u8('t').u8(0).u8(0).str("a"))
           .chunk("mAT1", 2, 0, fixed_part().u8('t').u8(0).u8(0).str("bc")),
       "  bc (1)\n" + summary(1)},
      {"six bytes left: no further record", CobFile().chunk("Mat1", 1, 0, withSix), "  a (1)\n" + summary(1)},
      {"seven bytes left: one more record", CobFile().chunk("Mat1", 1, 0, withSeven), "  a (1)\n   (1)\n" + summary(2)},
      // The placement is two floats short, so the record after it in the
      // buffer (another chunk) is never taken for one of this chunk.
      {"texture without room for placement ends the chunk",
       CobFile()
           .chunk("Mat1", 1, 0, fixed_part().u8('t').u8(0).u8(0).str("first.bmp").floats({0, 0}))
           .chunk("Mat1", 2, 0, mat1({.maps = {texture_map("second.bmp")}})),
       "  first.bmp (1)\n  second.bmp (1)\n" + summary(2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(listing(c.file), c.printed);
  }
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
