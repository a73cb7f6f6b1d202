// In-process runs of every mode on one input buffer, with memory outputs,
// and the checks that every run must pass whatever bytes it was given.
//
// Shared by the libFuzzer targets, the exhaustive damage program and the
// regression corpus test.
#pragma once

#include <string>
#include <vector>

#include "cob/container.h"
#include "driver/session.h"

namespace facetor::fuzz {

// The source name under which every in-process run reads its input.
inline const std::string kSourceName = "fuzz.cob";

enum class Mode { Rwx, Animation, Dump, Headers, Images };

inline constexpr Mode kAllModes[] = {Mode::Rwx, Mode::Animation, Mode::Dump, Mode::Headers,
                                     Mode::Images};

char mode_letter(Mode mode);

// What one mode produced: the file output (empty for H and I) and the screen.
struct ModeRun {
  Mode mode = Mode::Rwx;
  std::string out;
  std::string console;
};

// The state that lives across files of one run of the program.
struct RunState {
  ConversionState conversion;
};

// Runs one mode on the buffer, as the driver would for a file named
// kSourceName, with the given carried-over state.
ModeRun run_mode(RunState& state, Mode mode, Bytes buffer);

// Problems found in one run's output; empty when the run is sound. The
// checks hold for any input: they never depend on what the file says, only on
// the shape every output must have (a complete RWX frame, a sequence file
// whose counts match its bytes, the header messages of a refused file).
std::vector<std::string> check_run(const ModeRun& run, Bytes buffer);

// Runs every mode on the buffer in a fresh state each and checks each run.
std::vector<std::string> run_and_check_every_mode(Bytes buffer);

// Two conversions in a row in one state record: `first` then `second`. The
// second must not show anything of the first (a refused file converts to an
// empty model). Returns the problems found in both runs.
std::vector<std::string> run_and_check_two_conversions(Bytes first, Bytes second);

// True when the file header check refuses the buffer (too short, wrong magic
// or not the binary format letter).
bool header_refused(Bytes buffer);

}  // namespace facetor::fuzz
