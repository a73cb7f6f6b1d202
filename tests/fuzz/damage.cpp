#include "fuzz/damage.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>

#include "fuzz/harness.h"
#include "fuzz/seed_models.h"

// With a sanitizer runtime linked in, its reports also save the input.
#if defined(__SANITIZE_ADDRESS__)
#define FACETOR_HAVE_SANITIZER_INTERFACE 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FACETOR_HAVE_SANITIZER_INTERFACE 1
#endif
#endif
#ifdef FACETOR_HAVE_SANITIZER_INTERFACE
#include <sanitizer/common_interface_defs.h>
#endif

namespace facetor::fuzz {
namespace {

// The input being run, kept where the death handlers can reach it without
// allocating.
struct CurrentInput {
  const std::uint8_t* bytes = nullptr;
  std::size_t size = 0;
  char description[160] = {};
  char findingPath[512] = {};
  unsigned secondsPerInput = 0;
};
CurrentInput current;

void write_text(int fd, const char* text) {
  ssize_t ignored = ::write(fd, text, std::strlen(text));
  (void)ignored;
}

void save_current_input() {
  if (current.bytes == nullptr) return;
  write_text(2, "\ndamage_check: died on ");
  write_text(2, current.description);
  int fd = ::open(current.findingPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd >= 0) {
    std::size_t done = 0;
    while (done < current.size) {
      ssize_t written = ::write(fd, current.bytes + done, current.size - done);
      if (written <= 0) break;
      done += static_cast<std::size_t>(written);
    }
    ::close(fd);
    write_text(2, "; input saved as ");
    write_text(2, current.findingPath);
  }
  write_text(2, "\n");
}

extern "C" void on_fatal_signal(int signal) {
  if (signal == SIGALRM) write_text(2, "\ndamage_check: input took too long");
  save_current_input();
  ::_exit(signal == SIGALRM ? 3 : 4);
}

#ifdef FACETOR_HAVE_SANITIZER_INTERFACE
extern "C" void on_sanitizer_death() { save_current_input(); }
#endif

void describe_prefix(std::size_t length) {
  std::snprintf(current.description, sizeof current.description, "prefix of %zu bytes", length);
}

void describe_change(const char* what, std::size_t position, unsigned was) {
  std::snprintf(current.description, sizeof current.description, "byte %zu (was 0x%02X) %s", position, was,
                what);
}

void record(std::vector<std::string>& problems, const std::vector<std::string>& found) {
  for (const std::string& problem : found) {
    if (problems.size() >= 40) return;
    problems.push_back(std::string(current.description) + ": " + problem);
  }
}

// The model converted after each damaged one, in the state that the damaged
// conversion left: small, with prototypes, a texture and a clump tree.
const std::vector<std::uint8_t>& follow_up_model() {
  static const std::vector<std::uint8_t> model = [] {
    for (SeedModel& seed : seed_models()) {
      if (seed.name == "textured_box.cob") return seed.bytes;
    }
    return std::vector<std::uint8_t>{};
  }();
  return model;
}

// Every mode on one damaged input, then the follow-up model converted in the
// state that the damaged conversion left.
void run_one(Bytes input, DamageResult& result) {
  current.bytes = input.data();
  current.size = input.size();
  if (current.secondsPerInput != 0) ::alarm(current.secondsPerInput);
  record(result.problems, run_and_check_every_mode(input));
  record(result.problems, run_and_check_two_conversions(input, follow_up_model()));
  if (current.secondsPerInput != 0) ::alarm(0);
  result.counts.modeRuns += 7;
  current.bytes = nullptr;
}

}  // namespace

void install_finding_handlers(const std::string& findingPath, unsigned secondsPerInput) {
  std::snprintf(current.findingPath, sizeof current.findingPath, "%s", findingPath.c_str());
  current.secondsPerInput = secondsPerInput;
  for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGALRM}) std::signal(signal, on_fatal_signal);
#ifdef FACETOR_HAVE_SANITIZER_INTERFACE
  __sanitizer_set_death_callback(on_sanitizer_death);
#endif
}

DamageResult run_damage(Bytes original, int shard, int shards) {
  DamageResult result;
  std::vector<std::uint8_t> work(original.begin(), original.end());
  std::int64_t number = 0;
  auto mine = [&] { return number++ % shards == shard; };

  for (std::size_t length = 0; length <= original.size(); ++length) {
    if (!mine()) continue;
    describe_prefix(length);
    // A copy of exactly that length, so that a read past its end is caught.
    std::vector<std::uint8_t> prefix(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(length));
    run_one(prefix, result);
    ++result.counts.truncations;
  }
  for (std::size_t position = 0; position < original.size(); ++position) {
    const std::uint8_t was = original[position];
    const std::uint8_t changes[3] = {0x00, 0xFF, static_cast<std::uint8_t>(was + 1)};
    const char* names[3] = {"set to 0x00", "set to 0xFF", "incremented"};
    for (int change = 0; change < 3; ++change) {
      if (!mine()) continue;
      if (changes[change] == was) {
        ++result.counts.unchanged;
        continue;
      }
      describe_change(names[change], position, was);
      work[position] = changes[change];
      run_one(work, result);
      work[position] = was;
      ++result.counts.byteChanges;
    }
  }
  return result;
}

}  // namespace facetor::fuzz
