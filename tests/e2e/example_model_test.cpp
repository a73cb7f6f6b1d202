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

}  // namespace
}  // namespace facetor::test
