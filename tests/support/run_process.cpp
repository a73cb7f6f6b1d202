#include "support/run_process.h"

#include <chrono>
#include <filesystem>
#include <random>
#include <stdexcept>

#include "support/cob_builder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace facetor::test {
namespace {

#ifdef _WIN32
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

HANDLE inheritable_file(const std::string& path, bool forWriting) {
  SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
  const HANDLE handle = ::CreateFileW(std::filesystem::path(path).c_str(), forWriting ? GENERIC_WRITE : GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                                      forWriting ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path);
  return handle;
}

// A path from the build system of a cross build ("/..."), run under wine,
// lies on the drive that maps the Unix root.
int run_child(const std::string& program, const std::vector<std::string>& arguments, const ProcessOptions& options,
              const TempDir& streams) {
  std::wstring line;
  append_quoted(line, wide(program.starts_with("/") && !program.starts_with("//") ? "Z:" + program : program));
  for (const std::string& argument : arguments) {
    line += L' ';
    append_quoted(line, wide(argument));
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inheritable_file(streams / "in", false);
  startup.hStdOutput = inheritable_file(streams / "out", true);
  startup.hStdError = inheritable_file(streams / "err", true);
  PROCESS_INFORMATION process{};
  const std::wstring folder = wide(options.workingDir);
  const BOOL started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        folder.empty() ? nullptr : folder.c_str(), &startup, &process);
  for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) ::CloseHandle(handle);
  if (!started) throw std::runtime_error("cannot start " + program);
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return static_cast<int>(code);
}
#else
// Everything the child needs is made before the fork; after it, only
// async-signal-safe calls.
int run_child(const std::string& program, const std::vector<std::string>& arguments, const ProcessOptions& options,
              const TempDir& streams) {
  const std::string in = streams / "in", out = streams / "out", err = streams / "err";
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    if (::dup2(::open(in.c_str(), O_RDONLY | O_CLOEXEC), STDIN_FILENO) < 0 ||
        ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600), STDOUT_FILENO) < 0 ||
        ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600), STDERR_FILENO) < 0 ||
        (!options.workingDir.empty() && ::chdir(options.workingDir.c_str()) != 0)) {
      ::_exit(126);
    }
    const rlimit space{options.addressSpaceLimit, options.addressSpaceLimit};
    const rlimit size{options.fileSizeLimit, options.fileSizeLimit};
    if (options.addressSpaceLimit != 0 && ::setrlimit(RLIMIT_AS, &space) != 0) ::_exit(126);
    // A write past the size limit then fails with EFBIG instead of a signal.
    if (options.fileSizeLimit != 0 && (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &size) != 0)) {
      ::_exit(126);
    }
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

}  // namespace

// The child's standard streams are files in a temporary folder: no pipes to
// drain, the typed text read at the child's own pace, then end of input.
ProcessResult run_process(const std::string& program, const std::vector<std::string>& arguments,
                          const ProcessOptions& options) {
  TempDir streams;
  write_file(streams / "in", std::vector<std::uint8_t>(options.stdinText.begin(), options.stdinText.end()));
  ProcessResult result;
  result.exitCode = run_child(program, arguments, options, streams);
  result.out = read_file(streams / "out");
  result.err = read_file(streams / "err");
  return result;
}

ProcessResult run_facetor_exe(const std::vector<std::string>& arguments, const ProcessOptions& options) {
  return run_process(FACETOR_EXE, arguments, options);
}

TempDir::TempDir() {
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  std::mt19937_64 random(std::random_device{}() ^
                         static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
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
