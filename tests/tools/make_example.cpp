// Writes the example model: make_example [PATH] (default: the examples folder).
#include <cstdio>
#include <exception>
#include <string>

#include "support/cob_builder.h"
#include "support/example_model.h"

int main(int argc, char** argv) {
  const std::string path =
      argc > 1 ? argv[1] : std::string(FACETOR_EXAMPLES_DIR) + "/" + facetor::test::kExampleModelName;
  try {
    facetor::test::write_file(path, facetor::test::example_model());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  std::printf("wrote %s\n", path.c_str());
  return 0;
}
