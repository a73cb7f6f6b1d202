#include "support/run_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace facetor::test {
namespace {

// A file holding the typed text, so the child reads it at its own pace and
// then meets end of input.
int stdin_file(const std::string& text) {
  std::FILE* file = std::tmpfile();
  if (file == nullptr) throw std::runtime_error("tmpfile failed");
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file) != text.size()) {
    throw std::runtime_error("cannot write the typed text");
  }
  std::fflush(file);
  const int descriptor = ::dup(fileno(file));
  std::fclose(file);
  ::lseek(descriptor, 0, SEEK_SET);
  return descriptor;
}

[[noreturn]] void exec_child(const std::string& program, const std::vector<std::string>& arguments,
                             const ProcessOptions& options, int input, int outWrite, int errWrite) {
  ::dup2(input, STDIN_FILENO);
  ::dup2(outWrite, STDOUT_FILENO);
  ::dup2(errWrite, STDERR_FILENO);
  if (!options.workingDir.empty() && ::chdir(options.workingDir.c_str()) != 0) ::_exit(126);
  if (options.addressSpaceLimit != 0) {
    const rlimit limit{options.addressSpaceLimit, options.addressSpaceLimit};
    if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(126);
  }
  if (options.fileSizeLimit != 0) {
    // A write past the limit then fails with EFBIG instead of a signal.
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{options.fileSizeLimit, options.fileSizeLimit};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  ::execv(program.c_str(), argv.data());
  ::_exit(127);
}

// Reads both pipes until both are closed or the time is up.
bool collect(int outRead, int errRead, ProcessResult& result, int timeoutSeconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  pollfd fds[2] = {{outRead, POLLIN, 0}, {errRead, POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  while (open > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    const int ready = ::poll(fds, 2, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char chunk[4096];
      const ssize_t got = ::read(fds[i].fd, chunk, sizeof chunk);
      if (got > 0) {
        sinks[i]->append(chunk, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        fds[i].fd = -1;
        --open;
      }
    }
  }
  return true;
}

}  // namespace

ProcessResult run_process(const std::string& program, const std::vector<std::string>& arguments,
                          const ProcessOptions& options) {
  const int input = stdin_file(options.stdinText);
  int outPipe[2];
  int errPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) exec_child(program, arguments, options, input, outPipe[1], errPipe[1]);
  ::close(input);
  ::close(outPipe[1]);
  ::close(errPipe[1]);

  ProcessResult result;
  if (!collect(outPipe[0], errPipe[0], result, options.timeoutSeconds)) {
    result.timedOut = true;
    ::kill(child, SIGKILL);
  }
  ::close(outPipe[0]);
  ::close(errPipe[0]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

ProcessResult run_facetor_exe(const std::vector<std::string>& arguments, const ProcessOptions& options) {
  return run_process(FACETOR_EXE, arguments, options);
}

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/facetor-test-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

bool file_exists(const std::string& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0;
}

}  // namespace facetor::test
