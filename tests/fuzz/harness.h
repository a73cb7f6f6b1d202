// In-process runs of every mode on one buffer, the checks every output must
// pass whatever bytes it was given, and the seed models. Shared by the
// libFuzzer target, damage_check and the corpus test.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cob/container.h"
#include "driver/session.h"

namespace facetor::fuzz {

inline const std::string kSourceName = "fuzz.cob";
// The modes; '2' converts two files (split at kPairSeparator) in one state.
inline constexpr char kModes[] = {'R', 'A', 'D', 'H', 'I', '2'};
inline constexpr std::string_view kPairSeparator = "\n--NEXT-COB-FILE--\n";

struct ModeRun {
  char mode = 'R';
  std::string out, console;  // the file output (none for H and I), the screen
};

// Runs one mode ('R', 'A', 'D', 'H', 'I') as the driver would for kSourceName.
ModeRun run_mode(ConversionState& state, char mode, Bytes buffer);

// Problems in one run's output; empty when sound. The checks never depend on
// what the file says, only on the shape every output must have.
std::vector<std::string> check_run(const ModeRun& run, Bytes buffer);

// Every file mode, each in a fresh state, then `follow` converted in the state
// that converting `buffer` left, which must show nothing of it.
std::vector<std::string> run_and_check(Bytes buffer, Bytes follow);

// Visits every damaged copy of `original` whose number i % shards == shard:
// the prefixes of length 0..n, then per byte 0x00, 0xFF and the byte plus one
// (changes that leave the byte as it was are skipped), each in a buffer of
// exactly its size, with a description.
using DamageVisit = std::function<void(const std::vector<std::uint8_t>&, const std::string&)>;
void for_each_damage(Bytes original, int shard, int shards, const DamageVisit& visit);

// Runs mode '2' or any other on one fuzzer input; problems found.
std::vector<std::string> run_fuzz_input(char mode, Bytes input);

struct SeedModel {
  std::string name;
  std::vector<std::uint8_t> bytes;
};
// Small models for every chunk handler, header edge cases, known attacks.
std::vector<SeedModel> seed_models();
std::vector<std::uint8_t> seed(std::string_view name);

}  // namespace facetor::fuzz
