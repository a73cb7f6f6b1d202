// The libFuzzer target: the first byte picks the mode (R, A, D, H, I, or 2: every mode on a first file, then a
// second converted after it), the rest is the input. An unsound output aborts as a finding.
#include <cstdio>
#include <cstdlib>

#include "fuzz/harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const char mode = facetor::fuzz::kModes[data[0] % std::size(facetor::fuzz::kModes)];
  std::vector<std::string> problems = facetor::fuzz::run_fuzz_input(mode, facetor::Bytes(data + 1, size - 1));
  for (const std::string& problem : problems) std::fprintf(stderr, "UNSOUND OUTPUT: %s\n", problem.c_str());
  if (!problems.empty()) std::abort();
  return 0;
}
