// damage_check [--jobs N] [--timeout SECONDS] [--findings DIR] FILE...
//   Runs every mode in-process on every prefix of each FILE and on every
//   single-byte change of it (0x00, 0xFF, incremented), each followed by a
//   sound model converted in the state it left; fails on any crash, sanitizer
//   report, hang (--timeout, default 20 s per input) or unsound output. The
//   inputs are shared among N child processes; one that kills its process is
//   saved as FINDINGS/damage-finding-PID.cob.
// damage_check --seeds DIR [FILE...]
//   Writes the fuzzer's seeds into DIR: the seed models and FILEs, once per
//   mode byte (mode 2 then converts the file twice).
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "fuzz/harness.h"
#include "support/cob_builder.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define __SANITIZE_ADDRESS__ 1
#endif
#endif
#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/common_interface_defs.h>
#define FACETOR_SANITIZER_CALLBACK 1
#endif

namespace {

using namespace facetor::fuzz;

// The input being run, where the death handlers reach it without allocating.
const std::vector<std::uint8_t>* current = nullptr;
char findingPath[512];

extern "C" void save_current_input() {
  if (current == nullptr) return;
  int fd = ::open(findingPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd >= 0 && ::write(fd, current->data(), current->size()) >= 0 && ::write(2, "\nsaved ", 7) > 0)
    (void)!::write(2, findingPath, std::strlen(findingPath));
  if (fd >= 0) ::close(fd);
}

extern "C" void on_fatal_signal(int signal) {
  save_current_input();
  ::_exit(signal == SIGALRM ? 3 : 4);
}

// Runs this shard's damaged inputs; exits 0 when every output was sound.
[[noreturn]] void run_shard(const std::vector<std::uint8_t>& original, int shard, int shards, unsigned timeout) {
  const std::vector<std::uint8_t> follow = seed("textured_box.cob");
  long runs = 0, problems = 0;
  for_each_damage(original, shard, shards, [&](const std::vector<std::uint8_t>& input, const std::string& what) {
    current = &input;
    ::alarm(timeout);
    for (const std::string& problem : run_and_check(input, follow)) {
      if (++problems <= 40) std::printf("  UNSOUND: %s: %s\n", what.c_str(), problem.c_str());
    }
    ::alarm(0);
    current = nullptr;
    ++runs;
  });
  std::printf("damage_check: shard %d of %d: %ld inputs of %zu bytes through every mode, %ld unsound\n", shard + 1,
              shards, runs, original.size(), problems);
  std::fflush(stdout);
  ::_exit(problems == 0 ? 0 : 1);
}

bool damage_file(const std::string& path, int jobs, unsigned timeout, const std::string& findings) {
  std::string text = facetor::test::read_file(path);
  std::vector<std::uint8_t> bytes(text.begin(), text.end());
  std::printf("damage_check: %s\n", path.c_str());
  std::fflush(stdout);
  std::vector<pid_t> children;
  for (int shard = 0; shard < jobs; ++shard) {
    children.push_back(::fork());
    if (children.back() != 0) continue;
    std::snprintf(findingPath, sizeof findingPath, "%s/damage-finding-%d.cob", findings.c_str(), ::getpid());
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGALRM}) std::signal(signal, on_fatal_signal);
#ifdef FACETOR_SANITIZER_CALLBACK
    __sanitizer_set_death_callback(save_current_input);
#endif
    run_shard(bytes, shard, jobs, timeout);
  }
  bool ok = true;
  for (pid_t child : children) {
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) ok = false;
  }
  return ok;
}

int write_seeds(const std::string& dir, const std::vector<std::string>& files) {
  std::vector<SeedModel> seeds = seed_models();
  for (const std::string& file : files) {
    std::string text = facetor::test::read_file(file);
    seeds.push_back({file.substr(file.rfind('/') + 1), {text.begin(), text.end()}});
  }
  for (const SeedModel& model : seeds) {
    for (std::size_t mode = 0; mode < std::size(kModes); ++mode) {
      std::vector<std::uint8_t> input(model.bytes.size() + 1, static_cast<std::uint8_t>(mode));
      std::copy(model.bytes.begin(), model.bytes.end(), input.begin() + 1);
      facetor::test::write_file(dir + "/" + kModes[mode] + "_" + model.name, input);
    }
  }
  std::printf("damage_check: %zu seeds in %s\n", seeds.size() * std::size(kModes), dir.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int jobs = 1;
  unsigned timeout = 20;
  std::string findings = ".", seeds;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.starts_with("--") && i + 1 == argc) files.clear(), i = argc;
    else if (arg == "--jobs") jobs = std::max(1, std::atoi(argv[++i]));
    else if (arg == "--timeout") timeout = static_cast<unsigned>(std::atoi(argv[++i]));
    else if (arg == "--findings") findings = argv[++i];
    else if (arg == "--seeds") seeds = argv[++i];
    else files.push_back(arg);
  }
  if (!seeds.empty()) return write_seeds(seeds, files);
  if (files.empty()) {
    std::fprintf(stderr, "usage: damage_check [--jobs N] [--timeout S] [--findings DIR | --seeds DIR] FILE...\n");
    return 2;
  }
  bool ok = true;
  for (const std::string& path : files) ok = damage_file(path, jobs, timeout, findings) && ok;
  std::printf("damage_check: %s\n", ok ? "no findings" : "FINDINGS");
  return ok ? 0 : 1;
}
