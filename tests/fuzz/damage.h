// Exhaustive damage of one COB file: every prefix of it, and every single
// byte of it set to 0x00, to 0xFF and incremented, each run through every
// mode in-process and checked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cob/container.h"

namespace facetor::fuzz {

struct DamageCounts {
  std::int64_t truncations = 0;   // prefixes run, the whole file included
  std::int64_t byteChanges = 0;   // changed files run
  std::int64_t unchanged = 0;     // changes that left the byte as it was (not run again)
  std::int64_t modeRuns = 0;      // single mode runs, all inputs together
  std::int64_t inputs() const { return truncations + byteChanges; }
};

struct DamageResult {
  DamageCounts counts;
  std::vector<std::string> problems;  // at most a few dozen, each naming its input
};

// Runs the damaged inputs whose number i (in the order: prefixes of length
// 0..n, then per byte position the three changes) satisfies i % shards ==
// shard. After each input a small sound model is converted in the state that
// converted the damaged one, which must not carry anything of it over.
DamageResult run_damage(Bytes original, int shard = 0, int shards = 1);

// Installs handlers that, should a run die (sanitizer report, fatal signal, or
// an input taking longer than secondsPerInput), write the input being run to
// findingPath and name it on standard error.
void install_finding_handlers(const std::string& findingPath, unsigned secondsPerInput);

}  // namespace facetor::fuzz
