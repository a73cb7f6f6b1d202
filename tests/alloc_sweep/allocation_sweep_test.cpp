// Every mode runs on real models with its k-th allocation failing, for every k up to the
// clean run's count: each run ends either with the memory error (exit code 5) and the earlier
// output file kept or the whole new one, or exactly as the clean run. Under the sanitizers
// this also finds leaks and invalid accesses on every unwinding path.
#include <cstdio>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "driver/session.h"
#include "support/allocation_hook.h"
#include "support/cob_builder.h"
#include "support/hostile_models.h"
#include "support/run_process.h"

namespace facetor {
namespace {

struct Outcome {
  int code = 0;
  std::string console, output;  // output: the output file's bytes
};

// One run as from a fresh process, its k-th allocation failing (0: none); `count` gets its allocations.
Outcome run_once(const std::string& input, char mode, const std::string& outputPath, std::uint64_t k, std::uint64_t& count) {
  test::write_file(outputPath, {'o', 'l', 'd'});
  const bool screen = mode == 'H' || mode == 'I';
  OutStream console = out_memory(StreamMode::Binary), errors = out_memory(StreamMode::Binary);
  std::istringstream typed(screen ? input + "\n" + mode + "\nQ\n" : std::string());
  Outcome outcome;
  {
    Session session{console, errors, typed, {}};
    const std::vector<std::string> parameters = screen ? std::vector<std::string>{} : std::vector<std::string>{input, std::string(1, mode)};
    test::allocation_hook::arm(k);
    outcome.code = run_facetor(session, parameters);
    test::allocation_hook::armed = false;
    count = test::allocation_hook::count;
  }
  outcome.console = out_contents(console);
  outcome.output = test::read_file(outputPath);
  return outcome;
}

void sweep(const std::string& model, std::string_view modes = "RADHI") {
  if (!std::filesystem::exists(model)) GTEST_SKIP() << "not found: " << model;
  test::TempDir dir;
  const std::string input = dir / "model.cob";
  std::filesystem::copy_file(model, input);
  for (const char mode : modes) {
    const std::string output = dir / (mode == 'R' ? "model.rwx" : mode == 'A' ? "model.seq" : "model.txt");
    std::uint64_t count = 0, made = 0;
    run_once(input, mode, output, 0, count);  // fills the caches that live for the whole process
    const Outcome clean = run_once(input, mode, output, 0, count);
    ASSERT_EQ(clean.code, 0) << mode;
    ASSERT_EQ(clean.output == "old", mode == 'H' || mode == 'I') << mode;
    std::printf("%s, mode %c: each of %llu allocations made to fail\n", model.c_str(), mode,
                static_cast<unsigned long long>(count));
    for (std::uint64_t k = 1; k <= count; ++k) {
      const Outcome failed = run_once(input, mode, output, k, made);
      for (const auto& entry : std::filesystem::directory_iterator(dir.path))
        ASSERT_NE(entry.path().extension(), ".tmp") << "left by mode " << mode << ", allocation " << k;
      if (failed.code == 5) {
        ASSERT_TRUE(failed.console.ends_with("Memory allocation error\n")) << mode << " allocation " << k;
        ASSERT_TRUE(failed.output == "old" || failed.output == clean.output) << mode << " allocation " << k;
      } else {  // compared whole, reported briefly
        ASSERT_TRUE(failed.code == clean.code && failed.console == clean.console && failed.output == clean.output)
            << "mode " << mode << ", allocation " << k << " of " << count << " failed: exit code " << failed.code
            << ", console of " << failed.console.size() << " bytes (clean " << clean.console.size() << "), output of "
            << failed.output.size() << " bytes (clean " << clean.output.size() << ")";
      }
    }
  }
}

TEST(AllocationSweep, ExampleModel) { sweep(FACETOR_EXAMPLES_DIR "/cottage.cob"); }
TEST(AllocationSweep, MoleculeSample) { sweep(FACETOR_SAMPLES_DIR "/molecule.cob"); }

// A face of more holes than the plain scan takes: the indexed bridging and its searches fail part way.
TEST(AllocationSweep, FaceOfManyHoles) {
  test::TempDir dir;
  const std::string model = dir / "holes.cob";
  test::write_file(model, test::dense_holes_model(test::HoleLayout::scattered, 12));
  sweep(model, "R");
}

}  // namespace
}  // namespace facetor
