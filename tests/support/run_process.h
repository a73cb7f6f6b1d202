// Runs a program as a user would: arguments, typed text on standard input, a
// working directory; collects standard output, standard error and the exit
// code. Also a temporary directory that removes itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace facetor::test {

struct ProcessOptions {
  std::string workingDir;               // empty: the current directory
  std::string stdinText;                // everything the program can read; then end of input
  std::uint64_t addressSpaceLimit = 0;  // bytes (RLIMIT_AS, POSIX only); 0: no limit
  std::uint64_t fileSizeLimit = 0;      // bytes a file may grow to (RLIMIT_FSIZE, POSIX only); 0: no limit
};

struct ProcessResult {
  int exitCode = -1;  // -1 when the program did not exit normally
  std::string out;
  std::string err;
};

ProcessResult run_process(const std::string& program, const std::vector<std::string>& arguments,
                          const ProcessOptions& options = {});
// Runs the built facetor executable.
ProcessResult run_facetor_exe(const std::vector<std::string>& arguments, const ProcessOptions& options = {});

// A fresh directory under the system's temporary folder, removed with
// everything in it when the object goes out of scope.
struct TempDir {
  std::string path;

  TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

bool file_exists(const std::string& path);

}  // namespace facetor::test
