#include "support/run_process.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>

#include "support/cob_builder.h"
#else
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#ifdef _WIN32
namespace facetor::test {
namespace {

std::wstring wide(const std::string& text) {
  if (text.empty()) return {};
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring result(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
  return result;
}

// One argument quoted as the C runtime's command-line parser reads it back.
void append_quoted(std::wstring& line, const std::wstring& argument) {
  line += L'"';
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

// An inheritable handle on a file: the typed text to read, or a file that
// collects an output stream.
HANDLE inheritable_file(const std::filesystem::path& path, bool forWriting) {
  SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
  const HANDLE handle = ::CreateFileW(path.c_str(), forWriting ? GENERIC_WRITE : GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                                      forWriting ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path.string());
  return handle;
}

}  // namespace

// Windows: the child's standard streams are files in a temporary folder (no
// pipes to drain), its working folder and arguments are given to
// CreateProcessW. The POSIX-only limits (address space, file size) are not
// available here.
ProcessResult run_process(const std::string& program, const std::vector<std::string>& arguments,
                          const ProcessOptions& options) {
  TempDir streams;
  const std::filesystem::path in = std::filesystem::path(streams.path) / "in";
  write_file(in.string(), std::vector<std::uint8_t>(options.stdinText.begin(), options.stdinText.end()));
  const HANDLE input = inheritable_file(in, false);
  const HANDLE output = inheritable_file(std::filesystem::path(streams.path) / "out", true);
  const HANDLE errors = inheritable_file(std::filesystem::path(streams.path) / "err", true);

  // A path from the build system of a cross build ("/..."), run under wine,
  // lies on the drive that maps the Unix root.
  const std::string executable = program.starts_with("/") && !program.starts_with("//") ? "Z:" + program : program;
  std::wstring line;
  append_quoted(line, wide(executable));
  for (const std::string& argument : arguments) {
    line += L' ';
    append_quoted(line, wide(argument));
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = errors;
  PROCESS_INFORMATION process{};
  const std::wstring folder = wide(options.workingDir);
  const BOOL started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        folder.empty() ? nullptr : folder.c_str(), &startup, &process);
  ::CloseHandle(input);
  ::CloseHandle(output);
  ::CloseHandle(errors);
  if (!started) throw std::runtime_error("cannot start " + program);

  ProcessResult result;
  if (::WaitForSingleObject(process.hProcess, static_cast<DWORD>(options.timeoutSeconds) * 1000) != WAIT_OBJECT_0) {
    result.timedOut = true;
    ::TerminateProcess(process.hProcess, 1);
    ::WaitForSingleObject(process.hProcess, INFINITE);
  } else {
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    result.exitCode = static_cast<int>(code);
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  result.out = read_file(streams / "out");
  result.err = read_file(streams / "err");
  return result;
}

}  // namespace facetor::test
#else
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

}  // namespace facetor::test
#endif

namespace facetor::test {

ProcessResult run_facetor_exe(const std::vector<std::string>& arguments, const ProcessOptions& options) {
  return run_process(FACETOR_EXE, arguments, options);
}

TempDir::TempDir() {
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  std::random_device seed;
  std::mt19937_64 random(seed() ^ static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate = base / ("facetor-test-" + std::to_string(random() % 1000000000));
    if (std::filesystem::create_directory(candidate)) {
      path = candidate.string();
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

bool file_exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
}

}  // namespace facetor::test
