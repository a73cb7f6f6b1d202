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
std::wstring wide(const std::string& text) { return std::filesystem::path(std::u8string(text.begin(), text.end())).wstring(); }

// One argument quoted as the C runtime's command-line parser reads it back.
void append_quoted(std::wstring& line, const std::string& argument) {
  std::size_t backslashes = 0;
  line += L'"';
  for (wchar_t c : wide(argument)) {
    if (c != L'\\') line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = c == L'\\' ? backslashes + 1 : 0;
    if (c != L'\\') line += c;
  }
  line.append(backslashes * 2, L'\\') += L'"';
}

HANDLE inheritable_file(const std::string& path, bool write) {
  SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
  const HANDLE handle = ::CreateFileW(wide(path).c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      &security, write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path);
  return handle;
}

// A path of a cross build ("/..."), run under wine, lies on the drive that maps the Unix root.
int run_child(const std::string& program, const std::vector<std::string>& arguments, const ProcessOptions& options, const TempDir& streams) {
  std::wstring line;
  append_quoted(line, program.starts_with("/") && !program.starts_with("//") ? "Z:" + program : program);
  for (const std::string& argument : arguments) append_quoted(line += L' ', argument);
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
  DWORD code = 0;
  ::WaitForSingleObject(process.hProcess, INFINITE);
  ::GetExitCodeProcess(process.hProcess, &code);
  for (HANDLE handle : {process.hThread, process.hProcess}) ::CloseHandle(handle);
  return static_cast<int>(code);
}
#else
// Everything the child needs is made before the fork; after it, only async-signal-safe calls.
int run_child(const std::string& program, const std::vector<std::string>& arguments, const ProcessOptions& options, const TempDir& streams) {
  const std::string in = streams / "in", out = streams / "out", err = streams / "err";
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const rlimit space{options.addressSpaceLimit, options.addressSpaceLimit}, size{options.fileSizeLimit, options.fileSizeLimit};
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
    // Past the size limit a write fails with EFBIG instead of a signal.
    if (::dup2(::open(in.c_str(), O_RDONLY | O_CLOEXEC), 0) < 0 || ::dup2(::open(out.c_str(), flags, 0600), 1) < 0 ||
        ::dup2(::open(err.c_str(), flags, 0600), 2) < 0 || (!options.workingDir.empty() && ::chdir(options.workingDir.c_str()) != 0) ||
        (options.addressSpaceLimit != 0 && ::setrlimit(RLIMIT_AS, &space) != 0) ||
        (options.fileSizeLimit != 0 && (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &size) != 0))) {
      ::_exit(126);
    }
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) continue;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

}  // namespace

// The child's standard streams are files: no pipes to drain, the typed text read at its own pace, then end of input.
ProcessResult run_facetor_exe(const std::vector<std::string>& arguments, const ProcessOptions& options) {
  TempDir streams;
  write_file(streams / "in", std::vector<std::uint8_t>(options.stdinText.begin(), options.stdinText.end()));
  const int code = run_child(FACETOR_EXE, arguments, options, streams);
  return {code, read_file(streams / "out"), read_file(streams / "err")};
}

TempDir::TempDir() {
  std::mt19937_64 random(std::random_device{}() ^ std::chrono::steady_clock::now().time_since_epoch().count());
  for (int attempt = 0; attempt < 100 && path.empty(); ++attempt) {
    const auto candidate = std::filesystem::temp_directory_path() / ("facetor-test-" + std::to_string(random() % 1000000000));
    if (std::filesystem::create_directory(candidate)) path = candidate.string();
  }
  if (path.empty()) throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() { std::error_code ignored; std::filesystem::remove_all(path, ignored); }

}  // namespace facetor::test
