// damage_check [--jobs N] [--timeout SECONDS] [--findings DIR] FILE...
//   Runs every mode on every prefix and single-byte change (0x00, 0xFF, plus one) of each FILE, each followed by
//   a sound model converted in the state it left; fails on a crash, sanitizer report, hang (default 20 s per
//   input) or unsound output. N child processes share the inputs; an input that kills its child is left in
//   DIR/damage-finding-PID.cob.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "fuzz/harness.h"
#include "support/cob_builder.h"

namespace {

using namespace facetor::fuzz;

std::string finding_path(const std::string& dir, pid_t child) {
  return dir + "/damage-finding-" + std::to_string(child) + ".cob";
}

// Runs one shard of the damaged inputs in this child, each first written to its finding file, which is removed
// when the shard ends; exits 0 when every output was sound.
[[noreturn]] void run_shard(const std::vector<std::uint8_t>& original, int shard, int shards, unsigned timeout,
                            const std::string& finding) {
  const std::vector<std::uint8_t> follow = data_file("seeds/textured_box.cob");
  const int fd = ::open(finding.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  long runs = 0, problems = fd < 0;
  for_each_damage(original, shard, shards, [&](const std::vector<std::uint8_t>& input, const std::string& what) {
    problems += ::ftruncate(fd, 0) != 0 || ::pwrite(fd, input.data(), input.size(), 0) != ssize_t(input.size());
    ::alarm(timeout);
    for (const std::string& problem : run_and_check(input, follow))
      if (++problems <= 40) std::printf("  UNSOUND: %s: %s\n", what.c_str(), problem.c_str());
    ::alarm(0);
    ++runs;
  });
  ::unlink(finding.c_str());
  std::printf("damage_check: shard %d of %d: %ld inputs of %zu bytes through every mode, %ld unsound\n", shard + 1,
              shards, runs, original.size(), problems);
  std::fflush(stdout);
  ::_exit(problems == 0 ? 0 : 1);
}

bool damage_file(const std::string& path, int jobs, unsigned timeout, const std::string& findings) {
  const std::string text = facetor::test::read_file(path);
  std::printf("damage_check: %s\n", path.c_str());
  std::fflush(stdout);
  std::vector<pid_t> children;
  for (int shard = 0; shard < jobs; ++shard) {
    if (children.emplace_back(::fork()) == 0)
      run_shard({text.begin(), text.end()}, shard, jobs, timeout, finding_path(findings, ::getpid()));
  }
  bool ok = true;
  for (pid_t child : children) {
    int status = 0;
    ok = child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0 && ok;
    if (child > 0 && ::access(finding_path(findings, child).c_str(), F_OK) == 0)
      std::printf("damage_check: the input that stopped a shard is in %s\n", finding_path(findings, child).c_str());
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  int jobs = 1;
  unsigned timeout = 20;
  std::string findings = ".";
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.starts_with("--") && i + 1 == argc) files.clear(), i = argc;
    else if (arg == "--jobs") jobs = std::max(1, std::atoi(argv[++i]));
    else if (arg == "--timeout") timeout = static_cast<unsigned>(std::atoi(argv[++i]));
    else if (arg == "--findings") findings = argv[++i];
    else files.push_back(arg);
  }
  if (files.empty()) {
    std::fprintf(stderr, "usage: damage_check [--jobs N] [--timeout SECONDS] [--findings DIR] FILE...\n");
    return 2;
  }
  bool ok = true;
  for (const std::string& path : files) ok = damage_file(path, jobs, timeout, findings) && ok;
  std::printf("damage_check: %s\n", ok ? "no findings" : "FINDINGS");
  return ok ? 0 : 1;
}
