// The example model of examples/ is what its generator builds, and the
// program reads it.
#include <gtest/gtest.h>

#include <string>

#include "e2e/e2e_support.h"
#include "support/example_model.h"

namespace facetor::test {
namespace {

const std::string kCommitted = std::string(FACETOR_EXAMPLES_DIR) + "/" + kExampleModelName;

TEST(ExampleModel, CommittedFileEqualsTheGenerator) {
  const std::vector<std::uint8_t> built = example_model();
  EXPECT_EQ(read_file(kCommitted), std::string(built.begin(), built.end()))
      << "regenerate it with the facetor_make_example target";
}

TEST(ExampleModel, ListsAGroupThreeObjectsAndFourMaterials) {
  const ProcessResult result = run_facetor_exe({}, ProcessOptions{"", kCommitted + "\nh\nq\n", 0, 60});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, kBanner + kNamePrompt + kModePrompt + "  Grou : 1\n  PolH : 3\n  Mat1 : 4\n  END  : 1\n" +
                            kNamePrompt);
}

TEST(ExampleModel, ConvertsToRwxNextToIt) {
  TempDir dir;
  write_file(dir / "cottage.cob", example_model());
  const ProcessResult result = run_facetor_exe({dir / "cottage.cob"});
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_TRUE(file_exists(dir / "cottage.rwx"));
}

}  // namespace
}  // namespace facetor::test
