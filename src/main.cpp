#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "driver/session.h"

int main(int argc, char** argv) {
  facetor::OutStream console = facetor::out_on_file(stdout, facetor::StreamMode::Binary);
  facetor::Session session{console, std::cin, {}};
  const std::vector<std::string> parameters(argv + (argc > 0 ? 1 : 0), argv + argc);
  const int code = facetor::run_facetor(session, parameters);
  facetor::out_flush(console);
  return code;
}
