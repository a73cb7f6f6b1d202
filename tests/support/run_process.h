// Runs the built facetor as a user would (arguments, typed input, working
// folder) and collects what it prints and its exit code; a self-removing temporary folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace facetor::test {

struct ProcessOptions {
  std::string workingDir, stdinText;                       // empty folder: the current one
  std::uint64_t addressSpaceLimit = 0, fileSizeLimit = 0;  // bytes, POSIX only; 0: no limit
};
struct ProcessResult {
  int exitCode = -1;  // -1: no normal exit
  std::string out, err;
};
ProcessResult run_facetor_exe(const std::vector<std::string>& arguments, const ProcessOptions& options = {});

struct TempDir {
  std::string path;
  TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

}  // namespace facetor::test
