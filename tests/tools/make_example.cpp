// Writes the example models: make_example [FOLDER] (default: the examples
// folder of the source tree).
#include <cstdio>
#include <exception>
#include <string>

#include "support/cob_builder.h"
#include "support/example_model.h"

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : FACETOR_EXAMPLES_DIR;
  try {
    for (const auto& [name, bytes] : {std::pair{facetor::test::kExampleModelName, facetor::test::example_model()},
                                      std::pair{facetor::test::kAnimatedModelName, facetor::test::animated_model()}}) {
      const std::string path = folder + "/" + name;
      facetor::test::write_file(path, bytes);
      std::printf("wrote %s\n", path.c_str());
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return 0;
}
