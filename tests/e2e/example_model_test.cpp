// The example models of examples/ are what their generator builds, and the
// program reads them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "e2e/e2e_support.h"
#include "support/example_model.h"

namespace facetor::test {
namespace {

TEST(ExampleModel, CommittedFilesEqualTheGenerator) {
  const std::pair<const char*, std::vector<std::uint8_t>> models[] = {
      {kExampleModelName, example_model()}, {kAnimatedModelName, animated_model()}};
  for (const auto& [name, built] : models) {
    EXPECT_EQ(read_file(std::string(FACETOR_EXAMPLES_DIR) + "/" + name), std::string(built.begin(), built.end()))
        << name << ": regenerate it with the facetor_make_example target";
  }
}

// Mode A on the walker exports its five rotation channels and the root's
// translation, not the built-in stand-in alone.
TEST(ExampleModel, WalkerGivesARealSequence) {
  TempDir dir;
  std::filesystem::copy_file(std::string(FACETOR_EXAMPLES_DIR) + "/" + kAnimatedModelName, dir / "walker.cob");
  ProcessOptions options;
  options.workingDir = dir.path;
  const ProcessResult result = run_facetor_exe({"walker.cob", "A"}, options);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_NE(result.out.find("  Processing MOVE (5 keyframes) for 'pelvis'\n"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("  Totals: frames=30, limbs=5\n"), std::string::npos) << result.out;
  const std::string seq = read_file(dir / "walker.seq");
  ASSERT_GE(seq.size(), 10u);
  EXPECT_EQ(seq.substr(4, 6), std::string("\x00\x1e\x00\x00\x00\x05", 6)) << "largest frame 30, five limbs";
}

}  // namespace
}  // namespace facetor::test
