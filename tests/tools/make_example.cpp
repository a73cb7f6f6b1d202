// Writes the example models: make_example [FOLDER] [--control-bytes]
// (default folder: the examples folder of the source tree). With
// --control-bytes it also writes control_bytes.cob, an input for comparing
// builds (tests/tools/compare_builds.sh), which is not shipped.
#include <cstdio>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "support/cob_builder.h"
#include "support/example_model.h"

int main(int argc, char** argv) {
  using namespace facetor::test;
  const std::string folder = argc > 1 ? argv[1] : FACETOR_EXAMPLES_DIR;
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> models = {
      {kExampleModelName, example_model()}, {kAnimatedModelName, animated_model()}};
  if (argc > 2 && std::string(argv[2]) == "--control-bytes") models.emplace_back("control_bytes.cob", control_bytes_model());
  try {
    for (const auto& [name, bytes] : models) {
      const std::string path = folder + "/" + name;
      write_file(path, bytes);
      std::printf("wrote %s\n", path.c_str());
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return 0;
}
