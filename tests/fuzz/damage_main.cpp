// damage_check [--jobs N] [--timeout SECONDS] [--findings DIR] FILE...
//
// Runs every mode in-process on every prefix of each FILE and on every
// single-byte change of it (0x00, 0xFF, incremented), and fails on any crash,
// sanitizer report, hang or unsound output. With --jobs N the inputs are
// shared among N child processes. An input that kills the run is saved in the
// findings folder (default: the current folder) as damage-finding-PID.cob.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/damage.h"

namespace {

using facetor::fuzz::DamageCounts;
using facetor::fuzz::DamageResult;

struct Options {
  int jobs = 1;
  unsigned timeout = 20;
  std::string findings = ".";
  std::vector<std::string> files;
};

bool parse(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if ((arg == "--jobs" || arg == "--timeout" || arg == "--findings") && i + 1 < argc) {
      std::string value = argv[++i];
      if (arg == "--jobs") options.jobs = std::max(1, std::atoi(value.c_str()));
      if (arg == "--timeout") options.timeout = static_cast<unsigned>(std::atoi(value.c_str()));
      if (arg == "--findings") options.findings = value;
    } else if (!arg.empty() && arg[0] != '-') {
      options.files.push_back(arg);
    } else {
      return false;
    }
  }
  return !options.files.empty();
}

// What a child hands back to the parent through its pipe.
struct ShardReport {
  DamageCounts counts;
  std::int64_t problems = 0;
};

void print_problems(const DamageResult& result) {
  for (const std::string& problem : result.problems) std::printf("  UNSOUND: %s\n", problem.c_str());
  std::fflush(stdout);
}

// Runs one shard in a child process; returns the read end of its pipe.
int start_shard(const Options& options, const std::vector<std::uint8_t>& bytes, int shard, pid_t& child) {
  int fds[2];
  if (::pipe(fds) != 0) std::exit(2);
  std::fflush(stdout);
  child = ::fork();
  if (child < 0) std::exit(2);
  if (child == 0) {
    ::close(fds[0]);
    facetor::fuzz::install_finding_handlers(
        options.findings + "/damage-finding-" + std::to_string(::getpid()) + ".cob", options.timeout);
    DamageResult result = facetor::fuzz::run_damage(bytes, shard, options.jobs);
    print_problems(result);
    ShardReport report{result.counts, static_cast<std::int64_t>(result.problems.size())};
    ssize_t written = ::write(fds[1], &report, sizeof report);
    ::_exit(written == static_cast<ssize_t>(sizeof report) ? 0 : 2);
  }
  ::close(fds[1]);
  return fds[0];
}

// Damages one file; returns false on any finding.
bool damage_file(const Options& options, const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::printf("damage_check: cannot read %s\n", path.c_str());
    return false;
  }
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto started = std::chrono::steady_clock::now();
  std::vector<pid_t> children(static_cast<std::size_t>(options.jobs));
  std::vector<int> pipes;
  for (int shard = 0; shard < options.jobs; ++shard)
    pipes.push_back(start_shard(options, bytes, shard, children[static_cast<std::size_t>(shard)]));

  ShardReport total;
  bool ok = true;
  for (int shard = 0; shard < options.jobs; ++shard) {
    ShardReport report;
    ssize_t got = ::read(pipes[static_cast<std::size_t>(shard)], &report, sizeof report);
    ::close(pipes[static_cast<std::size_t>(shard)]);
    int status = 0;
    ::waitpid(children[static_cast<std::size_t>(shard)], &status, 0);
    if (got != static_cast<ssize_t>(sizeof report) || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::printf("damage_check: %s: shard %d died (see above)\n", path.c_str(), shard);
      ok = false;
      continue;
    }
    total.counts.truncations += report.counts.truncations;
    total.counts.byteChanges += report.counts.byteChanges;
    total.counts.unchanged += report.counts.unchanged;
    total.counts.modeRuns += report.counts.modeRuns;
    total.problems += report.problems;
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf(
      "damage_check: %s (%zu bytes): %lld inputs (%lld prefixes, %lld byte changes; %lld changes left the "
      "byte as it was), %lld mode runs, %lld unsound, %.1f s\n",
      path.c_str(), bytes.size(), static_cast<long long>(total.counts.inputs()),
      static_cast<long long>(total.counts.truncations), static_cast<long long>(total.counts.byteChanges),
      static_cast<long long>(total.counts.unchanged), static_cast<long long>(total.counts.modeRuns),
      static_cast<long long>(total.problems), seconds);
  return ok && total.problems == 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, options)) {
    std::fprintf(stderr, "usage: damage_check [--jobs N] [--timeout SECONDS] [--findings DIR] FILE...\n");
    return 2;
  }
  bool ok = true;
  for (const std::string& path : options.files) ok = damage_file(options, path) && ok;
  std::printf("damage_check: %s\n", ok ? "no findings" : "FINDINGS");
  return ok ? 0 : 1;
}
