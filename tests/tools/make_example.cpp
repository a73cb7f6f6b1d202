// make_example [FOLDER] [--control-bytes]: writes the example models into
// FOLDER (default: the source tree's examples folder); with --control-bytes
// also control_bytes.cob, an input for tests/tools/compare_builds.sh.
#include <cstdio>
#include <exception>
#include <string>
#include "support/cob_builder.h"
#include "support/example_model.h"

int main(int argc, char** argv) try {
  using namespace facetor::test;
  const std::string folder = argc > 1 ? argv[1] : FACETOR_EXAMPLES_DIR;
  write_file(folder + "/" + kExampleModelName, example_model());
  write_file(folder + "/" + kAnimatedModelName, animated_model());
  if (argc > 2 && std::string(argv[2]) == "--control-bytes") write_file(folder + "/control_bytes.cob", control_bytes_model());
  return std::printf("wrote the models in %s\n", folder.c_str()) < 0;
} catch (const std::exception& error) {
  return std::fprintf(stderr, "%s\n", error.what()), 1;
}
