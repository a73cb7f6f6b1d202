#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "seq_test_support.h"

namespace facetor::test {
namespace {

Data object(std::string_view name) { return Data().name(name); }
Data rotate1(float frame = 0) { return chan("rotate", 1, rotate_keys({{frame, 1, 0, 0, 0}})); }

const char* const kDummyLine = "  Processing ROTATE (1 keyframes) for 'dummy'\n";
const char* const kDuplicateLine = "  Duplicate Chan chunk or no corresponding parent\n";

TEST(SeqExport, SmallestFileWithoutLimbs) {
  CobFile cob;
  cob.chunk("PolH", 1, 0, polh("box", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {}, {face({0, 1, 2})})).end(2);
  const SeqResult result = export_bytes(cob.span(), "a.cob");

  const std::string expected(
      "\x7F\x7F\x7F\x79\x00\x00\x00\x00\x00\x01"
      "\x00\x06" "a.cob\x00"
      "\x00\x07pelvis\x00"
      "\x00\x06" "dummy\x00"
      "\x00\x00\x00\x10\x00\x00\x00\x01"
      "\x00\x00\x00\x00\x3F\x80\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
      "\x00\x00\x00\x00",
      67);
  EXPECT_EQ(result.file, expected);
  EXPECT_EQ(result.screen, kDummyLine);
}

TEST(SeqExport, CompleteFile) {
  CobFile cob;
  cob.chunk("Grou", 1, 0, object("qz_pelvis"))
      .chunk("Chan", 2, 1, chan("rotate", 2, rotate_keys({{0, 1, 0, 0, 0}, {40.7f, 0, 1, 0, 0}})))
      .chunk("PolH", 3, 1, object("qz_RtHip"))
      .chunk("Chan", 4, 1, chan("move", 1, move_keys({{5, 1, 2, 3}})))
      .chunk("Chan", 5, 3, chan("rotate", 1, rotate_keys({{3, 1, 0, 0, 0}})))
      .end(6);
  const SeqResult result = export_bytes(cob.span(), "walk.cob");

  const std::string expected(
      "\x7F\x7F\x7F\x79\x00\x28\x00\x00\x00\x02"
      "\x00\x09walk.cob\x00"
      "\x00\x07pelvis\x00"
      "\x00\x07pelvis\x00\x00\x00\x00\x10\x00\x00\x00\x02"
      "\x00\x00\x00\x00\x3F\x80\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
      "\x00\x00\x00\x28\x00\x00\x00\x00\x3F\x80\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
      "\x00\x06RtHip\x00\x00\x00\x00\x10\x00\x00\x00\x01"
      "\x00\x00\x00\x03\x3F\x80\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
      "\x00\x00\x00\x04"
      "\x00\x00\x00\x04\x00\x00\x00\x01\x00\x00\x00\x05\x3F\x80\x00\x00"
      "\x00\x00\x00\x04\x00\x00\x00\x01\x00\x00\x00\x05\x40\x00\x00\x00"
      "\x00\x00\x00\x04\x00\x00\x00\x01\x00\x00\x00\x05\xC0\x40\x00\x00"
      "\x00\x00\x00\x10\x00\x00\x00\x01"
      "\x00\x00\x00\x00\x3F\x80\x00\x00\x00\x00\x00\x00\x80\x00\x00\x00\x00\x00\x00\x00",
      203);
  EXPECT_EQ(result.file, expected);
  EXPECT_EQ(result.screen,
            "  Processing ROTATE (2 keyframes) for 'pelvis'\n"
            "  Processing ROTATE (1 keyframes) for 'RtHip'\n"
            "  Processing MOVE (1 keyframes) for 'pelvis'\n" +
                std::string(kDummyLine) + "  Totals: frames=40, limbs=2\n");
}

struct LimbCase {
  std::string objectName;
  std::string limb;  // empty: no limb
};

TEST(SeqExport, LimbNamingRule) {
  const std::vector<LimbCase> cases = {
      {"qz_body_LfHip", "LfHip"},    // mixed case kept as written
      {"qz__neck", "neck"},          // empty words skipped
      {"qz_lfhip_rthip", "lfhip"},   // the first joint word wins
      {"QZ_lfhip", ""},              // the prefix is compared with case
      {"qz_hip_l", ""},              // spellings with "_" are split apart
      {"qz_" + std::string(90, 'a') + "_neck", "neck"},   // 98 characters
      {"qz_" + std::string(92, 'a') + "_neck", ""},       // 100: cut to 99, "nec"
  };
  for (const auto& c : cases) {
    for (const char* type : {"PolH", "GROU"}) {
      CobFile cob;
      cob.chunk(type, 1, 0, object(c.objectName))
          .chunk("Chan", 2, 1, chan("rotate", 1, rotate_keys({{0, 0.5f, 0, 0, 0}})));
      const SeqResult result = export_bytes(cob.span());
      if (c.limb.empty()) {
        EXPECT_EQ(result.file, Be().header(0, 1, "a.cob").identity_dummy().i32(0).bytes) << c.objectName;
        EXPECT_EQ(result.screen, std::string(kDuplicateLine) + kDummyLine) << c.objectName;
      } else {
        EXPECT_EQ(result.file, Be().header(0, 1, "a.cob").rotation(c.limb, 0, 0.5f, 0, 0, 0).i32(0).bytes)
            << c.objectName << " " << type;
        EXPECT_EQ(result.screen, "  Processing ROTATE (1 keyframes) for '" + c.limb + "'\n") << c.objectName;
      }
    }
  }
}

TEST(SeqExport, DuplicateAndEarlyChanChunksAreIgnored) {
  CobFile cob;
  cob.chunk("Chan", 1, 5, rotate1(9))       // before its object
      .chunk("PolH", 5, 0, object("qz_neck"))
      .chunk("Chan", 2, 5, rotate1(1))
      .chunk("Chan", 3, 5, rotate1(8))      // the neck has its channel
      .chunk("Chan", 4, 99, rotate1(7));    // no such object
  const SeqResult result = export_bytes(cob.span());
  EXPECT_EQ(result.file, Be().header(1, 1, "a.cob").rotation("neck", 1, 1, 0, 0, 0).i32(0).bytes);
  EXPECT_EQ(result.screen, std::string(kDuplicateLine) + kDuplicateLine + kDuplicateLine +
                               "  Processing ROTATE (1 keyframes) for 'neck'\n  Totals: frames=1, limbs=1\n");
}

// Nothing of one export reaches the next: the largest frame and the move
// marker of the first file are not in the second's header.
TEST(SeqExport, NothingCarriesOverToTheNextExport) {
  CobFile animated;
  animated.chunk("PolH", 1, 0, object("qz_pelvis")).chunk("Chan", 2, 1, chan("move", 1, move_keys({{90, 0, 0, 0}})));
  CobFile still;
  std::vector<std::string> files;
  for (const CobFile* cob : {&animated, &still}) files.push_back(export_bytes(cob->span()).file);
  ASSERT_GE(files[0].size(), 6u);
  EXPECT_EQ(files[0].substr(4, 2), std::string("\x00\x5A", 2));  // largest frame 90, move marker set
  EXPECT_EQ(files[1], Be().header(0, 1, "a.cob").identity_dummy().i32(0).bytes);
}

TEST(SeqExport, SampleWithoutLimbsGivesTheBuiltInFile) {
  const std::filesystem::path sample = std::filesystem::path(FACETOR_SAMPLES_DIR) / "molecule.cob";
  if (!std::filesystem::exists(sample)) GTEST_SKIP() << "sample file not found: " << sample;
  const std::string text = read_file(sample.string());
  const std::vector<std::uint8_t> bytes(text.begin(), text.end());
  const SeqResult result = export_bytes(bytes, "molecule.cob");
  EXPECT_EQ(result.file, Be().header(0, 1, "molecule.cob").identity_dummy().i32(0).bytes);
  EXPECT_EQ(result.screen, kDummyLine);
}

}  // namespace
}  // namespace facetor::test
