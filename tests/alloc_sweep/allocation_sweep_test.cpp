// Allocation-failure sweep: every mode runs on real models with its k-th
// allocation failing, for every k up to the clean run's allocation count.
// Each run must end with the memory error (exit code 5) or with exactly the
// clean run's console text and output file: never a success with missing
// content. Under the sanitizer build this also finds leaks and invalid
// accesses on every unwinding path.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "driver/session.h"
#include "support/allocation_hook.h"
#include "support/cob_builder.h"
#include "support/run_process.h"

namespace facetor {
namespace {

struct Outcome {
  int code = 0;
  std::string console, output;  // output: the output file's bytes, if any
};
struct Setup {
  std::string input, outputPath;  // the model's copy; where the mode writes, or empty
  char mode = 'R';
};

// One run as from a fresh process, its k-th allocation failing (0: none);
// `count` gets the number of allocations it made.
Outcome run_once(const Setup& setup, std::uint64_t k, std::uint64_t& count) {
  if (!setup.outputPath.empty()) std::filesystem::remove(setup.outputPath);
  const bool screen = setup.mode == 'H' || setup.mode == 'I';
  OutStream console = out_memory(StreamMode::Binary);
  OutStream errors = out_memory(StreamMode::Binary);
  std::istringstream typed(screen ? setup.input + "\n" + setup.mode + "\nQ\n" : std::string());
  Outcome outcome;
  {
    Session session{console, errors, typed, {}};
    const std::vector<std::string> parameters =
        screen ? std::vector<std::string>{} : std::vector<std::string>{setup.input, std::string(1, setup.mode)};
    test::allocation_hook::arm(k);
    outcome.code = run_facetor(session, parameters);
    test::allocation_hook::armed = false;
    count = test::allocation_hook::count;
  }
  outcome.console = out_contents(console);
  if (!setup.outputPath.empty() && std::filesystem::exists(setup.outputPath)) {
    outcome.output = test::read_file(setup.outputPath);
  }
  return outcome;
}

void sweep(const std::string& model) {
  test::TempDir dir;
  const std::string input = dir.path + "/model.cob";
  std::filesystem::copy_file(model, input);
  const std::pair<char, const char*> modes[] = {{'R', ".rwx"}, {'A', ".seq"}, {'D', ".txt"}, {'H', ""}, {'I', ""}};
  std::uint64_t points = 0;
  for (const auto& [mode, extension] : modes) {
    const Setup setup{input, *extension ? dir.path + "/model" + extension : std::string(), mode};
    std::uint64_t count = 0;
    run_once(setup, 0, count);  // fills the caches that live for the whole process
    const Outcome clean = run_once(setup, 0, count);
    ASSERT_EQ(clean.code, 0) << mode;
    for (std::uint64_t k = 1; k <= count; ++k) {
      std::uint64_t made = 0;
      const Outcome failed = run_once(setup, k, made);
      if (failed.code == 5) {
        ASSERT_TRUE(failed.console.ends_with("Memory allocation error\n")) << mode << " allocation " << k;
      } else {  // compared whole, reported briefly
        ASSERT_TRUE(failed.code == clean.code && failed.console == clean.console && failed.output == clean.output)
            << "mode " << mode << ", allocation " << k << " of " << count << " failed: exit code " << failed.code
            << ", console of " << failed.console.size() << " bytes (clean " << clean.console.size()
            << "), output of " << failed.output.size() << " bytes (clean " << clean.output.size() << ")";
      }
    }
    points += count;
  }
  std::printf("  %s: %llu failure points\n", model.c_str(), static_cast<unsigned long long>(points));
}

TEST(AllocationSweep, ExampleModel) { sweep(FACETOR_EXAMPLES_DIR "/cottage.cob"); }

TEST(AllocationSweep, MoleculeSample) {
  const std::string path = FACETOR_SAMPLES_DIR "/molecule.cob";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "sample file not found: " << path;
  sweep(path);
}

}  // namespace
}  // namespace facetor
