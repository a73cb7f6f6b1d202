// One libFuzzer target per entry point; FACETOR_FUZZ_MODE picks it:
// 'R', 'A', 'D', 'H', 'I' run that mode on the input; '2' runs two RWX
// conversions in a row in one state record (see fuzz_input.h). Every run is
// also checked for a sound output; an unsound one aborts as a finding.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "fuzz/harness.h"

namespace {

using namespace facetor::fuzz;

void fail_on(const std::vector<std::string>& problems) {
  if (problems.empty()) return;
  for (const std::string& problem : problems) std::fprintf(stderr, "UNSOUND OUTPUT: %s\n", problem.c_str());
  std::abort();
}

Mode target_mode() {
  switch (FACETOR_FUZZ_MODE) {
    case 'A': return Mode::Animation;
    case 'D': return Mode::Dump;
    case 'H': return Mode::Headers;
    case 'I': return Mode::Images;
    default: return Mode::Rwx;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A copy of exactly the input's size, so that any read past it is caught.
  std::vector<std::uint8_t> input(data, data + size);
  facetor::Bytes bytes(input);
  if (FACETOR_FUZZ_MODE == '2') {
    auto [first, second] = split_pair(bytes);
    // Each file in a buffer of its own size, as the driver reads it.
    std::vector<std::uint8_t> one(first.begin(), first.end());
    std::vector<std::uint8_t> two(second.begin(), second.end());
    fail_on(run_and_check_two_conversions(one, two));
    return 0;
  }
  RunState state;
  fail_on(check_run(run_mode(state, target_mode(), bytes), bytes));
  return 0;
}
