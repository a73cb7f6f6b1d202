// Hostile input: one benchmark per known attack on time or memory, each at
// two sizes 4x apart. Every size runs the built converter in a child process
// of its own (the input written to a temporary directory), so that its time
// and its peak memory (the child's maximum resident set) are its own. Each
// benchmark reports both sizes and the growth ratios: cost in proportion to
// the input shows as ratios near 4, a quadratic cliff as 16 and beyond. Time
// is the child's processor time (user + system), which other load on the
// machine disturbs less than wall time; wall time is printed too. Each size
// runs several times, in turns with the other size, and keeps its least time
// (the one least disturbed) and its largest peak memory.
//
// Environment:
//   FACETOR_HOSTILE_SCALE    size factor (default 1: the sizes at which the
//                            attacks were first measured; 0.05 runs quickly)
//   FACETOR_HOSTILE_EXE      the converter to measure (default: this build's)
//   FACETOR_HOSTILE_TIMEOUT  seconds before a child is killed (default 60)
//   FACETOR_HOSTILE_MEMORY   address-space limit of a child in MB (default 8192)
//   FACETOR_HOSTILE_RUNS     runs of each size (default 5)
// Linux only (fork, exec, wait4).
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/child_run.h"
#include "support/cob_builder.h"
#include "support/hostile_models.h"

namespace facetor {
namespace {

double env_number(const char* name, double fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::atof(text) : fallback;
}

std::string converter() {
  const char* exe = std::getenv("FACETOR_HOSTILE_EXE");
  return exe != nullptr && *exe != '\0' ? exe : FACETOR_EXE;
}

struct Measure {
  double seconds = 0;  // processor time
  double wall = 0;
  double peakMB = 0;
  double inputMB = 0;
  bool ok = false;  // exited with code 0 in time
};

// Runs `converter model.cob mode` in dir with no console.
Measure run_child(const std::string& dir, char mode, double inputMB) {
  bench::ChildRun run;
  run.argv = {converter(), "model.cob", std::string(1, mode)};
  run.dir = dir;
  run.timeoutSeconds = env_number("FACETOR_HOSTILE_TIMEOUT", 60);
  run.memoryMB = env_number("FACETOR_HOSTILE_MEMORY", 8192);
  const bench::ChildResult result = bench::run_child(run);
  return Measure{result.seconds, result.wall, result.peakMB, inputMB, result.ok};
}

// Keeps the least time of two runs (the one least disturbed) and the
// largest peak memory.
void keep_best(Measure& best, const Measure& again) {
  if (again.seconds < best.seconds) best.seconds = again.seconds, best.wall = again.wall;
  best.peakMB = std::max(best.peakMB, again.peakMB);
  best.ok = best.ok && again.ok;
}

using Generator = std::function<std::vector<std::uint8_t>(int)>;

// Writes the model of n to dir/model.cob; returns its size in MB. A child
// process composes and writes it: a child's peak memory starts from its
// parent's at the fork, so this process never holds a model.
double write_model(const Generator& generate, int n, const std::string& dir) {
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  const std::string file = dir + "/model.cob";
  const pid_t writer = fork();
  if (writer < 0) return 0;  // no model: its runs fail
  if (writer == 0) {
    const std::vector<std::uint8_t> bytes = generate(n);
    test::write_file(file, bytes);
    _exit(std::filesystem::file_size(file, error) == bytes.size() && !error ? 0 : 1);
  }
  // A writer that failed or died leaves no model (a part of one would be
  // measured as if whole): the runs then fail.
  int status = 0;
  if (waitpid(writer, &status, 0) != writer || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::filesystem::remove(file, error);
    return 0;
  }
  const auto bytes = std::filesystem::file_size(file, error);
  return error ? 0 : static_cast<double>(bytes) / 1048576.0;
}

// Measures both sizes of a family, their runs taken in turns, so that a
// spell of load on the machine disturbs both alike and not their ratio.
std::pair<Measure, Measure> measure_family(const Generator& generate, int small, char mode) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("facetor_hostile_" + std::to_string(getpid()));
  const std::string smallDir = (dir / "n").string(), largeDir = (dir / "4n").string();
  const double smallMB = write_model(generate, small, smallDir);
  const double largeMB = write_model(generate, 4 * small, largeDir);
  const int runs = std::max(1, static_cast<int>(env_number("FACETOR_HOSTILE_RUNS", 5)));
  Measure a = run_child(smallDir, mode, smallMB);
  Measure b = run_child(largeDir, mode, largeMB);
  for (int run = 1; run < runs && a.ok && b.ok; ++run) {
    keep_best(a, run_child(smallDir, mode, smallMB));
    keep_best(b, run_child(largeDir, mode, largeMB));
  }
  std::filesystem::remove_all(dir);
  return {a, b};
}

// Both sizes of one family: `size` and 4 * size (times the scale).
void run_family(benchmark::State& state, const char* family, const Generator& generate, int size, char mode) {
  const double scale = env_number("FACETOR_HOSTILE_SCALE", 1);
  const int small = std::max(1, static_cast<int>(size * scale));
  for (auto _ : state) {
    const auto [a, b] = measure_family(generate, small, mode);
    state.SetIterationTime(a.seconds + b.seconds);
    state.counters["n"] = small;
    state.counters["in_MB"] = a.inputMB;
    state.counters["s"] = a.seconds;
    state.counters["s_4n"] = b.seconds;
    state.counters["s_ratio"] = b.seconds / a.seconds;
    state.counters["MB"] = a.peakMB;
    state.counters["MB_4n"] = b.peakMB;
    state.counters["MB_ratio"] = b.peakMB / a.peakMB;
    if (!a.ok || !b.ok) state.SkipWithError("the converter failed, ran out of memory or timed out");
    std::printf("%-17s n=%-6d %7.3f MB in: %7.3f s (wall %7.3f) %7.1f MB | 4n: %7.3f s (wall %7.3f) %7.1f MB"
                " | ratio %5.2f time %5.2f memory%s\n",
                family, small, a.inputMB, a.seconds, a.wall, a.peakMB, b.seconds, b.wall, b.peakMB,
                b.seconds / a.seconds, b.peakMB / a.peakMB, (a.ok && b.ok) ? "" : " FAILED");
  }
}

void register_families() {
  using test::HoleLayout;
  struct Family {
    const char* name;
    Generator generate;
    int size;
    char mode;
  };
  const Family families[] = {
      {"prototype_splits", test::split_model, 1000, 'R'},
      {"holes_scattered", [](int n) { return test::dense_holes_model(HoleLayout::scattered, n); }, 2000, 'R'},
      {"holes_grid", [](int n) { return test::dense_holes_model(HoleLayout::grid, n); }, 125, 'R'},
      {"holes_coincident", [](int n) { return test::dense_holes_model(HoleLayout::coincident, n); }, 2000, 'R'},
      {"holes_lattice", [](int n) { return test::dense_holes_model(HoleLayout::lattice, n); }, 2000, 'R'},
      {"hash_flood", test::hash_flood_model, 80000, 'R'},
      {"far_optverts", test::far_optverts_model, 20000, 'R'},
      {"dump_empty_skins", test::empty_skins_model, 4000, 'D'},
      {"tendon_skins", test::tendon_model, 80000, 'R'},
      {"texture_paths", [](int n) { return test::texture_runs_model(n, 32767, false, false); }, 50000, 'R'},
      {"texture_masks", [](int n) { return test::texture_runs_model(n, 400, true, false); }, 50000, 'R'},
      {"scene_chain", [](int n) { return test::scene_chain_model(n, 0); }, 10000, 'R'},
      {"scene_spine", [](int n) { return test::scene_tree_model(n, 2, true); }, 4000, 'R'},
      {"nested_avatar", [](int n) { return test::nested_objects_model(n, 1, true); }, 1000, 'R'},
  };
  for (const Family& f : families) {
    benchmark::RegisterBenchmark(f.name, [f](benchmark::State& state) {
      run_family(state, f.name, f.generate, f.size, f.mode);
    })->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
  }
}

}  // namespace
}  // namespace facetor

int main(int argc, char** argv) {
  facetor::register_families();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
