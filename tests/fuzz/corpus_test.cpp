// The regression corpus (inputs that once crashed, hung or gave unsound output) and the seed models through every
// mode; the exhaustive damage of a small model; and the checks themselves.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <tuple>

#include "fuzz/harness.h"

namespace facetor::fuzz {
namespace {

// Sound outputs, the same bytes on a second run in a fresh state (nothing depends on memory the input did not
// set), and no trace in the next file (before and after models with prototypes, textures and a skeleton).
TEST(Corpus, EveryFileConvertsSoundlyAndAlike) {
  const auto box = data_file("seeds/textured_box.cob"), avatar = data_file("seeds/avatar.cob");
  for (std::string dir : {"seeds/", "corpus/"}) {
    for (const auto& entry : std::filesystem::directory_iterator(FACETOR_FUZZ_DIR "/" + dir)) {
      const std::string name = dir + entry.path().filename().string();
      const std::vector<std::uint8_t> file = data_file(name);
      for (const std::string& problem : run_and_check(file, avatar)) ADD_FAILURE() << name << ": " << problem;
      for (const std::string& problem : run_and_check(box, file)) ADD_FAILURE() << "box, " << name << ": " << problem;
      for (char mode : {'R', 'A', 'D', 'H', 'I'}) {
        CarriedState first, second;
        ModeRun a = run_mode(first, mode, file), b = run_mode(second, mode, file);
        EXPECT_EQ(std::tuple(a.out, a.console), std::tuple(b.out, b.console)) << name << " mode " << mode;
      }
    }
  }
}

// Every prefix and single-byte change of a small model, and shards that together visit every input once.
TEST(Damage, SmallModelSurvivesEveryTruncationAndByteChange) {
  const auto model = data_file("seeds/avatar.cob"), box = data_file("seeds/textured_box.cob");
  std::set<std::string> whole;
  for_each_damage(model, 0, 1, [&](const std::vector<std::uint8_t>& input, const std::string& what) {
    whole.insert(what);
    for (const std::string& problem : run_and_check(input, box)) ADD_FAILURE() << what << ": " << problem;
  });
  EXPECT_GT(whole.size(), 3 * model.size());
  std::multiset<std::string> shards;
  for (int shard = 0; shard < 3; ++shard)
    for_each_damage(model, shard, 3, [&](const auto&, const std::string& what) { shards.insert(what); });
  EXPECT_EQ(shards, std::multiset<std::string>(whole.begin(), whole.end()));
}

// The checks catch the faults they are there for, and pass the sound forms.
TEST(Checks, RejectUnsoundOutputs) {
  const std::string frame = "#####  Facetor6:      V6.00.601\r\n#####  Source File:   fuzz.cob\r\nModelBegin\r\n";
  const std::string seq = std::string("\x7F\x7F\x7F\x79\0\0\0\0\0\0\0\x09", 12) + "fuzz.cob" +
                          std::string("\0\0\x07pelvis\0", 10);
  const std::string notBinary = "This program only supports Binary format COB files";
  const auto good = data_file("seeds/header_only.cob"), ascii = data_file("seeds/ascii_header.cob");
  const std::tuple<ModeRun, const std::vector<std::uint8_t>*, bool> cases[] = {
      {{'R', frame + " ClumpBegin\r\n", ""}, &good, false},
      {{'R', frame + " ClumpBegin\r\n ClumpBegin\r\n ClumpEnd\r\nModelEnd\r\n", ""}, &good, false},
      {{'R', frame + " ClumpBegin\r\n ClumpEnd\r\nModelEnd\r\n", ""}, &good, true},
      {{'R', frame + " ProtoBegin x\r\n ProtoEnd\r\nModelEnd\r\n", "fuzz.cob: ASCII\n"}, &ascii, false},
      {{'A', seq, ""}, &good, false},
      {{'A', seq + std::string(5, '\0'), ""}, &good, false},
      {{'A', seq + std::string(4, '\0'), ""}, &good, true},
      {{'A', seq.substr(0, 15) + "x" + seq.substr(16) + std::string(4, '\0'), ""}, &good, false},
      {{'D', "END  V0.1 ID=0 Parent=0 Size=0\r\n", ""}, &good, false},
      {{'I', "", "  a.jpg (1)\n  1 images (followed by usage count)\n"}, &good, false},
      {{'I', "", "  a.jpg (1)\n"}, &good, false},
      {{'I', "", "  2 images (followed by usage count)\n"}, &good, true},
      {{'H', "", notBinary}, &ascii, true},
      {{'H', "", "  END  : 1\n"}, &ascii, false},
      {{'H', "", "  END  : 1\n"}, &good, false},
      {{'D', "x\r\n", notBinary}, &ascii, false},
  };
  for (const auto& [run, input, sound] : cases)
    EXPECT_EQ(check_run(run, *input).empty(), sound) << run.mode << " " << run.out << run.console;
}

}  // namespace
}  // namespace facetor::fuzz
