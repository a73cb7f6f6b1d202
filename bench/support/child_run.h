// Runs a program in a child process of its own and reports what it spent:
// processor time (user + system, which other load on the machine disturbs
// less than wall time), wall time and peak resident memory, the last two as
// run_measured (beside the converter) counts them. Linux only (fork, exec,
// wait4).
#pragma once

#include <string>
#include <vector>

namespace facetor::bench {

struct ChildRun {
  std::vector<std::string> argv;  // the program first
  std::string dir;                // working directory
  std::string input;              // written to its standard input ("" for /dev/null)
  std::string stdoutFile;         // where standard output goes ("" for /dev/null)
  double timeoutSeconds = 60;     // the child is killed after it
  double memoryMB = 8192;         // its address-space limit
};

struct ChildResult {
  double seconds = 0;  // processor time
  double wall = 0;
  double peakMB = 0;
  bool ok = false;  // exited with code 0 in time
};

ChildResult run_child(const ChildRun& run);

}  // namespace facetor::bench
