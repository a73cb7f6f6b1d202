// Every mode run in-process on one buffer, and the checks its output must pass whatever the bytes.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cob/container.h"
#include "driver/session.h"

namespace facetor::fuzz {

inline const std::string kSourceName = "fuzz.cob";
// The modes; '2': run_and_check of two files split at kPairSeparator.
inline constexpr char kModes[] = {'R', 'A', 'D', 'H', 'I', '2'};
inline constexpr std::string_view kPairSeparator = "\n--NEXT-COB-FILE--\n";

struct ModeRun {
  char mode = 'R';
  std::string out, console;  // the file output (none for H and I), the screen
};

// One mode ('R', 'A', 'D', 'H', 'I') as the driver runs it for kSourceName.
ModeRun run_mode(CarriedState& carried, char mode, Bytes buffer);
// Faults in the shape every output must have, whatever the input; empty when sound.
std::vector<std::string> check_run(const ModeRun& run, Bytes buffer);
// Every mode, each in a fresh state, then `follow` converted in the state `buffer` left.
std::vector<std::string> run_and_check(Bytes buffer, Bytes follow);
// One mode on a fuzzer input; for '2', run_and_check of its two files.
std::vector<std::string> run_fuzz_input(char mode, Bytes input);

// Visits every damaged copy of `original` whose number i % shards == shard: the prefixes of length 0..n, then
// per byte 0x00, 0xFF and the byte plus one (no-op changes skipped), each in a buffer of exactly its size.
using DamageVisit = std::function<void(const std::vector<std::uint8_t>&, const std::string&)>;
void for_each_damage(Bytes original, int shard, int shards, const DamageVisit& visit);

// A committed file under tests/fuzz (seeds/NAME, corpus/NAME); throws when it cannot be read.
std::vector<std::uint8_t> data_file(const std::string& path);

}  // namespace facetor::fuzz
