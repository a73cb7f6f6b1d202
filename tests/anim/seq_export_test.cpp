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

TEST(SeqExport, BuiltInTranslationWhenANonRootLimbMoves) {
  CobFile cob;
  cob.chunk("PolH", 1, 0, object("qz_neck")).chunk("Chan", 2, 1, chan("move", 1, move_keys({{0, 7, 8, 9}})));
  const SeqResult result = export_bytes(cob.span());

  const std::string translation(
      "\x00\x00\x00\x04\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00"
      "\x00\x00\x00\x04\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00"
      "\x00\x00\x00\x04\x00\x00\x00\x01\x00\x00\x00\x00\x80\x00\x00\x00",
      48);
  const std::string expected =
      Be().header(0, 1, "a.cob").identity_dummy().i32(4).bytes + translation + Be().closing().bytes;
  EXPECT_EQ(result.file, expected);
  EXPECT_EQ(result.screen, std::string(kDummyLine) + "  Processing MOVE (1 keyframes) for 'dummy'\n" + kDummyLine);
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
      {"qz_HEAD_x", "HEAD"},
      {"QZ_lfhip", ""},              // the prefix is compared with case
      {"Qz_lfhip", ""},
      {"qZ_lfhip", ""},
      {"lfhip", ""},
      {"qz_hip_l", ""},              // spellings with "_" are split apart
      {"qz_sternum_r", ""},
      {"qz_body", ""},
      {"qz_", ""},
      {"qz_" + std::string(90, 'a') + "_neck", "neck"},   // 98 characters
      {"qz_" + std::string(92, 'a') + "_neck", ""},       // 100: cut to 99, "nec"
  };
  for (const auto& c : cases) {
    for (const char* type : {"PolH", "Grou", "pOLh", "GROU"}) {
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

TEST(SeqExport, RootTakesRotationAndTranslationInEitherOrder) {
  const Data rotate = chan("rotate", 1, rotate_keys({{2, 1, 0, 0, 0}}));
  const Data move = chan("move", 1, move_keys({{4, 1, 2, 3}}));
  const std::string expected = Be()
                                   .header(4, 1, "a.cob")
                                   .rotation("Pelvis", 2, 1, 0, 0, 0)
                                   .i32(4)
                                   .i32(4).i32(1).i32(4).f32(1)
                                   .i32(4).i32(1).i32(4).f32(2)
                                   .i32(4).i32(1).i32(4).f32(-3)
                                   .closing()
                                   .bytes;
  for (bool rotateFirst : {true, false}) {
    CobFile cob;
    cob.chunk("PolH", 7, 0, object("qz_Pelvis"))
        .chunk("Chan", 8, 7, rotateFirst ? rotate : move)
        .chunk("Chan", 9, 7, rotateFirst ? move : rotate)
        .chunk("Chan", 10, 7, rotate);
    const SeqResult result = export_bytes(cob.span());
    EXPECT_EQ(result.file, expected);
    EXPECT_EQ(result.screen, std::string(kDuplicateLine) +
                                 "  Processing ROTATE (1 keyframes) for 'Pelvis'\n"
                                 "  Processing MOVE (1 keyframes) for 'Pelvis'\n" +
                                 kDummyLine + "  Totals: frames=4, limbs=1\n");
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

TEST(SeqExport, TwoObjectsNamingOneJointAreTwoLimbs) {
  CobFile cob;
  cob.chunk("PolH", 1, 0, object("qz_a_neck"))
      .chunk("PolH", 2, 0, object("qz_b_NECK"))
      .chunk("Chan", 3, 2, rotate1(2))
      .chunk("Chan", 4, 1, rotate1(1));
  const SeqResult result = export_bytes(cob.span());
  EXPECT_EQ(result.file,
            Be().header(2, 2, "a.cob").rotation("neck", 1, 1, 0, 0, 0).rotation("NECK", 2, 1, 0, 0, 0).i32(0).bytes);
}

TEST(SeqExport, RootMoveIsPreferredOverBuiltInAndFirstMoveWins) {
  // A non-root move sets the marker; the root's own move is written.
  CobFile cob;
  cob.chunk("PolH", 1, 0, object("qz_neck"))
      .chunk("Chan", 2, 1, chan("move", 1, move_keys({{1, 9, 9, 9}})))
      .chunk("PolH", 3, 0, object("qz_pelvis"))
      .chunk("Chan", 4, 3, chan("Move", 1, move_keys({{6, 1, 1, 1}})));
  const SeqResult result = export_bytes(cob.span());
  const std::string expected = Be()
                                   .header(6, 1, "a.cob")
                                   .identity_dummy()
                                   .i32(4)
                                   .i32(4).i32(1).i32(6).f32(1)
                                   .i32(4).i32(1).i32(6).f32(1)
                                   .i32(4).i32(1).i32(6).f32(-1)
                                   .closing()
                                   .bytes;
  EXPECT_EQ(result.file, expected);
}

// Files whose chunk walk or object names decide whether the neck is a limb.
TEST(SeqExport, WalkAndObjectNameBounds) {
  const std::string neck = Be().header(0, 1, "a.cob").rotation("neck", 0, 1, 0, 0, 0).i32(0).bytes;
  const std::string noLimb = Be().header(0, 1, "a.cob").identity_dummy().i32(0).bytes;
  struct Case {
    const char* label;
    CobFile cob;
    std::string file;
    std::string screen;
  };
  const std::vector<Case> cases = {
      {"duplicate count ignored", CobFile().chunk("PolH", 1, 0, Data().name("qz_neck", 3)).chunk("Chan", 2, 1, rotate1()),
       neck, "  Processing ROTATE (1 keyframes) for 'neck'\n"},
      {"walk goes past END", CobFile().end(1).chunk("PolH", 2, 0, object("qz_neck")).chunk("Chan", 3, 2, rotate1()), neck,
       "  Processing ROTATE (1 keyframes) for 'neck'\n"},
      {"negative chunk size ends the walk",
       CobFile().chunk("PolH", 1, 0, object("qz_neck")).chunk_sized("Xxxx", 2, 0, Data(), -8).chunk("Chan", 3, 1, rotate1()),
       noLimb, kDummyLine},
      {"negative name length", CobFile().chunk("PolH", 1, 0, Data().u16(0).i16(-7).raw("qz_neck")).chunk("Chan", 2, 1, rotate1()),
       noLimb, std::string(kDuplicateLine) + kDummyLine},
      // The next chunk's bytes would otherwise complete a joint name.
      {"name past the chunk's data",
       CobFile().chunk_sized("PolH", 1, 0, Data().u16(0).i16(7).raw("qz_"), 7).chunk("Chan", 2, 1, rotate1()), noLimb,
       std::string(kDuplicateLine) + kDummyLine},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const SeqResult result = export_bytes(c.cob.span());
    EXPECT_EQ(result.file, c.file);
    EXPECT_EQ(result.screen, c.screen);
  }
}

TEST(SeqExport, NotABinaryCobFileWritesNothing) {
  struct Case {
    std::vector<std::uint8_t> bytes;
    std::string message;
  };
  const std::string notCob = "File specified is not correctly formatted COB file";
  std::vector<Case> cases = {
      {CobFile('A').bytes, "This program only supports Binary format COB files"},
      {std::vector<std::uint8_t>{'C', 'a', 'l'}, notCob},
      {{}, notCob},
  };
  std::vector<std::uint8_t> lower = CobFile().bytes;
  lower[0] = 'c';
  cases.push_back({lower, notCob});
  for (const Case& c : cases) {
    const SeqResult result = export_bytes(c.bytes);
    EXPECT_EQ(result.file, "");
    EXPECT_EQ(result.screen, c.message);
  }
}

TEST(SeqExport, StateIsResetForEachExport) {
  SeqExportState state;
  JointIndex joints;
  CobFile animated;
  animated.chunk("PolH", 1, 0, object("qz_pelvis")).chunk("Chan", 2, 1, chan("move", 1, move_keys({{90, 0, 0, 0}})));
  CobFile still;
  std::vector<std::string> files;
  for (const CobFile* cob : {&animated, &still}) {
    OutStream out = out_memory(StreamMode::Binary);
    OutStream console = out_memory(StreamMode::Binary);
    export_animation(state, joints, out, console, "a.cob", cob->span());
    files.push_back(out_contents(out));
  }
  ASSERT_GE(files[0].size(), 6u);
  EXPECT_EQ(files[0].substr(4, 2), std::string("\x00\x5A", 2));  // largest frame 90, move marker set
  EXPECT_EQ(files[1], Be().header(0, 1, "a.cob").identity_dummy().i32(0).bytes);
  EXPECT_EQ(state.largestFrame, 0);
  EXPECT_EQ(state.moveMarker, 0);
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
