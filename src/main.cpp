#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "driver/session.h"
#include "io/platform.h"

int main(int argc, char** argv) {
  // Bytes as they are on every standard stream.
  facetor::platform::set_binary_standard_streams();
  facetor::OutStream console = facetor::out_on_file(stdout, facetor::StreamMode::Binary);
  facetor::OutStream errors = facetor::out_on_file(stderr, facetor::StreamMode::Binary);
  facetor::Session session{console, errors, std::cin, {}};
  const std::vector<std::string> parameters = facetor::platform::program_arguments(argc, argv);
  const int code = facetor::run_facetor(session, parameters);
  facetor::out_flush(console);
  facetor::out_flush(errors);
  return code;
}
