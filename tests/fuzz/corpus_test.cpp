// The regression corpus (every input that ever crashed, hung or gave an
// unsound output, minimised) and the project's seed models, run through every
// mode in-process; plus exhaustive damage of two small models.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/damage.h"
#include "fuzz/harness.h"
#include "fuzz/seed_models.h"
#include "support/cob_builder.h"

namespace facetor::fuzz {
namespace {

struct CorpusFile {
  std::string name;
  std::vector<std::uint8_t> bytes;
};

// Test names and failure messages show the file's name, not its bytes.
void PrintTo(const CorpusFile& file, std::ostream* os) { *os << file.name; }

std::vector<CorpusFile> corpus_files() {
  std::vector<CorpusFile> files;
  for (const auto& entry : std::filesystem::directory_iterator(FACETOR_FUZZ_CORPUS_DIR)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    files.push_back({"corpus_" + entry.path().filename().string(),
                     std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>())});
  }
  for (const SeedModel& seed : seed_models()) files.push_back({"seed_" + seed.name, seed.bytes});
  std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return files;
}

std::string test_name(const testing::TestParamInfo<CorpusFile>& info) {
  std::string name = info.param.name;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

std::vector<std::uint8_t> seed(const std::string& name) {
  for (SeedModel& model : seed_models()) {
    if (model.name == name) return model.bytes;
  }
  ADD_FAILURE() << "no seed model " << name;
  return {};
}

class Corpus : public testing::TestWithParam<CorpusFile> {};

TEST_P(Corpus, EveryModeGivesASoundOutput) {
  for (const std::string& problem : run_and_check_every_mode(GetParam().bytes)) ADD_FAILURE() << problem;
}

// Nothing may depend on memory that the input did not set: the same input in
// a fresh state gives the same bytes every time.
TEST_P(Corpus, EveryModeGivesTheSameOutputTwice) {
  for (Mode mode : kAllModes) {
    RunState first;
    RunState second;
    ModeRun a = run_mode(first, mode, GetParam().bytes);
    ModeRun b = run_mode(second, mode, GetParam().bytes);
    EXPECT_EQ(a.out, b.out) << "mode " << mode_letter(mode);
    EXPECT_EQ(a.console, b.console) << "mode " << mode_letter(mode);
  }
}

// The state carried from one file to the next: before and after a model with
// prototypes, textures and a skeleton.
TEST_P(Corpus, ConvertsSoundlyBetweenOtherModels) {
  const std::vector<std::uint8_t> box = seed("textured_box.cob");
  const std::vector<std::uint8_t> avatar = seed("avatar.cob");
  for (const std::string& problem : run_and_check_two_conversions(box, GetParam().bytes))
    ADD_FAILURE() << "after textured_box: " << problem;
  for (const std::string& problem : run_and_check_two_conversions(GetParam().bytes, avatar))
    ADD_FAILURE() << "before avatar: " << problem;
}

INSTANTIATE_TEST_SUITE_P(Files, Corpus, testing::ValuesIn(corpus_files()), test_name);

// Every prefix and every single-byte change of two small models.
TEST(Damage, SmallModelsSurviveEveryTruncationAndByteChange) {
  for (const char* name : {"avatar.cob", "face_with_holes.cob"}) {
    const std::vector<std::uint8_t> model = seed(name);
    DamageResult result = run_damage(model);
    for (const std::string& problem : result.problems) ADD_FAILURE() << name << ": " << problem;
    const auto n = static_cast<std::int64_t>(model.size());
    EXPECT_EQ(result.counts.truncations, n + 1) << name;
    EXPECT_EQ(result.counts.byteChanges + result.counts.unchanged, 3 * n) << name;
  }
}

// The damage inputs are shared among shards without gaps or overlaps.
TEST(Damage, ShardsTogetherRunEveryInputOnce) {
  const std::vector<std::uint8_t> model = seed("face_with_holes.cob");
  DamageResult whole = run_damage(model);
  DamageCounts sum;
  for (int shard = 0; shard < 3; ++shard) {
    DamageResult part = run_damage(model, shard, 3);
    sum.truncations += part.counts.truncations;
    sum.byteChanges += part.counts.byteChanges;
    sum.unchanged += part.counts.unchanged;
  }
  EXPECT_EQ(sum.truncations, whole.counts.truncations);
  EXPECT_EQ(sum.byteChanges, whole.counts.byteChanges);
  EXPECT_EQ(sum.unchanged, whole.counts.unchanged);
}

// The checks themselves catch the faults they are there for.
struct Unsound {
  const char* what;
  Mode mode;
  std::string out;
  std::string console;
};

TEST(Checks, RejectUnsoundOutputs) {
  const std::string frame = "#####  Facetor6:      V6.00.601\r\n#####  Source File:   fuzz.cob\r\nModelBegin\r\n";
  const std::string seqHead = std::string("\x7F\x7F\x7F\x79\0\0\0\0\0\0\0\x09", 12) + "fuzz.cob" +
                              std::string("\0\0\x07pelvis\0", 10);
  const Unsound cases[] = {
      {"RWX file cut short", Mode::Rwx, frame + " ClumpBegin\r\n", ""},
      {"unbalanced clumps", Mode::Rwx, frame + " ClumpBegin\r\n ClumpBegin\r\n ClumpEnd\r\nModelEnd\r\n", ""},
      {"sequence file whose marker is missing", Mode::Animation, seqHead, ""},
      {"sequence file with trailing bytes", Mode::Animation, seqHead + std::string(5, '\0'), ""},
      {"dump without tally", Mode::Dump, "END  V0.1 ID=0 Parent=0 Size=0\r\n", ""},
      {"image list with a wrong plural", Mode::Images, "", "  a.jpg (1)\n  1 images (followed by usage count)\n"},
      {"image list without summary", Mode::Images, "", "  a.jpg (1)\n"},
  };
  test::CobFile file;
  file.end();
  for (const Unsound& c : cases) {
    ModeRun run{c.mode, c.out, c.console};
    EXPECT_FALSE(check_run(run, file.span()).empty()) << c.what;
  }
  // And accept the sound forms of the same outputs.
  EXPECT_TRUE(check_run({Mode::Rwx, frame + " ClumpBegin\r\n ClumpEnd\r\nModelEnd\r\n", ""}, file.span()).empty());
  EXPECT_TRUE(check_run({Mode::Animation, seqHead + std::string(4, '\0'), ""}, file.span()).empty());
  EXPECT_TRUE(check_run({Mode::Images, "", "  2 images (followed by usage count)\n"}, file.span()).empty());
}

TEST(Checks, ARefusedFileMayOnlyPrintItsHeaderMessage) {
  const std::vector<std::uint8_t> ascii = seed("ascii_header.cob");
  EXPECT_TRUE(check_run({Mode::Headers, "", "This program only supports Binary format COB files"}, ascii).empty());
  EXPECT_FALSE(check_run({Mode::Headers, "", "  END  : 1\n"}, ascii).empty());
  EXPECT_FALSE(check_run({Mode::Dump, "x\r\n", "This program only supports Binary format COB files"}, ascii).empty());
  const std::string stale = "#####  Facetor6:      V6.00.601\r\n#####  Source File:   fuzz.cob\r\nModelBegin\r\n"
                            " ClumpBegin\r\n  ProtoInstance box\r\n ClumpEnd\r\nModelEnd\r\n";
  EXPECT_FALSE(check_run({Mode::Rwx, stale, "fuzz.cob: ASCII format COB files are not supported - resave as binary\n"},
                         ascii).empty());
}

}  // namespace
}  // namespace facetor::fuzz
