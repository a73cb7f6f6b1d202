// The search for costly inputs: families of models with a size and shape
// parameters, each converted at sizes n, 4n and 16n (and 64n where those
// grow too fast, to tell growth that settles from growth that lasts), the
// shapes searched for the steepest growth of the work per size step. Work is counted in
// instructions under valgrind's cachegrind (deterministic, undisturbed by
// other load; the count of a file with no chunks is taken off as the cost of
// starting), peak memory and processor time in a plain run, and output as
// the bytes of the files and standard output the run leaves. Cost in
// proportion to the input shows as ratios near 4; 16 is quadratic.
//
//   cost_search list
//   cost_search write FAMILY N [PARAMETER...] FILE
//   cost_search [--kb K] [--seconds S] [--family NAME] [--skip NAME,...] [--native] [--limit R]
//               [--floor F] [--combinations C] [--exe PATH]
//
// The search starts from every combination of each family's listed values
// (a seeded sample where there are more than --combinations), then climbs
// from the steepest: it doubles and halves each numeric parameter while the
// growth gets steeper. The smallest model is about K KB (default 16). With
// --native no valgrind is run and processor time stands for the work. It
// prints one line per shape tried and, per family, the steepest; it exits
// with 1 when a ratio of work, memory or output passes the limit (default
// 5) or the peak memory passes 64 MB + 4x the input, work rated only where
// the largest size's is large enough to tell
// (--floor: 10 million instructions, or with --native 0.05 s). The families
// share S seconds (default 600) equally, each trying one shape at least.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "support/child_run.h"
#include "support/cob_builder.h"
#include "support/hostile_models.h"

namespace facetor {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Values = std::vector<int>;  // one per parameter

struct Parameter {
  const char* name;
  std::vector<int> values;  // the starting grid
  bool numeric = true;      // doubled and halved by the climb
};

struct Family {
  const char* name;
  int unit;  // a size whose model is small, from which the sizes are scaled
  std::vector<Parameter> parameters;
  std::function<Bytes(int, const Values&)> make;
  std::function<char(const Values&)> mode = [](const Values&) { return 'R'; };
};

char mode_value(int value) { return static_cast<char>(value); }

std::vector<Family> families() {
  using test::HoleLayout;
  const std::vector<int> allModes = {'R', 'D', 'H', 'I', 'A'};
  return {
      {"texture_runs", 200, {{"path", {16, 400, 4096, 32767}}, {"mask", {0, 1}, false}, {"corners", {0, 1}, false},
                             {"mode", {'R', 'I'}, false}},
       [](int n, const Values& p) { return test::texture_runs_model(n, p[0], p[1] != 0, p[2] != 0); },
       [](const Values& p) { return mode_value(p[3]); }},
      {"material_cycle", 200, {{"materials", {2, 64, 4096}}, {"split_every", {0, 1, 5}}, {"missing", {0, 1}, false}},
       [](int n, const Values& p) { return test::material_cycle_model(n, p[0], p[1], p[2] != 0); }},
      {"scene_chain", 200, {{"name", {0, 16, 199, 4000}}, {"mode", allModes, false}},
       [](int n, const Values& p) { return test::scene_chain_model(n, p[0]); },
       [](const Values& p) { return mode_value(p[1]); }},
      {"scene_tree", 200, {{"branches", {2, 3, 16}}, {"spine", {0, 1}, false}},
       [](int n, const Values& p) { return test::scene_tree_model(n, p[0], p[1] != 0); }},
      {"nested_objects", 50, {{"objects", {1, 2, 8}}, {"avatar", {0, 1}, false}},
       [](int n, const Values& p) { return test::nested_objects_model(n, p[0], p[1] != 0); }},
      {"one_node_objects", 100, {{"avatar", {0, 1}, false}},
       [](int n, const Values& p) { return test::nested_objects_model(1, n, p[0] != 0); }},
      {"long_face", 400, {{"distinct", {1, 3, 100, 1 << 30}}},
       [](int n, const Values& p) { return test::long_face_model(n, std::min(n, p[0])); }},
      {"directive_mix", 50, {{"directives", {0, 1, 5, 10}}},
       [](int n, const Values& p) { return test::directive_mix_model(n, p[0]); }},
      {"shared_id", 100, {},
       [](int n, const Values&) { return test::shared_id_model(n); }},
      {"colours", 100, {},
       [](int n, const Values&) { return test::colour_model(n); }},
      {"holes", 100, {{"layout", {0, 1, 2, 3}, false}},
       [](int n, const Values& p) { return test::dense_holes_model(static_cast<HoleLayout>(p[0]), n); }},
      {"splits", 200, {}, [](int n, const Values&) { return test::split_model(n); }},
      {"far_optverts", 200, {}, [](int n, const Values&) { return test::far_optverts_model(n); }},
      {"empty_skins", 200, {{"mode", {'D', 'R'}, false}},
       [](int n, const Values&) { return test::empty_skins_model(n); }, [](const Values& p) { return mode_value(p[0]); }},
      {"tendons", 200, {{"mode", {'R', 'D'}, false}},
       [](int n, const Values&) { return test::tendon_model(n); }, [](const Values& p) { return mode_value(p[0]); }},
  };
}

struct Options {
  double kb = 16;
  double seconds = 600;
  double limit = 5;
  double floor = -1;  // set from the mode of measuring when not given
  std::string family;  // only this one
  std::string skip;    // families left out, separated by commas
  bool native = false;
  std::size_t combinations = 24;
  std::string exe = FACETOR_EXE;
};

// What one run of the converter spent.
struct Cost {
  double bytes = 0;   // input
  double work = 0;    // instructions (millions), or with --native processor seconds
  double seconds = 0;
  double peakMB = 0;
  double outputMB = 0;
  bool ok = false;
};

std::string parameter_text(const Family& family, const Values& values) {
  std::string text;
  for (std::size_t i = 0; i < values.size(); ++i) {
    const Parameter& p = family.parameters[i];
    text += std::string(text.empty() ? "" : " ") + p.name + "=";
    text += std::string(p.name) == "mode" ? std::string(1, static_cast<char>(values[i])) : std::to_string(values[i]);
  }
  return text.empty() ? "-" : text;
}

// The dialogue that lists a file in mode H or I, which work only at the prompts.
std::string prompt_input(char mode) {
  return mode == 'H' || mode == 'I' ? std::string("model.cob\n") + mode + "\nQ\n" : std::string();
}

std::vector<std::string> command(bool native, const std::string& exe, char mode) {
  std::vector<std::string> argv;
  if (!native) argv = {"/usr/bin/valgrind", "--tool=cachegrind", "--cache-sim=no", "--cachegrind-out-file=cg.out"};
  argv.push_back(exe);
  if (prompt_input(mode).empty()) argv.insert(argv.end(), {"model.cob", std::string(1, mode)});
  return argv;
}

// The instruction count cachegrind leaves in its summary line.
double instructions(const fs::path& file) {
  FILE* in = std::fopen(file.c_str(), "r");
  if (in == nullptr) return 0;
  char line[512];
  double count = 0;
  while (std::fgets(line, sizeof line, in) != nullptr) {
    if (std::string(line).starts_with("summary:")) count = std::atof(line + 8);
  }
  std::fclose(in);
  return count;
}

// Converts the model in a fresh folder: a plain run for time, memory and
// output (every file but the model and cachegrind's, plus standard output),
// then, unless --native, a run under cachegrind for the instructions.
Cost measure(const Options& o, const Bytes& model, char mode) {
  const fs::path dir = fs::temp_directory_path() / ("facetor_cost_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  test::write_file((dir / "model.cob").string(), model);
  bench::ChildRun run{command(true, o.exe, mode), dir.string(), prompt_input(mode), (dir / "stdout").string(), 600, 16384};
  const bench::ChildResult plain = bench::run_child(run);
  Cost cost;
  cost.bytes = static_cast<double>(model.size());
  cost.ok = plain.ok;
  cost.seconds = plain.seconds;
  cost.peakMB = plain.peakMB;
  cost.work = plain.seconds;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name != "model.cob") cost.outputMB += static_cast<double>(entry.file_size()) / 1048576.0;
  }
  if (!o.native) {
    run.argv = command(false, o.exe, mode);
    cost.ok = bench::run_child(run).ok && cost.ok;
    cost.work = instructions(dir / "cg.out") / 1e6;
  }
  fs::remove_all(dir);
  return cost;
}

struct Trial {
  std::string family;
  Values values;
  std::vector<Cost> sizes;  // n, 4n, 16n, and 64n where the first three grew too fast
  double workRatio = 0, memoryRatio = 0, outputRatio = 0;
  bool overBound = false;  // some size's peak memory above 64 MB + 4x its input
  bool ok = false;
  double steepness() const { return std::max({workRatio, memoryRatio, outputRatio}); }
};

double ratio(double a, double b) { return a > 0 ? b / a : (b > 0 ? 99 : 1); }

// The worst of the last `steps` steps; work and memory above what a file with no
// chunks costs (the cost of starting the program). Work too small to tell
// (the largest size's below the floor) is not rated, nor memory below 16 MB
// (whose growth says little: 64 MB + 4x the input is its bound).
void rate(Trial& t, const Cost& empty, double floor, std::size_t steps) {
  double work = 0, memory = 0, output = 0;
  for (std::size_t s = t.sizes.size() - 1 - steps; s + 1 < t.sizes.size(); ++s) {
    const Cost& a = t.sizes[s];
    const Cost& b = t.sizes[s + 1];
    work = std::max(work, ratio(std::max(a.work - empty.work, 0.0), std::max(b.work - empty.work, 0.0)));
    memory = std::max(memory, ratio(std::max(a.peakMB - empty.peakMB, 1.0), std::max(b.peakMB - empty.peakMB, 1.0)));
    output = std::max(output, ratio(std::max(a.outputMB, 0.001), std::max(b.outputMB, 0.001)));
  }
  t.workRatio = t.sizes.back().work >= floor ? work : 0;
  t.memoryRatio = t.sizes.back().peakMB - empty.peakMB >= 16 ? memory : 0;
  t.outputRatio = output;
  t.overBound = std::any_of(t.sizes.begin(), t.sizes.end(),
                            [](const Cost& c) { return c.peakMB > 64 + 4 * c.bytes / 1048576.0; });
  t.ok = std::all_of(t.sizes.begin(), t.sizes.end(), [](const Cost& c) { return c.ok; });
}

// The size whose model's part that grows with it is about the target, or
// as large as the part that does not (a material's long texture path) up to
// 4 times the target, so that the input grows near 4x from size to size.
int base_size(const Family& f, const Values& v, double targetBytes) {
  const double one = static_cast<double>(f.make(f.unit, v).size());
  const double two = static_cast<double>(f.make(2 * f.unit, v).size());
  const double perUnit = std::max(two - one, 1.0), fixed = std::max(one - perUnit, 0.0);
  const double scaled = f.unit * std::clamp(fixed, targetBytes, 4 * targetBytes) / perUnit;
  return static_cast<int>(std::clamp(scaled, 1.0, 1e8));
}

bool exceeds(const Options& o, const Trial& t) {
  return !t.ok || t.overBound || t.steepness() > o.limit;
}

void print(const Options& o, const Trial& t, const Family& f) {
  std::printf("%-15s %-34s", t.family.c_str(), parameter_text(f, t.values).c_str());
  for (const Cost& c : t.sizes) {
    std::printf(" | %8.3f MB %9.2f %s %6.1f MB %8.2f out", c.bytes / 1048576.0, c.work, o.native ? "s " : "Mi",
                c.peakMB, c.outputMB);
  }
  std::printf(" | ratios work %5.2f mem %5.2f out %5.2f%s%s\n", t.workRatio, t.memoryRatio, t.outputRatio,
              t.overBound ? "  memory over 64 MB + 4x input" : "", exceeds(o, t) ? "  EXCEEDS" : "");
  std::fflush(stdout);
}

// A shape that grows too fast is measured once more at 64n and rated on its
// last step: growth that settles by then (the indentation of a tree reaching
// its limit of 100 blanks, a part of the file that only larger files reach)
// is no fault; growth that goes on is.
Trial try_shape(const Options& o, const Family& f, const Values& v, const Cost& empty) {
  Trial t{f.name, v, {}};
  const int n = base_size(f, v, o.kb * 1024);
  const char mode = f.mode(v);
  for (int s = 0; s < 3; ++s) t.sizes.push_back(measure(o, f.make(n << (2 * s), v), mode));
  rate(t, empty, o.floor, 2);
  if (exceeds(o, t) && t.ok && n <= (1 << 24)) {
    t.sizes.push_back(measure(o, f.make(n << 6, v), mode));
    rate(t, empty, o.floor, 1);
  }
  print(o, t, f);
  return t;
}

// Every combination of the listed values, or a seeded sample of them.
std::vector<Values> starting_shapes(const Family& f, std::size_t most) {
  std::vector<Values> all(1);
  for (const Parameter& p : f.parameters) {
    std::vector<Values> next;
    for (const Values& v : all) {
      for (int value : p.values) {
        next.push_back(v);
        next.back().push_back(value);
      }
    }
    all = std::move(next);
  }
  if (all.size() > most) {
    std::shuffle(all.begin(), all.end(), std::mt19937(24));
    all.resize(most);
  }
  return all;
}

using Clock = std::chrono::steady_clock;

// The grid, then the climb from its steepest shape.
std::vector<Trial> search_family(const Options& o, const Family& f, const Cost& empty, Clock::time_point deadline) {
  std::vector<Trial> trials;
  std::map<Values, bool> tried;
  for (const Values& v : starting_shapes(f, o.combinations)) {
    if (!trials.empty() && Clock::now() > deadline) return trials;  // every family has one shape at least
    tried[v] = true;
    trials.push_back(try_shape(o, f, v, empty));
  }
  if (trials.empty()) return trials;
  Trial best = *std::max_element(trials.begin(), trials.end(),
                                 [](const Trial& a, const Trial& b) { return a.steepness() < b.steepness(); });
  for (bool climbed = true; climbed;) {
    climbed = false;
    for (std::size_t i = 0; i < f.parameters.size() && !climbed; ++i) {
      if (!f.parameters[i].numeric) continue;
      for (int factor : {2, -2}) {
        Values v = best.values;
        v[i] = factor > 0 ? std::min(v[i], 1 << 29) * 2 : v[i] / 2;
        if (tried.count(v) != 0 || Clock::now() > deadline) continue;
        tried[v] = true;
        trials.push_back(try_shape(o, f, v, empty));
        if (trials.back().steepness() > best.steepness() + 0.25) {
          best = trials.back();
          climbed = true;
          break;
        }
      }
    }
  }
  return trials;
}

int search(const Options& o) {
  const Cost empty = measure(o, test::CobFile().end(1).bytes, 'R');
  std::printf("search: smallest models about %.0f KB, sizes n, 4n, 16n; %s; a file with no chunks costs %.2f %s, %.1f MB\n",
              o.kb, o.native ? "work is processor time" : "work is instructions under cachegrind", empty.work,
              o.native ? "s" : "Mi", empty.peakMB);
  const Clock::time_point deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o.seconds));
  std::vector<std::pair<const Family*, Trial>> steepest;
  std::size_t count = 0;
  bool failed = false;
  const std::vector<Family> all = families();
  std::vector<const Family*> chosen;
  for (const Family& f : all) {
    const bool skipped = ("," + o.skip + ",").find("," + std::string(f.name) + ",") != std::string::npos;
    if ((o.family.empty() || o.family == f.name) && !skipped) chosen.push_back(&f);
  }
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    const Family& f = *chosen[i];
    // An equal share of the time left for each family still to come.
    const Clock::time_point now = Clock::now();
    const Clock::time_point share = now + (std::max(deadline, now) - now) / static_cast<int>(chosen.size() - i);
    const std::vector<Trial> trials = search_family(o, f, empty, share);
    count += trials.size();
    for (const Trial& t : trials) failed = failed || exceeds(o, t);
    if (!trials.empty()) {
      steepest.emplace_back(&f, *std::max_element(trials.begin(), trials.end(), [](const Trial& a, const Trial& b) {
        return a.steepness() < b.steepness();
      }));
    }
  }
  std::printf("\nsteepest shape of each family (%zu shapes tried%s):\n", count,
              Clock::now() > deadline ? ", stopped at the time limit" : "");
  for (const auto& [f, t] : steepest) print(o, t, *f);
  std::printf("%s\n", failed ? "FAILED: some shape grows faster than its input" : "every shape grows in proportion");
  return failed ? 1 : 0;
}

const Family* find_family(const std::vector<Family>& all, const std::string& name) {
  for (const Family& f : all) {
    if (name == f.name) return &f;
  }
  return nullptr;
}

int usage() {
  std::fprintf(stderr, "usage: cost_search [list | write FAMILY N [PARAMETER...] FILE | --kb K --seconds S --family NAME "
                       "--skip NAME,... --native --limit R --floor F --combinations C --exe PATH]\n");
  return 2;
}

int list_or_write(int argc, char** argv) {
  const std::vector<Family> all = families();
  if (std::string(argv[1]) == "list") {
    for (const Family& f : all) {
      std::printf("%s", f.name);
      for (const Parameter& p : f.parameters) {
        std::printf(" %s=", p.name);
        for (int v : p.values) std::printf("%d%s", v, &v == &p.values.back() ? "" : ",");
      }
      std::printf("\n");
    }
    return 0;
  }
  const Family* f = argc >= 5 ? find_family(all, argv[2]) : nullptr;
  if (f == nullptr || static_cast<std::size_t>(argc) != 5 + f->parameters.size()) return usage();
  Values v;
  for (int i = 4; i + 1 < argc; ++i) v.push_back(std::atoi(argv[i]));
  test::write_file(argv[argc - 1], f->make(std::atoi(argv[3]), v));
  return 0;
}

}  // namespace
}  // namespace facetor

int main(int argc, char** argv) {
  using facetor::Options;
  if (argc >= 2 && (std::string(argv[1]) == "list" || std::string(argv[1]) == "write")) {
    return facetor::list_or_write(argc, argv);
  }
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (arg == "--native") {
      o.native = true;
      continue;
    }
    if (value == nullptr) return facetor::usage();
    ++i;
    if (arg == "--kb") o.kb = std::atof(value);
    else if (arg == "--seconds") o.seconds = std::atof(value);
    else if (arg == "--limit") o.limit = std::atof(value);
    else if (arg == "--floor") o.floor = std::atof(value);
    else if (arg == "--family") o.family = value;
    else if (arg == "--skip") o.skip = value;
    else if (arg == "--combinations") o.combinations = static_cast<std::size_t>(std::atoi(value));
    else if (arg == "--exe") o.exe = value;
    else return facetor::usage();
  }
  if (o.floor < 0) o.floor = o.native ? 0.05 : 10;
  return facetor::search(o);
}
